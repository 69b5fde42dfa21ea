#include "common/sjis.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// A heap copy of exactly the string and its terminator, so that the sanitizer
// catches any read past the end.
struct Exact {
  explicit Exact(const std::string& s) : data(new char[s.size() + 1]) {
    std::memcpy(data.get(), s.c_str(), s.size() + 1);
  }
  operator const char*() const { return data.get(); }
  std::unique_ptr<char[]> data;
};

const std::string kSo = "\x83\x5c";  // katakana so, trail byte '\'
const std::string kZo = "\x83\x5d";  // katakana zo, trail byte ']'
const std::string kA = "\x82\xa0";   // hiragana a
const std::string kLead = "\x83";    // a lead byte with nothing after it

TEST(SjisTest, LeadByteRanges) {
  struct {
    unsigned char b;
    int lead;
  } cases[] = {
      {0x00, 0}, {0x5C, 0}, {0x80, 0}, {0x81, 1}, {0x9F, 1}, {0xA0, 0},
      {0xA1, 0}, {0xDF, 0}, {0xE0, 1}, {0xFC, 1}, {0xFD, 0}, {0xFF, 0},
  };
  for (auto& c : cases) EXPECT_EQ(IsSjisLeadByte(c.b) != 0, c.lead == 1) << std::hex << int(c.b);
}

TEST(SjisTest, CopyAndAppendChain) {
  char buf[32];
  char* end = StrCopy(buf, "ab");
  EXPECT_EQ(end, buf + 2);
  end = StrAppend(buf, "cde");
  EXPECT_EQ(end, buf + 5);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(StrLength(buf), 5u);
  EXPECT_EQ(StrLength(""), 0u);
}

TEST(SjisTest, Equal) {
  struct {
    std::string a, b;
    int equal;
  } cases[] = {
      {"grpack.mlz", "GRPACK.MLZ", 1},
      {"ab", "abc", 0},
      {"abc", "ab", 0},
      {"", "", 1},
      {"", "a", 0},
      {"[]", "{}", 0},  // only a-z fold
      {kSo + "a" + kA, kSo + "A" + kA, 1},
      {kSo, kZo, 0},                  // second bytes differ
      {"\x83\x61", "\x83\x41", 0},    // a trail byte is never folded
      {"a" + kLead, "A" + kLead, 1},  // lead byte before the terminator
      {"a" + kLead, "a" + kLead + "x", 0},
      {kLead, "", 0},
      {kSo, "\x83", 0},
  };
  for (auto& c : cases) {
    EXPECT_EQ(SjisEqual(Exact(c.a), Exact(c.b)), c.equal) << c.a << " / " << c.b;
  }
}

TEST(SjisTest, StartsWith) {
  struct {
    std::string s, prefix;
    int match;
  } cases[] = {
      {"anything", "", 1}, {"", "", 1},         {"ab", "abc", 0},    {"GRPACK.MLZ", "grp", 1},
      {kZo + "a", kSo, 0}, {kSo + "a", kSo, 1}, {kSo, kSo + "a", 0}, {"x" + kLead, "X" + kLead, 1},
      {"x", "x" + kSo, 0},
  };
  for (auto& c : cases) {
    EXPECT_EQ(SjisStartsWith(Exact(c.s), Exact(c.prefix)), c.match) << c.s << " / " << c.prefix;
  }
}

TEST(SjisTest, FindLastChar) {
  struct {
    std::string s;
    char c;
    int at;
  } cases[] = {
      {"AdvData\\mes\\x.mes", '\\', 11},
      {kSo, '\\', -1},
      {"a\\" + kSo, '\\', 1},
      {kSo + "\\", '\\', 2},
      {"", '\\', -1},
      {"abc", '.', -1},
      {kZo + "]", ']', 2},
      {kZo, ']', -1},
      {"x.y" + kLead, '.', 1},
  };
  for (auto& c : cases) {
    Exact s(c.s);
    const char* found = SjisFindLastChar(s, c.c);
    EXPECT_EQ(found == nullptr ? -1 : int(found - s), c.at) << c.s;
  }
}

