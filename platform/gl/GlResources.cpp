// The objects a GL device makes: buffers, textures and their levels, shaders, and the shared context.
#include <algorithm>
#include <cstring>

#include "platform/GfxRules.h"
#include "platform/gl/GlDevice.h"

namespace kuvo::gl {

HRESULT GlResult() {
  GLenum error = glGetError();
  HRESULT hr = S_OK;
  // Drain: GL keeps one flag per kind of error. Bounded, since a lost context may report forever.
  for (int i = 0; error != GL_NO_ERROR && i < 16; ++i, error = glGetError()) {
    if (error == GL_OUT_OF_MEMORY) hr = D3DERR_OUTOFVIDEOMEMORY;
    else if (hr == S_OK) hr = D3DERR_INVALIDCALL;
  }
  return hr;
}

bool Context::MakeCurrent() {
  if (!alive) return false;
  if (SDL_GL_GetCurrentContext() != gl) {
    SDL_GL_MakeCurrent(window, gl);
    MOJOSHADER_glMakeContextCurrent(mojo);
  }
  return true;
}

void Context::Flush() {
  if (pending.empty() || !MakeCurrent()) return;
  std::vector<std::function<void()>> steps;
  steps.swap(pending);
  for (const auto& step : steps) step();
  flushed = true;
}

void Context::ForgetShader(MOJOSHADER_glShader* shader) {
  Flush();  // held-back draws name the programs about to go
  for (auto it = programs.begin(); it != programs.end();) {
    if (it->first.first == shader || it->first.second == shader) {
      MOJOSHADER_glDeleteProgram(it->second);
      it = programs.erase(it);
    } else {
      ++it;
    }
  }
}

// ---- Buffers ----

BufferData::BufferData(std::shared_ptr<Context> context, std::uint32_t length)
    : Counted(std::move(context)), bytes_(length) {}

BufferData::~BufferData() {
  if (name_ && context_->MakeCurrent()) {
    context_->Flush();
    glDeleteBuffers(1, &name_);
  }
}

HRESULT BufferData::Create() {
  glGetError();
  glGenBuffers(1, &name_);
  // The element array binding belongs to the vertex array state, so indices go up through the array target.
  glBindBuffer(GL_ARRAY_BUFFER, name_);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes_.size()), nullptr, GL_STATIC_DRAW);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  return GlResult();
}

HRESULT BufferData::LockRange(std::uint32_t offset, std::uint32_t size, void** data) {
  if (data) *data = nullptr;
  if (HRESULT hr = gfxrules::LockBuffer(Length(), locked_, offset, size, data); Failed(hr)) return hr;
  if (size == 0) size = Length() - offset;
  // Held-back draws may still read this copy on the CPU (GlCoverage.h): they run before it changes.
  if (context_->MakeCurrent()) context_->Flush();
  locked_ = true;
  lockOffset_ = offset;
  lockSize_ = size;
  *data = bytes_.data() + offset;
  return S_OK;
}

HRESULT BufferData::UnlockRange() {
  if (HRESULT hr = gfxrules::UnlockBuffer(locked_); Failed(hr)) return hr;
  locked_ = false;
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  context_->Flush();  // draws held back read the contents before this upload
  ++version_;
  glGetError();
  glBindBuffer(GL_ARRAY_BUFFER, name_);
  glBufferSubData(GL_ARRAY_BUFFER, lockOffset_, lockSize_, bytes_.data() + lockOffset_);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  return GlResult();
}

// ---- Textures ----

GlTextureObject::GlTextureObject(std::shared_ptr<Context> context, std::uint32_t width, std::uint32_t height,
                                 std::uint32_t levels, bool autogen, bool opaque)
    : Counted(std::move(context)), autogen_(autogen), opaque_(opaque) {
  std::uint32_t full = 1;
  for (std::uint32_t w = width, h = height; w > 1 || h > 1; w = std::max(1u, w / 2), h = std::max(1u, h / 2)) ++full;
  std::uint32_t count = (levels == 0 || autogen) ? full : std::min(levels, full);
  for (std::uint32_t i = 0; i < count; ++i) sizes_.push_back({std::max(1u, width >> i), std::max(1u, height >> i)});
  written_.assign(count, false);
}

GlTextureObject::~GlTextureObject() {
  if (name_ && context_->MakeCurrent()) {
    context_->Flush();
    glDeleteTextures(1, &name_);
  }
}

HRESULT GlTextureObject::Create() {
  glGetError();
  glGenTextures(1, &name_);
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, name_);
  // Level storage comes with each level's first upload: allocating it empty first costs a zero-fill.
  // Without this a chain shorter than GL's full one leaves the texture incomplete, and it samples black.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(sizes_.size()) - 1);
  // X8R8G8B8's fourth byte is padding: alpha reads as one (without swizzles, UnlockLevel writes it).
  if (opaque_ && context_->swizzle) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
  return GlResult();
}

HRESULT GlTextureObject::GetSurfaceLevel(std::uint32_t level, GfxSurface** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (level >= GetLevelCount()) return D3DERR_INVALIDCALL;
  *surface = new GlSurfaceObject(context_, this, level);
  return S_OK;
}

