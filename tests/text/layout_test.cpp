// Message text layout: line breaks, ruby and emphasis dots, kinsoku, the
// per-character delay and the press that lays out the rest; the backlog.
#include <gtest/gtest.h>

#include <velmi_platform.h>

#include <cstring>
#include <string>
#include <vector>

#include "player/core/backlog.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/input.h"
#include "player/core/settings.h"
#include "tests/text/text_env.h"

namespace {

struct Placed {
  const char* ch;
  int left, top, size;
};

class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseScreen(640, 480);
    VelmiClockUseFake(10000);
    window = std::make_unique<CTextWindow>();
    UseMessageWindowSettings(*window);
    dirty.SetSize(640, 480);
    std::memset(&settings, 0, sizeof settings);
    std::memset(&input, 0, sizeof input);
    settings.messageSpeed = 3;  // 30 ms a character at speed factor 100
  }
  void TearDown() override {
    window.reset();
    VelmiClockUseReal();
  }
  // Lays the whole text out at once and returns the result of the call.
  int LayOutAll(const std::string& text) {
    stored = text;
    window->noWait = 1;
    window->StartText(stored.c_str());
    return LayoutText(window.get(), &settings, &input, &dirty, 100);
  }
  void ExpectPlaced(const std::vector<Placed>& want, const std::string& label) {
    ASSERT_EQ(window->count, int(want.size())) << label;
    for (size_t i = 0; i < want.size(); ++i) {
      const TextCharRecord& r = window->records[i];
      EXPECT_EQ(r.character, Code(want[i].ch)) << label << " #" << i;
      EXPECT_EQ(r.left, want[i].left) << label << " #" << i;
      EXPECT_EQ(r.top, want[i].top) << label << " #" << i;
      EXPECT_EQ(int(r.size), want[i].size) << label << " #" << i;
      EXPECT_EQ(r.right, r.left + want[i].size + 1) << label << " #" << i;
      EXPECT_EQ(r.bottom, r.top + want[i].size + 1) << label << " #" << i;
      EXPECT_EQ(r.state, 1) << label << " #" << i;
      EXPECT_EQ(r.inUse, 1u) << label << " #" << i;
    }
  }

  std::unique_ptr<CTextWindow> window;
  CDirtyList dirty;
  GameSettings settings;
  InputState input;
  std::string stored;
};

// At 640x480 the glyph is 22 pixels, a line 22 + 11, and the text starts
// at (4 + 30, 304 + 60).
constexpr int X0 = 34, Y0 = 364, G = 22, LINE = 33, RUBY_Y = Y0 - 11;

