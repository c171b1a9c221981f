// Forms drawn with Dear ImGui (1.86 on Debian 12, 1.90 on Debian 13) and its SDL2 + OpenGL2 backends.
// The controls are drawn by hand at their twips positions, so they look like the small classic dialog
// they describe; ImGui gives the text editing, fonts and hit testing. The keyboard focus and the tab order
// are the form's own.
#include "platform/imgui/ImGuiForms.h"

#include <GL/gl.h>
#include <SDL.h>
#include <imgui.h>
#include <imgui_freetype.h>
#include <imgui_internal.h>
#include <backends/imgui_impl_opengl2.h>
#if __has_include(<backends/imgui_impl_sdl2.h>)
#include <backends/imgui_impl_sdl2.h>  // the name since 1.89.3
#else
#include <backends/imgui_impl_sdl.h>
#endif

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstring>
#include <deque>
#include <set>
#include <stdexcept>
#include <string>

#include "platform/Utf8.h"
#include "platform/sdl/SdlWindow.h"

namespace kuvo {

// The fonts, compiled in by kuvo_embed.
extern const unsigned char LiberationMonoBold[];
extern const std::size_t LiberationMonoBoldSize;
extern const unsigned char LiberationSerifBold[];
extern const std::size_t LiberationSerifBoldSize;

namespace {

constexpr float DotsPerInch = 96.0f;
// Idle redraws keep the text cursor blinking without spinning a core.
constexpr int IdleWaitMs = 50;
constexpr int TextBufferBytes = 1024;
constexpr float CheckBoxPixels = 13.0f;

ImU32 FromColourValue(std::uint32_t bgr) {
  // 0x00BBGGRR is ImGui's packing too, with alpha in the top byte.
  return static_cast<ImU32>(bgr & 0xFFFFFFu) | 0xFF000000u;
}

// Pixels per em of a font of `points` at 96 dpi, as the original platform renders it.
float EmPixels(float points) { return std::round(points * DotsPerInch / 72.0f); }

// ImGui's FreeType builder takes a font's size as its ascender minus its descender, in whole pixels.
// The size that gives `emPixels` per em, or as near under it as whole pixels allow, so text stays
// within the boxes laid out for it.
float BuilderSize(const unsigned char* data, std::size_t size, float emPixels) {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  float ratio = 1.0f;
  if (FT_Init_FreeType(&library) == 0) {
    if (FT_New_Memory_Face(library, data, static_cast<FT_Long>(size), 0, &face) == 0 && face->units_per_EM > 0)
      ratio = static_cast<float>(face->ascender - face->descender) / static_cast<float>(face->units_per_EM);
    if (face) FT_Done_Face(face);
    FT_Done_FreeType(library);
  }
  return std::floor(emPixels * ratio + 1e-3f);
}

// ImGui 1.87 named the keys themselves (no key map) and renamed KeyPadEnter; 1.90 dropped the old names.
#if IMGUI_VERSION_NUM >= 18700
bool KeyPressed(ImGuiKey key) { return ImGui::IsKeyPressed(key); }
constexpr ImGuiKey KeypadEnter = ImGuiKey_KeypadEnter;
#else
bool KeyPressed(ImGuiKey key) { return ImGui::IsKeyPressed(ImGui::GetKeyIndex(key)); }
constexpr ImGuiKey KeypadEnter = ImGuiKey_KeyPadEnter;
#endif

struct EditContext {
  const std::string* before;
  int maxLength;
};

// After ImGui has applied an edit, keep it within the box's length in characters.
int LimitEditCallback(ImGuiInputTextCallbackData* data) {
  auto* edit = static_cast<EditContext*>(data->UserData);
  std::string after(data->Buf, static_cast<std::size_t>(data->BufTextLen));
  int cursor = 0;
  std::string limited = LimitTextEdit(*edit->before, after, edit->maxLength, &cursor);
  if (limited != after) {
    data->DeleteChars(0, data->BufTextLen);
    data->InsertChars(0, limited.c_str(), limited.c_str() + limited.size());
    data->CursorPos = cursor;
    data->SelectionStart = data->SelectionEnd = cursor;
  }
  return 0;
}

// Typed and pasted text is read by the game's UTF-8 rule, not ImGui's laxer one (which takes C0 80 for
// one character), so a box holds the characters the text line will draw.
void AddTypedText(const char* utf8) {
  const std::string_view text(utf8);
  ImGuiIO& io = ImGui::GetIO();
  for (std::size_t i = 0; i < text.size();) io.AddInputCharacter(static_cast<unsigned>(NextCodePoint(text, i)));
}

const char* PastedText(void*) {
  static std::string valid;
  char* text = SDL_GetClipboardText();
  valid = ValidUtf8(text ? text : "");
  SDL_free(text);
  return valid.c_str();
}

}  // namespace

struct ImGuiForms::Impl {
  SdlWindow& window;
  SDL_GLContext gl = nullptr;
  ImGuiContext* imgui = nullptr;
  bool released = false;
  std::map<std::pair<int, int>, ImFont*> fonts;  // (face, pixels) -> font
  std::map<const Picture*, GLuint> textures;
  bool focusRequested = false;  // the form's focus moved by keys: make ImGui follow it
  bool quitting = false;        // SIGINT or SIGTERM came (SDL's quit event): every form closes
  std::deque<SDL_Event> pending;  // events held for the next frame
  char buffer[TextBufferBytes] = {};

