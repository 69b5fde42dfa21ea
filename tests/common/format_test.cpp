#include "common/format.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

template <typename... Args>
std::string Fmt(const char* format, Args... args) {
  char out[512];
  std::memset(out, 0x55, sizeof out);
  FormatString(out, format, args...);
  return out;
}

const std::string kFullZero = "\x82\x4f";
const std::string kIdeoSpace = "\x81\x40";

TEST(FormatTest, IntegerConversions) {
  struct {
    const char* format;
    int value;
    const char* text;
  } cases[] = {
      {"save%z3.dat", 1, "save001.dat"},
      {"save%z3.dat", 1234, "save234.dat"},
      {"DATA%z2", 7, "DATA07"},
      {"%z2", 0, "00"},
      {"%z", 7, ""},
      {"%z-3", 7, "007"},  // the flag is read and has no effect
      {"%x", 255, ""},
      {"%x4", 255, "00FF"},
      {"%x2", 0x1234, "34"},
      {"%o3", 8, "010"},
      {"%d", -12, "12"},  // no flag, no sign
      {"%d", 0, "0"},
      {"%d+", 12, "+12"},
      {"%d+", 0, "+0"},
      {"%d-", -5, "-5"},
      {"%d-", 5, "5"},
      {"%d+3", 12, "+12"},
      {"%d+2", 12, "12"},  // no room for the sign
      {"%d-3", -7, " -7"},
      {"%d-3", 7, "  7"},
      {"%d+5", -42, "  -42"},
      {"%d3", -42, " 42"},
      {"%d-", INT_MIN, "-2147483648"},
      {"%u3", 5, "  5"},
      {"%u+3", 5, "  5"},
      {"%u", 0, "0"},
      {"%ld", -3, "3"},
      {"%lx4", 0xABCD, "ABCD"},
      {"%c", 0x25, "%"},
      {"100%%%d", 5, "100%5"},
      {"%q%d", 5, "5"},  // unknown letter: nothing, no argument
      {"%lq%d", 5, "5"},
      {"%d12", 5, "           5"},
      {"%d123", 5, "           53"},  // a third digit is text
      {"x%d", 3, "x3"},
  };
  for (auto& c : cases) EXPECT_EQ(Fmt(c.format, c.value), c.text) << c.format << " of " << c.value;
  EXPECT_EQ(Fmt("%u", 4294967295u), "4294967295");
  EXPECT_EQ(Fmt("%x8", 0xDEADBEEFu), "DEADBEEF");
}

TEST(FormatTest, StringConversions) {
  const std::string a = "\x82\xa0";  // hiragana a, two bytes
  struct {
    const char* format;
    std::string arg;
    std::string text;
  } cases[] = {
      {"%s", "abc", "abc"},
      {"%s3", "ab", "ab "},
      {"%s2", "abc", "ab"},
      {"%s+", "ab", "ab+"},  // no flag for strings
      {"%s123", "ab", "ab          3"},
      {"%s%s", "x", "xx"},
      {"%s4", "a" + a + a, "a" + a + " "},  // a width never cuts a character
      {"%s2", "a" + a, "a "},
      {"%S", "a-b", "\x82\x81\x81\x7c\x82\x82"},
      {"%S3", "ab", "\x82\x81\x82\x82  "},
      {"%S2",
       "\xb1"
       "bc",
       "\xb1\x82\x82 "},  // half-width kana stays one byte
      {"%S1", a + "x", a},
  };
  for (auto& c : cases) {
    std::string text =
        std::string(c.format) == "%s%s" ? Fmt(c.format, c.arg.c_str(), c.arg.c_str()) : Fmt(c.format, c.arg.c_str());
    EXPECT_EQ(text, c.text) << c.format << " of " << c.arg;
  }
}

TEST(FormatTest, FullWidthNumbers) {
  EXPECT_EQ(Fmt("%D", 12), "\x82\x50\x82\x51");
  EXPECT_EQ(Fmt("%D+3", 5), kIdeoSpace + "\x81\x7b\x82\x54");
  EXPECT_EQ(Fmt("%Z3", 7), kFullZero + kFullZero + "\x82\x56");
  EXPECT_EQ(Fmt("%lX2", 0xAB), "\x82\x60\x82\x61");
  EXPECT_EQ(Fmt("%T", uint64_t{10}), "\x82\x50" + kFullZero);
  EXPECT_EQ(Fmt("%F1.1", 2.5), "\x82\x51\x81\x44\x82\x54");
}