HRESULT GlTextureObject::LockLevel(std::uint32_t level, GfxLockedRect* locked, const GfxRect* rect) {
  if (!locked) return D3DERR_INVALIDCALL;
  locked->pBits = nullptr;
  locked->Pitch = 0;
  if (level >= sizes_.size()) return D3DERR_INVALIDCALL;
  const Size& size = sizes_[level];
  // One staging copy per texture: a second level cannot be locked while one is.
  if (HRESULT hr = gfxrules::LockRect(size.width, size.height, lockedLevel_ >= 0, locked, rect); Failed(hr)) return hr;
  GfxRect r = rect ? *rect
                   : GfxRect{0, 0, static_cast<std::int32_t>(size.width), static_cast<std::int32_t>(size.height)};
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  staging_.assign(static_cast<std::size_t>(size.width) * size.height * 4, 0);
  // A managed texture keeps its contents: a lock of part of a written level sees the rest as it was.
  if (written_[level]) {
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, name_);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, static_cast<GLint>(level), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, staging_.data());
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
  }
  lockedLevel_ = static_cast<int>(level);
  lockedRect_ = r;
  locked->Pitch = static_cast<std::int32_t>(size.width * 4);
  locked->pBits = staging_.data() + (static_cast<std::size_t>(r.top) * size.width + r.left) * 4;
  return S_OK;
}

HRESULT GlTextureObject::UnlockLevel(std::uint32_t level) {
  if (lockedLevel_ != static_cast<int>(level)) return D3DERR_INVALIDCALL;
  lockedLevel_ = -1;
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  context_->Flush();  // draws held back sample the texture as it was
  ++version_;
  glGetError();
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, name_);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  if (opaque_ && !context_->swizzle)
    for (std::size_t alpha = 3; alpha < staging_.size(); alpha += 4) staging_[alpha] = 0xFF;
  Upload(level, lockedRect_, staging_.data());
  if (autogen_ && level == 0) GenerateLevels();
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
  std::vector<std::uint8_t>().swap(staging_);
  return GlResult();
}

// Sends rectangle `r` of a level held whole in `pixels` (rows of the level's width, top row first), so
// GL's t = 0 is the image's top, as Direct3D's v = 0 is. A level's first upload also makes its storage.
void GlTextureObject::Upload(std::uint32_t level, const GfxRect& r, const std::uint8_t* pixels) {
  const Size& size = sizes_[level];
  auto w = static_cast<GLsizei>(size.width), h = static_cast<GLsizei>(size.height);
  if (!written_[level]) {
    bool whole = r.left == 0 && r.top == 0 && r.right == w && r.bottom == h;
    glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                 whole ? pixels : nullptr);
    written_[level] = true;
    if (whole) return;
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, w);
  glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), r.left, r.top, r.right - r.left, r.bottom - r.top, GL_BGRA,
                  GL_UNSIGNED_INT_8_8_8_8_REV, pixels + (static_cast<std::size_t>(r.top) * size.width + r.left) * 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

// The smaller levels of an automatic chain, each the 2 x 2 box average of the one above (an odd edge
// repeats its last texel). Done here rather than by glGenerateMipmap: Mesa's software renderer compiles
// a blit program for that on first use, a tenth of a second at start-up, and the box is what Direct3D's
// automatic levels are too.
void GlTextureObject::GenerateLevels() {
  std::vector<std::uint8_t> smaller, below;
  const std::vector<std::uint8_t>* above = &staging_;  // level 0 as the game wrote it
  for (std::uint32_t level = 1; level < sizes_.size(); ++level) {
    const Size& a = sizes_[level - 1];
    const Size& b = sizes_[level];
    below.assign(static_cast<std::size_t>(b.width) * b.height * 4, 0);
    for (std::uint32_t y = 0; y < b.height; ++y) {
      std::uint32_t y0 = std::min(2 * y, a.height - 1), y1 = std::min(2 * y + 1, a.height - 1);
      for (std::uint32_t x = 0; x < b.width; ++x) {
        std::uint32_t x0 = std::min(2 * x, a.width - 1), x1 = std::min(2 * x + 1, a.width - 1);
        for (std::uint32_t c = 0; c < 4; ++c) {
          const std::vector<std::uint8_t>& p = *above;
          unsigned sum = p[(y0 * a.width + x0) * 4 + c] + p[(y0 * a.width + x1) * 4 + c] +
                         p[(y1 * a.width + x0) * 4 + c] + p[(y1 * a.width + x1) * 4 + c];
          below[(y * b.width + x) * 4 + c] = static_cast<std::uint8_t>((sum + 2) / 4);
        }
      }
    }
    GfxRect whole{0, 0, static_cast<std::int32_t>(b.width), static_cast<std::int32_t>(b.height)};
    Upload(level, whole, below.data());
    smaller.swap(below);
    above = &smaller;
  }
}

// ---- Shaders ----

ShaderData::~ShaderData() {
  if (context_->MakeCurrent()) {
    context_->ForgetShader(shader_);
    MOJOSHADER_glDeleteShader(shader_);
  }
}

}  // namespace kuvo::gl
