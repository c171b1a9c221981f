// The menu and the notice as a player meets them, on the scripted forms: the date rule, the names and
// their length in characters, the difficulty, Play's order, and what kind of game each setting starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "ai/modAI.h"
#include "app/Form1.h"
#include "app/frmegy.h"
#include "app/modMain.h"
#include "control/modCtrl.h"
#include "platform/testing/Headless.h"
#include "platform/testing/ScriptedForms.h"

using namespace kuvo;

namespace {

constexpr int Esc = 27;
constexpr double Frame = 1.0 / 60.0;

// The headless platform with scripted forms; the date is the 1st unless a test moves it.
struct MenuHost {
  HeadlessPlatform host;
  ScriptedForms forms;
  MenuHost() {
    Host.forms = &forms;
    host.clock.SetDate({2026, 3, 1});
    // The game ends at the first pass unless a test scripts the window otherwise.
    host.window.script = [this](long, ScriptedWindow& window) {
      host.clock.Advance(Frame);
      window.PressKey(Esc);
    };
  }
};

// Clears a name box the way a player does, one Backspace per character.
void ClearBox(ScriptedForms& forms, const Form& form, int box) {
  for (int n = Utf8Length(form.controls[static_cast<std::size_t>(box)].text); n > 0; --n) forms.Backspace(box);
}

// Plays the menu with `act` in its first frame, then clicks Play.
void PlayWith(MenuHost& m, std::function<void(Form&, ScriptedForms&)> act) {
  m.forms.script = [act](Form& form, int frame, ScriptedForms& forms) {
    if (&form != &Form1) return;
    if (frame == 0 && act) act(form, forms);
    if (frame == 1) forms.Click(labPlay);
  };
  ShowForm1();
}

std::vector<std::string> Shows(const ScriptedForms& forms) {
  std::vector<std::string> shows;
  for (const std::string& entry : forms.log)
    if (entry.rfind("show ", 0) == 0 || entry.rfind("closed ", 0) == 0) shows.push_back(entry);
  return shows;
}

// ---- Layout ----

TEST(Form1Layout, ControlsSitAtTheirTwipsPositions) {
  MenuHost m;
  m.forms.script = [](Form&, int, ScriptedForms& forms) { forms.Click(labExit); };
  ShowForm1();
  EXPECT_EQ(Form1.clientWidth / TwipsPerPixel, 565);
  EXPECT_EQ(Form1.clientHeight / TwipsPerPixel, 314);
  EXPECT_EQ(Form1.backColour, 0x002800u);
  EXPECT_EQ(Form1.controls[pic].backColour, 0x808080u);
  struct Expected {
    int control;
    PixelRect rect;  // in the window's client area: the panel's 72, 32 added to its children
  };
  const Expected expected[] = {
      {pic, {72, 32, 413, 237}},      {Label1, {84, 44, 389, 41}},  {txt1, {104, 116, 93, 22}},
      {Ch1, {212, 120, 117, 18}},     {txt2, {104, 152, 93, 22}},   {Ch2, {212, 156, 117, 18}},
      {Lst, {348, 112, 90, 68}},      {labPlay, {160, 224, 93, 25}}, {labExit, {304, 224, 93, 25}},
      {Image1, {140, 138, 285, 38}},
  };
  for (const Expected& e : expected) {
    PixelRect r = ControlPixels(Form1, e.control);
    EXPECT_EQ(r.left, e.rect.left) << Form1.controls[static_cast<std::size_t>(e.control)].name;
    EXPECT_EQ(r.top, e.rect.top) << Form1.controls[static_cast<std::size_t>(e.control)].name;
    EXPECT_EQ(r.width, e.rect.width) << Form1.controls[static_cast<std::size_t>(e.control)].name;
    EXPECT_EQ(r.height, e.rect.height) << Form1.controls[static_cast<std::size_t>(e.control)].name;
  }
  EXPECT_EQ(Form1.controls[Label1].text, "Kuvo");
  EXPECT_EQ(Form1.controls[Label1].font.face, FontSpec::Face::Serif);
  EXPECT_EQ(Form1.controls[Label1].font.points, 24.0f);
  EXPECT_EQ(Form1.controls[txt1].font.points, 14.25f);
  EXPECT_EQ(Form1.controls[txt1].text, "Player1");
  EXPECT_EQ(Form1.controls[txt2].text, "Player2");
  EXPECT_FALSE(Form1.controls[Ch1].ticked);
  EXPECT_TRUE(Form1.controls[Ch2].ticked);
  EXPECT_EQ(Form1.controls[Lst].items, (std::vector<std::string>{"Novice", "Average", "Master!"}));
  EXPECT_EQ(Form1.controls[Lst].listIndex, 1);
  EXPECT_FALSE(Form1.controls[Image1].visible);
  EXPECT_TRUE(Form1.controls[labPlay].border);
}

TEST(Form1Layout, TabVisitsTheControlsInOrderAndWraps) {
  MenuHost m;
  m.forms.script = [](Form&, int, ScriptedForms& forms) { forms.Click(labExit); };
  ShowForm1();
  std::vector<int> order;
  for (int at = txt1, k = 0; k < 8; ++k) order.push_back(at = NextTabStop(Form1, at, false));
  EXPECT_EQ(order, (std::vector<int>{Ch1, txt2, Ch2, Lst, labPlay, labExit, txt1, Ch1}));
  EXPECT_EQ(NextTabStop(Form1, txt1, true), labExit);
  Form1.controls[pic].visible = false;  // nothing in a hidden panel takes the focus
  EXPECT_EQ(NextTabStop(Form1, txt1, false), -1);
}

TEST(Pictures, HaveTheirSizesAndShowSomething) {
  MenuHost m;
  Picture startUp = MakeStartUpPicture();
  EXPECT_EQ(startUp.width, 285);
  EXPECT_EQ(startUp.height, 38);
  Picture notice = MakeNoticePicture();
  EXPECT_EQ(notice.width, 685);
  EXPECT_EQ(notice.height, 361);
  // The words are light on a dark ground: a few hundred light pixels in the picture's middle rows.
  int light = 0;
  for (int y = 8; y < 30; ++y)
    for (int x = 20; x < 265; ++x) light += (startUp.pixels[static_cast<std::size_t>(y * 285 + x)] & 0xFF) > 160;
  EXPECT_GT(light, 300);
  std::vector<std::uint32_t> distinct(notice.pixels);
  std::sort(distinct.begin(), distinct.end());
  EXPECT_GT(std::unique(distinct.begin(), distinct.end()) - distinct.begin(), 1000);
}

// ---- The notice ----

class NoticeDate : public ::testing::TestWithParam<int> {};

TEST_P(NoticeDate, ComesBeforeTheMenuOnEveryFifthDayOnly) {
  int day = GetParam();
  MenuHost m;
  m.host.clock.SetDate({2026, 3, day});
  int noticeFrames = 0;
  m.forms.script = [&](Form& form, int frame, ScriptedForms& forms) {
    if (&form == &frmegy) {
      ++noticeFrames;
      if (frame == 3) forms.Click(Command1);  // "X"
    } else {
      forms.Click(labExit);
    }
  };
  ShowForm1();
  bool due = day % 5 == 0;
  std::vector<std::string> expected;
  if (due) expected = {"show Kuvo notice", "closed Kuvo notice"};
  expected.insert(expected.end(), {"show Kuvo", "closed Kuvo"});
  EXPECT_EQ(Shows(m.forms), expected);
  // The notice waited for "X": the menu came only after it.
  EXPECT_EQ(noticeFrames, due ? 4 : 0);
}

INSTANTIATE_TEST_SUITE_P(Days, NoticeDate, ::testing::Values(1, 4, 5, 6, 10, 11, 15, 16, 25, 30, 31));

// SIGTERM or SIGINT while the notice is up ends the program: the notice closes and the menu after it
// closes at once, so no game starts; the notice's own close box leads on to the menu as "X" does.
TEST(Notice, AStopSignalEndsTheProgramWhereTheCloseBoxGoesOnToTheMenu) {
  for (bool signal : {true, false}) {
    MenuHost m;
    m.host.clock.SetDate({2026, 3, 10});
    int menuFrames = 0;
    m.forms.script = [&](Form& form, int frame, ScriptedForms& forms) {
      if (&form == &frmegy) {
        if (frame == 2) {
          if (signal) forms.Quit();
          else forms.CloseBox();
        }
      } else if (++menuFrames == 3) {
        forms.Click(labExit);
      }
    };
    ShowForm1();
    EXPECT_EQ(Shows(m.forms),
              (std::vector<std::string>{"show Kuvo notice", "closed Kuvo notice", "show Kuvo", "closed Kuvo"}));
    EXPECT_EQ(menuFrames, signal ? 0 : 3) << (signal ? "signal" : "close box");
    EXPECT_FALSE(Form1.loaded);
  }
}

TEST(Notice, IsAWindowTheSizeOfItsPictureWithAnXButton) {
  MenuHost m;
  m.host.clock.SetDate({2026, 3, 10});
  Form seen;
  m.forms.script = [&](Form& form, int, ScriptedForms& forms) {
    if (&form == &frmegy) {
      seen = form;
      forms.Click(Command2);  // the hidden button does nothing
      forms.Click(Command1);
    } else {
      forms.Click(labExit);
    }
  };
  ShowForm1();
  ASSERT_EQ(seen.controls.size(), static_cast<std::size_t>(frmegyControlCount)) << "the notice was not shown";
  EXPECT_EQ(seen.clientWidth, 685 * TwipsPerPixel);
  EXPECT_EQ(seen.clientHeight, 361 * TwipsPerPixel);
  const Control& x = seen.controls[Command1];
  EXPECT_EQ(x.text, "X");
  EXPECT_EQ((std::vector<int>{x.left, x.top, x.width, x.height}), (std::vector<int>{240, 80, 460, 300}));
  EXPECT_EQ(seen.focus, Command2);
  EXPECT_GT(seen.controls[Command2].top, seen.clientHeight);  // out of sight
  EXPECT_EQ(seen.controls[frmegyImage1].picture, &NoticePicture);
}

// ---- Names ----

struct NameCase {
  const char* typed;
  const char* expected;
};

class NameEntry : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameEntry, ReachesPlayerNamesWithinEightCharacters) {
  MenuHost m;
  PlayWith(m, [](Form& form, ScriptedForms& forms) {
    ClearBox(forms, form, txt1);
    forms.Type(txt1, GetParam().typed);
  });
  EXPECT_EQ(PlayerNames[1], GetParam().expected);
  EXPECT_EQ(PlayerNames[2], "Player2");
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameEntry,
    ::testing::Values(NameCase{"", ""}, NameCase{"Abcdefgh", "Abcdefgh"}, NameCase{"Иванович", "Иванович"},
                      NameCase{"Abcdefghi", "Abcdefgh"}, NameCase{"Петровича", "Петрович"},
                      NameCase{"Ёж", "Ёж"}),
    // Named by position: a name made of the case's bytes would hold pointers, which differ from run to run.
    [](const ::testing::TestParamInfo<NameCase>& info) { return "Case" + std::to_string(info.index); });