TEST_F(LayoutTest, BreaksRubyAndEmphasis) {
  struct Case {
    const char* text;
    std::vector<Placed> placed;
  } cases[] = {
      {"あ/い", {{"あ", X0, Y0, G}, {"い", X0, Y0 + LINE, G}}},
      {"あ\\い", {{"あ", X0, Y0, G}, {"い", X0, Y0 + LINE, G}}},
      {"あ\nい", {{"あ", X0, Y0, G}, {"い", X0, Y0 + LINE, G}}},
      {"あ//い", {{"あ", X0, Y0, G}, {"い", X0, Y0 + 2 * LINE, G}}},
      // The double-byte slash is an ordinary character; blanks take no room.
      {"あ／い", {{"あ", X0, Y0, G}, {"／", X0 + G, Y0, G}, {"い", X0 + 2 * G, Y0, G}}},
      {"a b", {{"a", X0, Y0, G}, {"b", X0 + G, Y0, G}}},
      // Two ruby characters exactly as wide as the base.
      {"｛かん／漢｝", {{"漢", X0, Y0, G}, {"か", X0, RUBY_Y, 11}, {"ん", X0 + 11, RUBY_Y, 11}}},
      // One ruby character spread over two base characters.
      {"｛か／漢字｝", {{"漢", X0, Y0, G}, {"字", X0 + G, Y0, G}, {"か", 50, RUBY_Y, 11}}},
      // Three ruby characters centred over one, overhanging.
      {"｛かんじ／字｝", {{"字", X0, Y0, G}, {"か", 28, RUBY_Y, 11}, {"ん", 39, RUBY_Y, 11}, {"じ", 50, RUBY_Y, 11}}},
      // Emphasis dots: size 28, 4 pixels higher.
      {"｛・・／強調｝",
       {{"強", X0, Y0, G}, {"調", X0 + G, Y0, G}, {"・", X0, RUBY_Y - 4, G}, {"・", X0 + G, RUBY_Y - 4, G}}},
      {"あ｛かん／漢｝",
       {{"あ", X0, Y0, G}, {"漢", X0 + G, Y0, G}, {"か", X0 + G, RUBY_Y, 11}, {"ん", X0 + G + 11, RUBY_Y, 11}}},
      // Each group decides by its own first ruby character.
      {"｛・／強｝｛か／漢｝",
       {{"強", X0, Y0, G}, {"・", X0, RUBY_Y - 4, G}, {"漢", X0 + G, Y0, G}, {"か", 61, RUBY_Y, 11}}},
      // Groups without ruby, stray ends and cut-off texts.
      {"｛／漢｝", {{"漢", X0, Y0, G}}},
      {"漢｝字", {{"漢", X0, Y0, G}, {"字", X0 + G, Y0, G}}},
      {"｛かん", {}},
      {"漢｛か", {{"漢", X0, Y0, G}}},
      {"漢｛", {{"漢", X0, Y0, G}}},
  };
  for (const Case& c : cases) {
    SetUp();
    EXPECT_EQ(LayOutAll(Sjis(c.text)), 1) << c.text;
    ExpectPlaced(c.placed, c.text);
    EXPECT_EQ(window->progress, stored.size()) << c.text;
  }
  // A lead byte with the terminator after it is one single-byte character.
  SetUp();
  std::string cut = Sjis("あ") + "\x82";
  EXPECT_EQ(LayOutAll(cut), 1);
  ASSERT_EQ(window->count, 2);
  EXPECT_EQ(window->records[1].character, 0x82);
  EXPECT_EQ(window->progress, 3u);
}

TEST_F(LayoutTest, ClosingPunctuationStaysOnTheFullLine) {
  std::string full;
  for (int i = 0; i < 24; ++i) full += Sjis("あ");
  struct Case {
    const char* next;
    bool stays;
  } cases[] = {{"」", true}, {"。", true}, {"、", true}, {"，", false}, {"あ", false}, {"」", true}};
  for (const Case& c : cases) {
    SetUp();
    EXPECT_EQ(LayOutAll(full + Sjis(c.next) + Sjis("い")), 1);
    ASSERT_EQ(window->count, 26) << c.next;
    const TextCharRecord& p = window->records[24];
    const TextCharRecord& after = window->records[25];
    if (c.stays) {
      EXPECT_EQ(p.left, X0 + 24 * G) << c.next;
      EXPECT_EQ(p.top, Y0) << c.next;
      EXPECT_EQ(after.left, X0) << c.next;
      EXPECT_EQ(after.top, Y0 + LINE) << c.next;
    } else {
      EXPECT_EQ(p.left, X0) << c.next;
      EXPECT_EQ(p.top, Y0 + LINE) << c.next;
      EXPECT_EQ(after.left, X0 + G) << c.next;
    }
    EXPECT_EQ(window->lineNumber, 1) << c.next;
  }
}