  explicit Impl(SdlWindow& w) : window(w) {}

  void Start() {
    if (imgui) return;
    if (released) throw std::logic_error("the forms were released");
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
    gl = SDL_GL_CreateContext(window.Handle());
    if (!gl) throw std::runtime_error(std::string("no OpenGL for the menu: ") + SDL_GetError());
    SDL_GL_MakeCurrent(window.Handle(), gl);
    IMGUI_CHECKVERSION();
    imgui = ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // the game writes no files
    io.LogFilename = nullptr;
    io.Fonts->FontBuilderIO = ImGuiFreeType::GetBuilderForFreeType();
    ImGui::StyleColorsClassic();
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowPadding = ImVec2(0, 0);
    style.WindowBorderSize = 0;
    style.FrameRounding = 0;
    style.FrameBorderSize = 0;
    style.Colors[ImGuiCol_FrameBg] = ImVec4(1, 1, 1, 1);
    style.Colors[ImGuiCol_FrameBgHovered] = ImVec4(1, 1, 1, 1);
    style.Colors[ImGuiCol_FrameBgActive] = ImVec4(1, 1, 1, 1);
    style.Colors[ImGuiCol_Text] = ImVec4(0, 0, 0, 1);
    style.Colors[ImGuiCol_TextSelectedBg] = ImVec4(0.0f, 0.0f, 0.5f, 0.35f);
    ImGui_ImplSDL2_InitForOpenGL(window.Handle(), gl);
    io.GetClipboardTextFn = PastedText;  // after the backend, which sets its own
    ImGui_ImplOpenGL2_Init();
  }

  ImFont* Font(const FontSpec& spec) {
    float pixels = EmPixels(spec.points);
    auto key = std::make_pair(static_cast<int>(spec.face), static_cast<int>(pixels));
    auto found = fonts.find(key);
    return found == fonts.end() ? ImGui::GetFont() : found->second;
  }

  // Adds the fonts a form uses; the atlas can only change between frames.
  void LoadFonts(const Form& form) {
    bool added = false;
    ImGuiIO& io = ImGui::GetIO();
    for (const Control& c : form.controls) {
      float pixels = EmPixels(c.font.points);
      auto key = std::make_pair(static_cast<int>(c.font.face), static_cast<int>(pixels));
      if (fonts.count(key)) continue;
      ImFontConfig config;
      config.FontDataOwnedByAtlas = false;  // the bytes are the program's own
      bool serif = c.font.face == FontSpec::Face::Serif;
      void* data = const_cast<unsigned char*>(serif ? LiberationSerifBold : LiberationMonoBold);
      int size = static_cast<int>(serif ? LiberationSerifBoldSize : LiberationMonoBoldSize);
      float builderSize = BuilderSize(static_cast<const unsigned char*>(data), static_cast<std::size_t>(size), pixels);
      // Names may be Cyrillic: the menu's fonts carry that character set.
      fonts[key] = io.Fonts->AddFontFromMemoryTTF(data, size, builderSize, &config, io.Fonts->GetGlyphRangesCyrillic());
      added = true;
    }
    if (added) {
      io.Fonts->Build();
      ImGui_ImplOpenGL2_DestroyFontsTexture();
      ImGui_ImplOpenGL2_CreateFontsTexture();
    }
  }