TEST(FormatTest, WideAndFixedPoint) {
  EXPECT_EQ(Fmt("%t", uint64_t{12345678901234}), "12345678901234");
  EXPECT_EQ(Fmt("%t5", uint64_t{7}), "    7");
  EXPECT_EQ(Fmt("%t3", uint64_t{12345678901234}), "234");
  struct {
    const char* format;
    double value;
    const char* text;
  } cases[] = {
      {"%f2.2", 44.1, "44.10"},
      {"%f2.2", 22.05, "22.05"},
      {"%f3", 7.9, "  7."},
      {"%f1.3", 0.5, "0.500"},
      {"%f2.1", 0.99, " 0.9"},  // truncated, not rounded
      {"%f1.2", 123.456, "3.45"},
      {"%f+3.1", 2.25, " +2.2"},
      {"%f-3.1", -2.25, " -2.2"},
      {"%f3.1", -2.25, "  2.2"},
      {"%f+1.1", 2.25, "2.2"},  // no blank left for the sign
      {"%f2.12", 0.5, " 0.500000000000"},
  };
  for (auto& c : cases) EXPECT_EQ(Fmt(c.format, c.value), c.text) << c.format << " of " << c.value;
  // The pop-up menu's rate line, computed in single precision.
  EXPECT_EQ(Fmt(" [Tessaly.ovl %s][%f2.2kHz]", "1.0", 44100 * 0.001f), " [Tessaly.ovl 1.0][44.10kHz]");
  EXPECT_EQ(Fmt("[%f2.2]", 22050 * 0.001f), "[22.05]");
  EXPECT_EQ(Fmt("%f2.2", 1e30), "95.95");  // saturates, stays inside the buffer
}

TEST(FormatTest, MixedFormatsAndAppend) {
  EXPECT_EQ(Fmt("[%z4-%z2-%z2 %z2:%z2][%d%c]", 2024, 5, 7, 9, 3, 80, '%'), "[2024-05-07 09:03][80%]");
  EXPECT_EQ(Fmt("\x94\x4e%z4\x94\x4e", 7),
            "\x94\x4e"
            "0007\x94\x4e");
  EXPECT_EQ(Fmt("\x81%d.", 5),
            "\x81"
            "5.");  // a stray lead byte does not hide a conversion

  char out[32] = "abc";
  FormatString(out, "%r%d", 5);
  EXPECT_STREQ(out, "abc5");
  std::strcpy(out, "abc");
  FormatString(out, "x%r!");
  EXPECT_STREQ(out, "xbc!");
}

TEST(FormatTest, TruncatedFormatsStop) {
  // The format ends right after '%' or '%l': nothing past the terminator is read.
  const char* formats[] = {"abc%", "ab%l", "%d+"};
  const char* texts[] = {"abc", "ab", "+1"};
  for (int i = 0; i < 3; ++i) {
    std::vector<char> format(formats[i], formats[i] + std::strlen(formats[i]) + 1);
    EXPECT_EQ(Fmt(format.data(), 1), texts[i]);
  }
}

TEST(FormatTest, BoundedForm) {
  const std::string a = "\x82\xa0";
  struct {
    size_t capacity;
    const char* format;
    std::string arg;
    std::string text;
    int whole;
  } cases[] = {
      {6, "%s", "abcde", "abcde", 1},
      {6, "%s", "abcdefgh", "abcde", 0},
      {6, "%s", "abcd" + a, "abcd", 0},  // the character that does not fit is left out whole
      {6, "ab%s", "c" + a, "abc" + a, 1},
      {5, "%S", "ab", "\x82\x81\x82\x82", 1},
      {4, "%S", "ab", "\x82\x81", 0},
      {4, "%s7", "a", "a  ", 0},
      {1, "%s", "a", "", 0},
      {3, "%d+3", "", "+1", 0},
  };
  for (auto& c : cases) {
    std::vector<char> out(c.capacity, 'Z');
    int whole = std::string(c.format) == "%d+3" ? FormatStringN(out.data(), out.size(), c.format, 12)
                                                : FormatStringN(out.data(), out.size(), c.format, c.arg.c_str());
    EXPECT_EQ(std::string(out.data()), c.text) << c.format << " cap " << c.capacity;
    EXPECT_EQ(whole, c.whole) << c.format << " cap " << c.capacity;
  }
  char untouched = 'Q';
  EXPECT_EQ(FormatStringN(&untouched, 0, "x"), 0);
  EXPECT_EQ(untouched, 'Q');

  // A long string through a small buffer stays inside it.
  std::string big(1000, 'x');
  std::vector<char> out(16);
  EXPECT_EQ(FormatStringN(out.data(), out.size(), "%s%S%d", big.c_str(), big.c_str(), 5), 0);
  EXPECT_EQ(std::string(out.data()), std::string(15, 'x'));
  // %r over a buffer with no terminator inside the capacity.
  std::vector<char> full(8, 'y');
  EXPECT_EQ(FormatStringN(full.data(), full.size(), "%r%d", 1), 0);
  EXPECT_EQ(std::string(full.data()), "yyyyyyy");
}