TEST(NameEntry, ANinthCharacterIsRefusedWhetherTypedOrPasted) {
  MenuHost m;
  PlayWith(m, [](Form& form, ScriptedForms& forms) {
    ClearBox(forms, form, txt1);
    for (const char* letter : {"Ж", "е", "н", "я", "Ж", "е", "н", "я"}) forms.Type(txt1, letter);
    forms.Type(txt1, "!");  // a ninth, typed
    ClearBox(forms, form, txt2);
    forms.Type(txt2, "Ölçüğüñöß");  // nine, pasted at once
  });
  EXPECT_EQ(PlayerNames[1], "ЖеняЖеня");
  EXPECT_EQ(PlayerNames[2], "Ölçüğüñö");
}

TEST(TextEdit, KeepsEveryEditWithinTheLength) {
  int cursor = -1;
  // Typing into the middle of a full box changes nothing.
  EXPECT_EQ(LimitTextEdit("Иванович", "ИванXович", 8, &cursor), "Иванович");
  EXPECT_EQ(cursor, 8);  // after "Иван", in bytes
  // Replacing two selected characters by three keeps the first two of them.
  EXPECT_EQ(LimitTextEdit("Player12", "PlayerЯЮЭ", 8), "PlayerЯЮ");
  // A paste into a box with room for three keeps three.
  EXPECT_EQ(LimitTextEdit("Bob12", "Bob12ЁЁЁЁЁ", 8), "Bob12ЁЁЁ");
  // Deleting is always allowed, and no limit means none.
  EXPECT_EQ(LimitTextEdit("Иванович", "Иванвич", 8), "Иванвич");
  EXPECT_EQ(LimitTextEdit("", "ABCDEFGHIJ", 0), "ABCDEFGHIJ");
}