  GLuint Texture(const Picture& picture) {
    auto found = textures.find(&picture);
    if (found != textures.end()) return found->second;
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    // 0x00RRGGBB in memory is blue, green, red, unused.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, picture.width, picture.height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 picture.pixels.data());
    textures[&picture] = id;
    return id;
  }

  void FitWindow(const Form& form) {
    SDL_Window* w = window.Handle();
    SDL_SetWindowTitle(w, form.caption.c_str());
    int width = form.clientWidth / TwipsPerPixel, height = form.clientHeight / TwipsPerPixel;
    int cw, ch;
    SDL_GetWindowSize(w, &cw, &ch);
    if (cw != width || ch != height) {
      SDL_SetWindowSize(w, width, height);
      SDL_SetWindowPosition(w, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    SDL_ShowWindow(w);
  }

  // Feeds pending window events to ImGui; true if the close box was pressed or the program is to end.
  bool Pump(int waitMs) {
    SDL_Event e;
    if (pending.empty() && waitMs > 0 && SDL_WaitEventTimeout(&e, waitMs)) pending.push_back(e);
    while (SDL_PollEvent(&e)) pending.push_back(e);
    bool close = false;
#if IMGUI_VERSION_NUM < 18700
    // This ImGui reads each key's state once a frame, so a press and release within one frame would
    // vanish: a key's next change waits for the next frame, with every event after it.
    std::set<SDL_Scancode> changed;
#endif
    while (!pending.empty()) {
      const SDL_Event& next = pending.front();
#if IMGUI_VERSION_NUM < 18700
      if (next.type == SDL_KEYDOWN || next.type == SDL_KEYUP) {
        if (!changed.insert(next.key.keysym.scancode).second) break;
      }
#endif
      if (next.type == SDL_TEXTINPUT) AddTypedText(next.text.text);
      else ImGui_ImplSDL2_ProcessEvent(&next);
      if (next.type == SDL_QUIT) quitting = true;
      if (next.type == SDL_WINDOWEVENT && next.window.event == SDL_WINDOWEVENT_CLOSE &&
          next.window.windowID == SDL_GetWindowID(window.Handle()))
        close = true;
      pending.pop_front();
    }
    return close || quitting;
  }

  static void DrawFocus(ImDrawList* draw, ImVec2 a, ImVec2 b) {
    // A dotted rectangle, as the classic focus mark.
    for (float x = a.x; x < b.x; x += 2) {
      draw->AddRectFilled(ImVec2(x, a.y), ImVec2(x + 1, a.y + 1), IM_COL32(0, 0, 0, 255));
      draw->AddRectFilled(ImVec2(x, b.y - 1), ImVec2(x + 1, b.y), IM_COL32(0, 0, 0, 255));
    }
    for (float y = a.y; y < b.y; y += 2) {
      draw->AddRectFilled(ImVec2(a.x, y), ImVec2(a.x + 1, y + 1), IM_COL32(0, 0, 0, 255));
      draw->AddRectFilled(ImVec2(b.x - 1, y), ImVec2(b.x, y + 1), IM_COL32(0, 0, 0, 255));
    }
  }

  // One frame of the form; clicked controls are appended to `clicks`.
  void Frame(Form& form, std::vector<int>& clicks) {
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(io.DisplaySize);
    ImGui::Begin("##form", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoBackground | ImGuiWindowFlags_NoBringToFrontOnFocus |
                     ImGuiWindowFlags_NoScrollWithMouse);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    // A box that takes the focus anew starts from its control's text, not from an edit ImGui still holds.
    // ImGui 1.90 would otherwise take up the old edit again when a box with the same id is activated.
    if (focusRequested) {
      ImGui::ClearActiveID();
      ImGui::GetCurrentContext()->InputTextState.ID = 0;
    }
    bool textActive = false;

    for (int i = 0; i < static_cast<int>(form.controls.size()); ++i) {
      Control& c = form.controls[static_cast<std::size_t>(i)];
      if (!ControlShown(form, i)) continue;
      PixelRect r = ControlPixels(form, i);
      ImVec2 a(static_cast<float>(r.left), static_cast<float>(r.top));
      ImVec2 b(a.x + static_cast<float>(r.width), a.y + static_cast<float>(r.height));
      ImGui::PushID(i);
      ImFont* font = Font(c.font);
      ImU32 fore = FromColourValue(c.foreColour);
      ImU32 black = IM_COL32(0, 0, 0, 255);
      switch (c.kind) {
        case ControlKind::Panel:
          draw->AddRectFilled(a, b, FromColourValue(c.backColour));
          break;
        case ControlKind::Image:
          if (c.picture) {
            ImVec2 size(static_cast<float>(c.picture->width), static_cast<float>(c.picture->height));
            draw->AddImage(reinterpret_cast<ImTextureID>(static_cast<std::uintptr_t>(Texture(*c.picture))), a,
                           ImVec2(a.x + size.x, a.y + size.y));
          }
          break;
        case ControlKind::Label:
        case ControlKind::Button: {
          bool pressable = c.kind == ControlKind::Button || c.border;
          bool hovered = false, held = false;
          if (pressable) {
            ImGui::SetCursorScreenPos(a);
            if (ImGui::InvisibleButton("##b", ImVec2(b.x - a.x, b.y - a.y))) {
              clicks.push_back(i);
              form.focus = i;
            }
            hovered = ImGui::IsItemHovered();
            held = ImGui::IsItemActive();
          }
          if (c.kind == ControlKind::Button) {
            draw->AddRectFilled(a, b, held ? IM_COL32(0xB0, 0xB0, 0xB0, 255) : IM_COL32(0xD4, 0xD0, 0xC8, 255));
            draw->AddRect(a, b, black);
            ImU32 light = IM_COL32(255, 255, 255, 255), dark = IM_COL32(0x80, 0x80, 0x80, 255);
            ImVec2 ia(a.x + 1, a.y + 1), ib(b.x - 2, b.y - 2);
            draw->AddLine(ia, ImVec2(ib.x, ia.y), held ? dark : light);
            draw->AddLine(ia, ImVec2(ia.x, ib.y), held ? dark : light);
            draw->AddLine(ImVec2(ia.x, ib.y), ib, held ? light : dark);
            draw->AddLine(ImVec2(ib.x, ia.y), ib, held ? light : dark);
          } else if (!c.transparent || (hovered && pressable)) {
            ImU32 back = FromColourValue(c.backColour);
            if (hovered && pressable) back = held ? IM_COL32(0x70, 0x70, 0x70, 255) : IM_COL32(0x98, 0x98, 0x98, 255);
            draw->AddRectFilled(a, b, back);
          }
          if (c.border) draw->AddRect(a, b, black);
          ImVec2 size = font->CalcTextSizeA(font->FontSize, 1e6f, 0.0f, c.text.c_str());
          float x = c.centred || c.kind == ControlKind::Button ? a.x + std::floor((b.x - a.x - size.x) * 0.5f)
                                                                : a.x + (c.border ? 2.0f : 0.0f);
          // Bordered labels and buttons centre their caption vertically; a plain label starts at the top.
          float y = pressable ? a.y + std::floor((b.y - a.y - size.y) * 0.5f) : a.y;
          draw->AddText(font, font->FontSize, ImVec2(x, y), fore, c.text.c_str());
          if (form.focus == i) DrawFocus(draw, ImVec2(a.x + 3, a.y + 3), ImVec2(b.x - 3, b.y - 3));
          break;
        }
        case ControlKind::CheckBox: {
          ImGui::SetCursorScreenPos(a);
          if (ImGui::InvisibleButton("##c", ImVec2(b.x - a.x, b.y - a.y))) {
            c.ticked = !c.ticked;
            form.focus = i;
          }
          float top = a.y + std::floor((b.y - a.y - CheckBoxPixels) * 0.5f);
          ImVec2 ba(a.x + 1, top), bb(a.x + 1 + CheckBoxPixels, top + CheckBoxPixels);
          draw->AddRectFilled(ba, bb, IM_COL32(255, 255, 255, 255));
          draw->AddRect(ba, bb, black);
          if (c.ticked) {
            ImVec2 p1(ba.x + 3, ba.y + 6.5f), p2(ba.x + 5.5f, ba.y + 9.5f), p3(ba.x + 10, ba.y + 3);
            draw->AddLine(p1, p2, black, 2.0f);
            draw->AddLine(p2, p3, black, 2.0f);
          }
          ImVec2 size = font->CalcTextSizeA(font->FontSize, 1e6f, 0.0f, c.text.c_str());
          ImVec2 textAt(bb.x + 5, a.y + std::floor((b.y - a.y - size.y) * 0.5f));
          draw->AddText(font, font->FontSize, textAt, fore, c.text.c_str());
          if (form.focus == i)
            DrawFocus(draw, ImVec2(textAt.x - 2, a.y), ImVec2(std::min(b.x, textAt.x + size.x + 2), b.y));
          break;
        }
        case ControlKind::ListBox: {
          draw->AddRectFilled(a, b, FromColourValue(c.backColour));
          draw->AddRect(a, b, black);
          // A row is the font's height (ascender to descender), as a classic list box's items are.
          float row = font->FontSize;
          for (int k = 0; k < static_cast<int>(c.items.size()); ++k) {
            ImVec2 ra(a.x + 2, a.y + 2 + row * static_cast<float>(k));
            ImVec2 rb(b.x - 2, ra.y + row);
            if (rb.y > b.y - 1) break;
            ImGui::PushID(k);
            ImGui::SetCursorScreenPos(ra);
            if (ImGui::InvisibleButton("##row", ImVec2(rb.x - ra.x, rb.y - ra.y))) {
              c.listIndex = k;
              form.focus = i;
            }
            ImGui::PopID();
            bool selected = c.listIndex == k;
            if (selected) draw->AddRectFilled(ra, rb, IM_COL32(0, 0, 0x80, 255));
            draw->AddText(font, font->FontSize, ImVec2(ra.x + 1, ra.y + std::floor((row - font->FontSize) * 0.5f)),
                          selected ? IM_COL32(255, 255, 255, 255) : fore, c.items[static_cast<std::size_t>(k)].c_str());
            if (form.focus == i && selected) DrawFocus(draw, ra, rb);
          }
          break;
        }
        case ControlKind::TextBox: {
          draw->AddRectFilled(a, b, FromColourValue(c.backColour));
          draw->AddRect(a, b, IM_COL32(0x40, 0x40, 0x40, 255));
          ImGui::PushFont(font);
          ImGui::PushStyleVar(ImGuiStyleVar_FramePadding,
                              ImVec2(3.0f, std::max(0.0f, std::floor((b.y - a.y - font->FontSize) * 0.5f))));
          ImGui::PushStyleColor(ImGuiCol_Text, ImGui::ColorConvertU32ToFloat4(fore));
          ImGui::PushItemFlag(ImGuiItemFlags_NoTabStop, true);  // Tab follows the form's order, not ImGui's
          ImGui::SetCursorScreenPos(ImVec2(a.x + 1, a.y));
          ImGui::SetNextItemWidth(b.x - a.x - 2);
          if (focusRequested && form.focus == i) ImGui::SetKeyboardFocusHere();
          std::snprintf(buffer, sizeof buffer, "%s", c.text.c_str());
          EditContext edit{&c.text, c.maxLength};
          if (ImGui::InputText("##t", buffer, sizeof buffer, ImGuiInputTextFlags_CallbackEdit, LimitEditCallback,
                               &edit))
            c.text = LimitTextEdit(c.text, buffer, c.maxLength);
          if (ImGui::IsItemActivated()) form.focus = i;
          if (ImGui::IsItemActive()) textActive = true;
          ImGui::PopItemFlag();
          ImGui::PopStyleColor();
          ImGui::PopStyleVar();
          ImGui::PopFont();
          break;
        }
      }
      ImGui::PopID();
    }
    focusRequested = false;
    HandleKeys(form, clicks, textActive);
    ImGui::End();
    ImGui::Render();
    int w = static_cast<int>(io.DisplaySize.x), h = static_cast<int>(io.DisplaySize.y);
    glViewport(0, 0, w, h);
    ImVec4 back = ImGui::ColorConvertU32ToFloat4(FromColourValue(form.backColour));
    glClearColor(back.x, back.y, back.z, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(window.Handle());
  }

  // Tab and Shift+Tab move the focus in the form's order; Space presses the focused control; Enter
  // presses it too, and in a text box presses the form's first bordered label ("Play"); arrows move
  // a list's selection.
  void HandleKeys(Form& form, std::vector<int>& clicks, bool textActive) {
    ImGuiIO& io = ImGui::GetIO();
    if (KeyPressed(ImGuiKey_Tab)) {
      int next = NextTabStop(form, form.focus, io.KeyShift);
      if (next >= 0) {
        form.focus = next;
        focusRequested = true;
      }
      return;
    }
    if (form.focus < 0) return;
    Control& c = form.controls[static_cast<std::size_t>(form.focus)];
    bool enter = KeyPressed(ImGuiKey_Enter) || KeyPressed(KeypadEnter);
    bool space = !textActive && KeyPressed(ImGuiKey_Space);
    switch (c.kind) {
      case ControlKind::Label:
      case ControlKind::Button:
        if (enter || space) clicks.push_back(form.focus);
        break;
      case ControlKind::CheckBox:
        if (space) c.ticked = !c.ticked;
        break;
      case ControlKind::ListBox: {
        int count = static_cast<int>(c.items.size());
        if (KeyPressed(ImGuiKey_UpArrow) && c.listIndex > 0) --c.listIndex;
        if (KeyPressed(ImGuiKey_DownArrow) && c.listIndex < count - 1) ++c.listIndex;
        break;
      }
      default: break;
    }
    if (enter && c.kind != ControlKind::Label && c.kind != ControlKind::Button) {
      for (int i = 0; i < static_cast<int>(form.controls.size()); ++i) {
        const Control& d = form.controls[static_cast<std::size_t>(i)];
        if (d.kind == ControlKind::Label && d.border && ControlShown(form, i)) {
          clicks.push_back(i);
          break;
        }
      }
    }
  }

  void Release() {
    if (!imgui) {
      released = true;
      return;
    }
    for (auto& [picture, id] : textures) glDeleteTextures(1, &id);
    textures.clear();
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext(imgui);
    imgui = nullptr;
    fonts.clear();
    SDL_GL_MakeCurrent(window.Handle(), nullptr);
    SDL_GL_DeleteContext(gl);
    gl = nullptr;
    released = true;
  }
};

ImGuiForms::ImGuiForms(SdlWindow& window) : impl_(std::make_unique<Impl>(window)) {}

ImGuiForms::~ImGuiForms() { impl_->Release(); }

void ImGuiForms::ShowModal(Form& form, FormEvents& events) {
  Impl& m = *impl_;
  m.Start();
  m.FitWindow(form);
  m.LoadFonts(form);
  if (form.focus < 0) form.focus = NextTabStop(form, -1, false);
  m.focusRequested = true;  // the focused control has the keyboard from the start
  int wait = 0;
  while (form.loaded && !m.released) {
    bool close = m.Pump(wait);
    std::vector<int> clicks;
    m.Frame(form, clicks);
    // A click needs a frame for the press and one for the release: draw again soon after input.
    wait = ImGui::GetIO().MouseDown[0] || !clicks.empty() || !m.pending.empty() ? 1 : IdleWaitMs;
    for (int control : clicks) {
      if (!form.loaded || m.released) break;
      events.Click(control);
    }
    if (close && form.loaded && !m.released) events.Close();
  }
}

void ImGuiForms::DoEvents(Form& form, FormEvents& events) {
  Impl& m = *impl_;
  if (m.released) return;
  m.Start();
  m.LoadFonts(form);
  bool close = m.Pump(0);
  std::vector<int> ignored;
  m.Frame(form, ignored);
  glFinish();
  if (close && !m.released) events.Close();
}

void ImGuiForms::ReleaseForms() { impl_->Release(); }

}  // namespace kuvo