TEST_F(LayoutTest, DelayPerCharacterAndThePressThatEndsIt) {
  const std::string text = Sjis("あいうえお");
  // Calls at these times after the start: characters laid out, result.
  struct Step {
    DWORD at;
    int count;
    int result;
  };
  const std::vector<Step> typing = {{0, 0, 0}, {29, 0, 0}, {30, 1, 0}, {59, 1, 0}, {100, 3, 0}, {1000, 5, 1}};
  for (DWORD start : {DWORD(10000), DWORD(0xFFFFFFF0)}) {  // also across the clock's wrap
    SetUp();
    VelmiClockUseFake(start);
    window->StartText(text.c_str());
    DWORD now = start;
    for (const Step& s : typing) {
      VelmiClockAdvance(start + s.at - now);
      now = start + s.at;
      EXPECT_EQ(LayoutText(window.get(), &settings, &input, &dirty, 100), s.result) << start << "+" << s.at;
      EXPECT_EQ(window->count, s.count) << start << "+" << s.at;
      EXPECT_EQ(window->lastLayoutTime, now);
    }
  }
  // Each of these lays out the whole text in the first call.
  struct Mode {
    const char* name;
    void (*set)(CTextWindow*, GameSettings*, InputState*);
    void (*check)(const InputState&);
  } modes[] = {
      {"no wait", [](CTextWindow* w, GameSettings*, InputState*) { w->noWait = 1; }, [](const InputState&) {}},
      {"skip", [](CTextWindow*, GameSettings* s, InputState*) { s->skipRunning = 1; }, [](const InputState&) {}},
      {"LEFT held", [](CTextWindow*, GameSettings*, InputState* i) { i->count[IN_LEFT] = 7; },
       [](const InputState& i) { EXPECT_EQ(i.count[IN_LEFT], 7u); }},
      {"RIGHT pressed", [](CTextWindow*, GameSettings*, InputState* i) { i->count[IN_RIGHT] = 1; },
       [](const InputState& i) {
         EXPECT_EQ(i.count[IN_RIGHT], 2u);
         EXPECT_EQ(i.count[IN_KEY_C], 0u);
       }},
      {"KEY_C pressed", [](CTextWindow*, GameSettings*, InputState* i) { i->count[IN_KEY_C] = 1; },
       [](const InputState& i) { EXPECT_EQ(i.count[IN_KEY_C], 2u); }},
      {"tap", [](CTextWindow*, GameSettings*, InputState* i) { i->tap = 1; },
       [](const InputState& i) { EXPECT_EQ(i.tap, 0u); }},
  };
  for (const Mode& m : modes) {
    SetUp();
    m.set(window.get(), &settings, &input);
    window->StartText(text.c_str());
    EXPECT_EQ(LayoutText(window.get(), &settings, &input, &dirty, 100), 1) << m.name;
    EXPECT_EQ(window->count, 5) << m.name;
    m.check(input);
  }
  // A key still held from an earlier frame does not hurry the text.
  SetUp();
  input.count[IN_RIGHT] = 2;
  window->StartText(text.c_str());
  EXPECT_EQ(LayoutText(window.get(), &settings, &input, &dirty, 100), 0);
  EXPECT_EQ(window->count, 0);
  // A press in the middle lays out the rest; the next call finds the end.
  SetUp();
  window->StartText(text.c_str());
  VelmiClockAdvance(30);
  LayoutText(window.get(), &settings, &input, &dirty, 100);
  EXPECT_EQ(window->count, 1);
  input.tap = 1;
  EXPECT_EQ(LayoutText(window.get(), &settings, &input, &dirty, 100), 1);
  EXPECT_EQ(window->count, 5);
  EXPECT_EQ(window->progress, text.size());
}

TEST_F(LayoutTest, DirtyRectanglesOfLaidOutCharacters) {
  LayOutAll(Sjis("｛か／漢｝"));
  // Each character adds its own present-only rectangle, one pixel larger.
  ASSERT_EQ(dirty.Count(), 2);
  RECT r;
  EXPECT_EQ(dirty.GetRect(0, &r), 0u);
  EXPECT_EQ(r.left, X0);
  EXPECT_EQ(r.top, Y0);
  EXPECT_EQ(r.right, X0 + G + 2);
  EXPECT_EQ(r.bottom, Y0 + G + 2);
  EXPECT_EQ(dirty.GetRect(1, &r), 0u);
  EXPECT_EQ(r.top, RUBY_Y);
  EXPECT_EQ(r.bottom, RUBY_Y + 11 + 2);
}

TEST_F(LayoutTest, TablesAndBuffersStayBounded) {
  // More characters than records: the table fills and the text still ends.
  std::string many;
  for (int i = 0; i < 100; ++i) many += Sjis("あい/");
  EXPECT_EQ(LayOutAll(many), 1);
  EXPECT_EQ(window->count, kTextRecords);
  EXPECT_EQ(window->progress, many.size());
  // A ruby group keeps its first 64 ruby characters.
  SetUp();
  std::string ruby = Sjis("｛");
  for (int i = 0; i < 100; ++i) ruby += Sjis("か");
  ruby += Sjis("／漢｝");
  EXPECT_EQ(LayOutAll(ruby), 1);
  EXPECT_EQ(window->count, 1 + kRubyChars);
  // The text buffer keeps what fits, never half a character.
  SetUp();
  std::string page;
  for (int i = 0; i < 150; ++i) page += Sjis("あ");
  for (int i = 0; i < 3; ++i) window->StartText(page.c_str());
  EXPECT_EQ(std::strlen(window->textBuffer), 510u);
  EXPECT_EQ(std::string(window->textBuffer, 300), page);
  window->ClearText();
  EXPECT_EQ(window->textBuffer[0], 0);
  EXPECT_EQ(window->count, 0);
}