// ---- Difficulty ----

struct Level {
  int index;
  float difficulty;
};

class DifficultyLevel : public ::testing::TestWithParam<Level> {};

TEST_P(DifficultyLevel, MapsTheListToTheAimingError) {
  MenuHost m;
  PlayWith(m, [](Form&, ScriptedForms& forms) { forms.Select(Lst, GetParam().index); });
  EXPECT_EQ(Difficulty, GetParam().difficulty);
}

INSTANTIATE_TEST_SUITE_P(List, DifficultyLevel,
                         ::testing::Values(Level{0, 0.11f}, Level{1, 0.035f}, Level{2, 0.01f}),
                         [](const ::testing::TestParamInfo<Level>& info) { return "Item" + std::to_string(info.index); });

TEST(DifficultyLevel, LeftAtItsDefaultIsAverage) {
  MenuHost m;
  PlayWith(m, nullptr);
  EXPECT_EQ(Difficulty, 0.035f);
}

// ---- Play ----

TEST(Play, HidesThePanelShowsThePictureMaximisesAndDrawsBeforeReadingTheSettings) {
  MenuHost m;
  PlayerNames[1] = PlayerNames[2] = "unset";
  IsComputer[1] = IsComputer[2] = false;
  Difficulty = -1.0f;
  struct Seen {
    bool panelShown, pictureShown, maximised, released;
    std::string name1;
    float difficulty;
  };
  std::vector<Seen> atDraw, atFirstPass;
  m.forms.onDoEvents = [&](const Form& form) {
    atDraw.push_back({ControlShown(form, pic), ControlShown(form, Image1), m.host.window.Maximised(),
                      m.forms.Released(), PlayerNames[1], Difficulty});
  };
  m.host.window.script = [&](long pass, ScriptedWindow& window) {
    if (pass == 0)
      atFirstPass.push_back({ControlShown(Form1, pic), ControlShown(Form1, Image1), window.Maximised(),
                             m.forms.Released(), PlayerNames[1], Difficulty});
    m.host.clock.Advance(Frame);
    window.PressKey(Esc);
  };
  PlayWith(m, [](Form&, ScriptedForms& forms) { forms.Tick(Ch1); });
  ASSERT_EQ(atDraw.size(), 1u);
  EXPECT_FALSE(atDraw[0].panelShown);
  EXPECT_TRUE(atDraw[0].pictureShown);
  EXPECT_TRUE(atDraw[0].maximised);
  EXPECT_FALSE(atDraw[0].released);
  EXPECT_EQ(atDraw[0].name1, "unset");  // the settings are read after the picture is drawn
  EXPECT_EQ(atDraw[0].difficulty, -1.0f);
  ASSERT_EQ(atFirstPass.size(), 1u);  // RunGame ran, once
  EXPECT_TRUE(atFirstPass[0].released);  // the menu let the window go before the game's device
  EXPECT_EQ(atFirstPass[0].name1, "Player1");
  EXPECT_EQ(atFirstPass[0].difficulty, 0.035f);
  EXPECT_TRUE(IsComputer[1]);
  EXPECT_EQ(m.forms.log, (std::vector<std::string>{"show Kuvo", "doevents Kuvo", "release", "closed Kuvo"}));
  EXPECT_FALSE(Form1.loaded);  // the end of the game unloads the menu, which ends the program
}