// Only single-byte '\\' become '/': ソ and 表 (trail byte 0x5C) keep their bytes.
TEST(SjisTest, SlashSeparators) {
  const std::string kHyo = "\x95\x5c";  // 表
  struct {
    std::string s, shown;
  } cases[] = {
      {"C:\\game\\AdvData\\a.zev", "C:/game/AdvData/a.zev"},
      {"\\" + kSo + "\\" + kHyo + "\\", "/" + kSo + "/" + kHyo + "/"},
      {kSo + kHyo, kSo + kHyo},
      {"a/b\\c", "a/b/c"},
      {"x\\" + kLead, "x/" + kLead},
      {"", ""},
  };
  for (auto& c : cases) {
    std::string s = c.s;
    SjisSlashSeparators(s.data());
    EXPECT_EQ(s, c.shown) << c.s;
  }
}

TEST(SjisTest, CopyToken) {
  struct {
    std::string src;
    const char* delimiters;
    int skipBlanks;
    size_t capacity;
    std::string token;
    size_t stop;
  } cases[] = {
      {"KEY = 5", "=", 1, 64, "KEY", 4},
      {kZo + "]rest", "]", 0, 64, kZo, 2},  // ']' as a trail byte is no delimiter
      {"\"a = b\"=c", "=", 1, 64, "a = b", 7},
      {"\"\"x=1", "=", 1, 64, "x", 3},
      {"\"abc", "=", 1, 64, "abc", 4},  // quote running to the end
      {"a\r\nb", "", 1, 64, "ab", 4},
      {"a\rb\n", "", 1, 64, "a\rb\n", 4},  // lone CR and LF stay
      {"a b\t", "", 0, 64, "a b\t", 4},
      {"\tK\tEY ", "", 1, 64, "KEY", 6},
      {"ab" + kLead, "=", 1, 64, "ab" + kLead, 3},  // lead byte before the terminator
      {"ABCDEFG=1", "=", 1, 4, "ABC", 7},           // cut, but still stops at '='
      {"a" + kA + "=1", "=", 1, 3, "a", 3},         // never half a character
      {"a" + kA + "=1", "=", 1, 4, "a" + kA, 3},
  };
  for (auto& c : cases) {
    Exact src(c.src);
    std::unique_ptr<char[]> dst(new char[c.capacity]);
    const char* stop = SjisCopyToken(src, dst.get(), c.capacity, c.delimiters, c.skipBlanks);
    EXPECT_EQ(std::string(dst.get()), c.token) << c.src;
    EXPECT_EQ(size_t(stop - src), c.stop) << c.src;
  }
  char untouched = 'x';
  EXPECT_EQ(*SjisCopyToken("ab=", &untouched, 0, "=", 0), '=');
  EXPECT_EQ(untouched, 'x');
}

TEST(SjisTest, ParseInteger) {
  struct {
    const char* text;
    int value;
  } cases[] = {
      {"123", 123}, {"-45", -45}, {"+7", 7}, {"0x1F", 31},  {"0xff", 255}, {"0xAbC", 0xABC},   {"12 ", 120},
      {" 12", 12},  {"", 0},      {"0x", 0}, {"4-2", -402}, {"0X1F", 10},  {"0xffffffff", -1},
  };
  for (auto& c : cases) {
    int value = 99;
    ParseInteger(c.text, &value);
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
  }
}

TEST(SjisTest, CopyFieldCutsAtAWholeCharacterAndZeroFills) {
  const struct {
    const char* src;
    size_t limit, size;
    const char* expect;  // the field's text; every byte after it is 0
  } cases[] = {
      {"abc", 99, 8, "abc"},
      {"abcdefgh", 99, 8, "abcdefg"},       // cut to leave the terminator
      {"abcdef\x88\xa2", 99, 8, "abcdef"},  // the character would not fit whole
      {"abcde\x88\xa2", 99, 8, "abcde\x88\xa2"},
      {"abcdefgh", 3, 8, "abc"},       // an unterminated source ends at its limit
      {"ab\x88\xa2", 3, 8, "ab\x88"},  // a lead byte at the limit stands alone
      {"\x88", 99, 8, "\x88"},         // a lead byte before the terminator
      {"abc", 99, 1, ""},
  };
  for (const auto& c : cases) {
    char field[8];
    std::memset(field, 'z', sizeof field);
    size_t n = SjisCopyField(field, c.size, c.src, c.limit);
    EXPECT_EQ(n, std::strlen(c.expect)) << c.src;
    EXPECT_EQ(std::string(field, n), c.expect) << c.src;
    for (size_t i = n; i < c.size; ++i) EXPECT_EQ(field[i], 0) << c.src << " at " << i;
    for (size_t i = c.size; i < sizeof field; ++i) EXPECT_EQ(field[i], 'z') << c.src << " at " << i;
  }
}

}  // namespace