TEST(FormatTest, ParseFieldWidthCursor) {
  struct {
    const char* text;
    int value;
    int cursor;
  } cases[] = {
      {"12x", 12, 1}, {"x", 0, -1}, {"123", 12, 1}, {"7", 7, 0}, {"", 0, -1},
  };
  for (auto& c : cases) {
    std::string padded = std::string("%") + c.text;  // room for the cursor to step back
    const char* start = padded.c_str() + 1;
    const char* cursor = start;
    EXPECT_EQ(ParseFieldWidth(&cursor), c.value) << c.text;
    EXPECT_EQ(cursor - start, c.cursor) << c.text;
  }
}

TEST(FormatTest, NumberWriters) {
  char buf[64];
  FormatUnsignedWidth(buf, 0, 3, 0);
  EXPECT_STREQ(buf, "  0");
  FormatUnsignedWidth(buf, 4294967295u, 12, 1);
  EXPECT_STREQ(buf, "004294967295");
  FormatUnsignedWidth(buf, 5, 0, 1);
  EXPECT_STREQ(buf, "");
  FormatUnsigned64Width(buf, 18446744073709551615ull, 22, 0);
  EXPECT_STREQ(buf, "  18446744073709551615");
  FormatUnsigned64(buf, 0);
  EXPECT_STREQ(buf, "0");
  FormatHexWidth(buf, 0xF, 10);
  EXPECT_STREQ(buf, "000000000F");
  FormatOctalWidth(buf, 0xFFFFFFFF, 12);
  EXPECT_STREQ(buf, "037777777777");
  FormatFixedPoint(buf, 3.75, 2, 0);
  EXPECT_STREQ(buf, " 3.");
}

// The full-width table, judged by the system's code page converter.
TEST(FormatTest, FullWidthTableMatchesCodePage932) {
  char in[96], out[256];
  for (int c = 0x20; c <= 0x7E; ++c) in[c - 0x20] = char(c);
  in[95] = 0;
  EXPECT_EQ(ToFullWidth(out, in), 95);
  ASSERT_EQ(std::strlen(out), 190u);

  iconv_t cd = iconv_open("UTF-32LE", "CP932");
  ASSERT_NE(cd, (iconv_t)-1);
  char32_t wide[96] = {};
  char* src = out;
  size_t srcLeft = 190;
  char* dst = reinterpret_cast<char*>(wide);
  size_t dstLeft = sizeof wide;
  ASSERT_NE(iconv(cd, &src, &srcLeft, &dst, &dstLeft), size_t(-1));
  iconv_close(cd);
  for (int c = 0x20; c <= 0x7E; ++c) {
    char32_t expected = 0xFF00 + (c - 0x20);
    switch (c) {
      case ' ':
        expected = 0x3000;
        break;
      case '"':
        expected = 0x201D;
        break;
      case '\'':
        expected = 0x2019;
        break;
      case '\\':
        expected = 0xFFE5;
        break;
      case '~':
        expected = 0xFFE3;
        break;
    }
    EXPECT_EQ(uint32_t(wide[c - 0x20]), uint32_t(expected)) << "byte " << c;
  }

  // Lead bytes keep their pair, other bytes pass, a lone lead byte ends it.
  EXPECT_EQ(ToFullWidth(out,
                        "\x83\x5c\x7f\xb1\x0a"
                        "a\x83"),
            1);
  EXPECT_EQ(std::string(out), "\x83\x5c\x7f\xb1\x0a\x82\x81\x83");
}

}  // namespace