TEST(Play, ExitAndTheCloseBoxEndTheProgramWithoutAGame) {
  for (bool closeBox : {false, true}) {
    MenuHost m;
    long passes = 0;
    m.host.window.script = [&](long, ScriptedWindow&) { ++passes; };
    m.forms.script = [closeBox](Form&, int, ScriptedForms& forms) {
      if (closeBox) forms.CloseBox();
      else forms.Click(labExit);
    };
    ShowForm1();
    EXPECT_FALSE(Form1.loaded);
    EXPECT_EQ(passes, 0);
    EXPECT_EQ(m.forms.log, (std::vector<std::string>{"show Kuvo", "closed Kuvo"}));
  }
}

// The close box pressed while the start-up picture is drawn is not lost: the run ends at its first pass.
TEST(Play, TheCloseBoxDuringTheStartUpPictureEndsTheRunAtItsFirstPass) {
  MenuHost m;
  long passes = 0;
  m.forms.onDoEvents = [&](const Form&) { m.forms.CloseBox(); };
  m.host.window.script = [&](long, ScriptedWindow& window) {
    ++passes;
    m.host.clock.Advance(Frame);
    if (passes == 100) window.PressKey(Esc);  // ends a failing test
  };
  PlayWith(m, nullptr);
  EXPECT_EQ(passes, 1);
  EXPECT_FALSE(Form1.loaded);
}

// Runs the game from the menu for `seconds` of play with no input at all and reports the player to
// make the first stroke, 0 if nobody did.
int FirstStriker(bool tickPlayer1, double seconds) {
  MenuHost m;
  int striker = 0;
  m.host.window.script = [&](long pass, ScriptedWindow& window) {
    m.host.clock.Advance(Frame);
    if (pass > 0 && striker == 0 && !BallsAtRest) striker = CurrentPlayer;
    if (striker != 0 || pass * Frame >= seconds) window.PressKey(Esc);
  };
  PlayWith(m, [tickPlayer1](Form&, ScriptedForms& forms) {
    if (tickPlayer1) forms.Tick(Ch1);
  });
  return striker;
}

TEST(Play, BothBoxesTickedGiveAGameThatPlaysItself) {
  EXPECT_EQ(FirstStriker(true, 20.0), 1);
  EXPECT_TRUE(IsComputer[1]);
  EXPECT_TRUE(IsComputer[2]);
}

TEST(Play, TheDefaultsGiveAHumanOpeningAgainstTheComputer) {
  EXPECT_EQ(FirstStriker(false, 20.0), 0);  // player 1 waits for a person
  EXPECT_FALSE(IsComputer[1]);
  EXPECT_TRUE(IsComputer[2]);
  EXPECT_EQ(PlayerNames[1], "Player1");
  EXPECT_EQ(PlayerNames[2], "Player2");
}

}  // namespace