TEST_F(LayoutTest, StatesForInstantModeShowAllAndDirtyAreas) {
  LayOutAll(Sjis("あいう"));
  for (int i = 0; i < 3; ++i) window->records[i].state = 0;
  window->records[2].state = 2;
  EXPECT_EQ(window->ShowAllChars(1), 0);  // nothing while not displayed
  EXPECT_EQ(window->records[0].state, 0);
  window->SetInstantMode(1);
  EXPECT_EQ(window->records[0].state, 1);
  EXPECT_EQ(window->records[2].state, 2);
  EXPECT_EQ(window->ShowAllChars(0), 1);
  EXPECT_EQ(window->records[0].state, 0);
  EXPECT_EQ(window->records[2].state, 0);
  // Only areas whose sprites are redrawn flag the characters under them.
  dirty.Clear();
  RECT text{X0 + 2 * G, Y0, X0 + 3 * G, Y0 + G};
  dirty.Add(&text, 0);
  RECT sprite{X0 + G + 3, Y0 + 3, X0 + G + 4, Y0 + 4};
  dirty.Add(&sprite, 1);
  window->FlagCharsInRect(&dirty);
  EXPECT_EQ(window->records[0].state, 0);
  EXPECT_EQ(window->records[1].state, 1);
  EXPECT_EQ(window->records[2].state, 0);
  window->SetInstantMode(0);
  window->records[1].state = 0;
  window->FlagCharsInRect(&dirty);
  EXPECT_EQ(window->records[1].state, 0);
}

TEST(Backlog, PushDropIndexAndNames) {
  CBacklogList list;
  list.Init();
  EXPECT_EQ(list.GetData(0, nullptr), nullptr);
  EXPECT_EQ(list.GetName(-1, nullptr), nullptr);
  for (uint32_t i = 0; i < 65; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "v%u", i);
    uint32_t data[2] = {i, ~i};
    EXPECT_EQ(list.Push(i % 2 ? name : "", data, sizeof data, 100 + i), 1);
  }
  struct Case {
    int index;
    int pushed;  // which push it returns, -1 none
  } cases[] = {{0, 64}, {-5, 64}, {1, 63}, {62, 2}, {63, 1}, {64, -1}, {1000, -1}};
  for (const Case& c : cases) {
    uint32_t tag = 0;
    const uint32_t* data = static_cast<const uint32_t*>(list.GetData(c.index, &tag));
    const char* name = list.GetName(c.index, nullptr);
    if (c.pushed < 0) {
      EXPECT_EQ(data, nullptr) << c.index;
      EXPECT_EQ(name, nullptr) << c.index;
      continue;
    }
    ASSERT_NE(data, nullptr) << c.index;
    EXPECT_EQ(data[0], uint32_t(c.pushed)) << c.index;
    EXPECT_EQ(data[1], ~uint32_t(c.pushed)) << c.index;
    EXPECT_EQ(tag, 100u + c.pushed) << c.index;
    EXPECT_EQ(list.GetDataSize(c.index), 8u);
    if (c.pushed % 2)
      EXPECT_STREQ(name, ("v" + std::to_string(c.pushed)).c_str()) << c.index;
    else
      EXPECT_EQ(name, nullptr) << c.index;  // an empty name is stored as none
  }
  EXPECT_EQ(list.Push(nullptr, nullptr, 0, 7), 1);
  EXPECT_EQ(list.GetData(0, nullptr), nullptr);
  EXPECT_EQ(list.GetData(1, nullptr) != nullptr, true);
  list.Free();
  EXPECT_EQ(list.GetData(0, nullptr), nullptr);
}

}  // namespace
