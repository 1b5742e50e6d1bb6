#include "platform/profile_encoding.h"

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace kx::platform {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

// The bytes of `text` as UTF-16 in the given order, the compiler's own
// encoding of the literal (no code of ours), with the mark first.
std::vector<std::uint8_t> Utf16(std::u16string_view text, bool bigEndian) {
  std::vector<std::uint8_t> bytes;
  std::u16string marked = u"\uFEFF";
  marked.append(text);
  for (char16_t unit : marked) {
    const auto high = static_cast<std::uint8_t>(unit >> 8);
    const auto low = static_cast<std::uint8_t>(unit & 0xFF);
    bytes.push_back(bigEndian ? high : low);
    bytes.push_back(bigEndian ? low : high);
  }
  return bytes;
}

struct DecodeCase {
  const char* what;
  std::vector<std::uint8_t> bytes;
  ProfileEncoding encoding;
  std::string text;
  bool whole;
};

// How each form is told and what text it gives; every whole file encodes
// back to its own bytes.
TEST(ProfileEncodingTest, DecodesEachFormAndEncodesItBackByteForByte) {
  using E = ProfileEncoding;
  const std::string emoji = "\xF0\x9F\x93\xB7";  // U+1F4F7, a pair in UTF-16
  const DecodeCase cases[] = {
      {"empty", {}, E::kPlain, "", true},
      {"no mark", Bytes("[A]\r\nk=1\r\n"), E::kPlain, "[A]\r\nk=1\r\n", true},
      {"bytes of no encoding stay", Bytes("\xFF\x80[A]"), E::kPlain, "\xFF\x80[A]", true},
      {"part of a UTF-8 mark is no mark", Bytes("\xEF\xBB[A]"), E::kPlain, "\xEF\xBB[A]", true},
      {"UTF-8 mark", Bytes("\xEF\xBB\xBF[A]\nk=1\n"), E::kUtf8Bom, "[A]\nk=1\n", true},
      {"UTF-8 mark only", Bytes("\xEF\xBB\xBF"), E::kUtf8Bom, "", true},
      {"UTF-8 after the mark is not checked", Bytes("\xEF\xBB\xBF\xC0"), E::kUtf8Bom, "\xC0", true},
      {"UTF-16LE mark only", {0xFF, 0xFE}, E::kUtf16LeBom, "", true},
      {"UTF-16BE mark only", {0xFE, 0xFF}, E::kUtf16BeBom, "", true},
      {"UTF-16LE", Utf16(u"[A]\r\nk=\u65E5\u00E9\r\n", false), E::kUtf16LeBom,
       "[A]\r\nk=\xE6\x97\xA5\xC3\xA9\r\n", true},
      {"UTF-16BE", Utf16(u"[A]\nk=\u65E5\u00E9", true), E::kUtf16BeBom,
       "[A]\nk=\xE6\x97\xA5\xC3\xA9", true},
      {"surrogate pair", Utf16(u"k=\U0001F4F7", false), E::kUtf16LeBom, "k=" + emoji, true},
      {"surrogate pair, big-endian", Utf16(u"\U0001F4F7=1", true), E::kUtf16BeBom, emoji + "=1",
       true},
      {"NUL unit", Utf16(std::u16string_view(u"a\0b", 3), false), E::kUtf16LeBom,
       std::string("a\0b", 3), true},
      {"a later FEFF is text", Utf16(u"a\uFEFF", false), E::kUtf16LeBom, "a\xEF\xBB\xBF", true},
      // Unpaired surrogates keep their own code points' three bytes.
      {"lone high surrogate at the end",
       {0xFF, 0xFE, 'k', 0, 0x3D, 0xD8},
       E::kUtf16LeBom,
       "k\xED\xA0\xBD",
       true},
      {"lone high surrogate before a line end",
       {0xFF, 0xFE, 0x3D, 0xD8, '\n', 0},
       E::kUtf16LeBom,
       "\xED\xA0\xBD\n",
       true},
      {"lone low surrogate",
       {0xFE, 0xFF, 0xDC, 0x00, 0, '='},
       E::kUtf16BeBom,
       "\xED\xB0\x80=",
       true},
      {"two highs, then a low: the second pairs",
       {0xFF, 0xFE, 0x00, 0xD8, 0x00, 0xD8, 0x00, 0xDC},
       E::kUtf16LeBom,
       "\xED\xA0\x80\xF0\x90\x80\x80",
       true},
      {"low before high: both alone",
       {0xFF, 0xFE, 0x00, 0xDC, 0x00, 0xD8},
       E::kUtf16LeBom,
       "\xED\xB0\x80\xED\xA0\x80",
       true},
      // A byte left over reads as U+FFFD, and the text is not whole.
      {"odd length", {0xFF, 0xFE, 'k', 0, '='}, E::kUtf16LeBom, "k\xEF\xBF\xBD", false},
      {"mark and one byte", {0xFE, 0xFF, 0x00}, E::kUtf16BeBom, "\xEF\xBF\xBD", false},
      {"odd length after a lone high surrogate",
       {0xFF, 0xFE, 0x00, 0xD8, 0xDC},
       E::kUtf16LeBom,
       "\xED\xA0\x80\xEF\xBF\xBD",
       false},
  };
  for (const DecodeCase& c : cases) {
    const ProfileText decoded = DecodeProfileText(c.bytes);
    EXPECT_EQ(decoded.encoding, c.encoding) << c.what;
    EXPECT_EQ(decoded.text, c.text) << c.what;
    EXPECT_EQ(decoded.whole, c.whole) << c.what;
    if (!c.whole) continue;
    std::vector<std::uint8_t> encoded;
    ASSERT_TRUE(EncodeProfileText(decoded.text, decoded.encoding, encoded)) << c.what;
    EXPECT_EQ(encoded, c.bytes) << c.what;
  }
}

// Text from elsewhere (a caller's name or value) goes into UTF-16 only when
// it is UTF-8 that reads back as itself; plain and UTF-8 files take it as
// it stands.
TEST(ProfileEncodingTest, RefusesForUtf16WhatDoesNotReadBackAsItself) {
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"continuation byte first", "k=\x80"},
      {"C0 lead (overlong)", "k=\xC0\xBD"},
      {"overlong three bytes", "k=\xE0\x80\xBD"},
      {"overlong four bytes", "k=\xF0\x80\x80\xBD"},
      {"beyond U+10FFFF", "k=\xF4\x90\x80\x80"},
      {"F5 lead", "k=\xF5\x80\x80\x80"},
      {"cut short by the end", "k=\xE6\x97"},
      {"cut short by ASCII", "k=\xE6\x97="},
      {"lone high then lone low (would read as a pair)", "\xED\xA0\x80\xED\xB0\x80"},
  };
  for (const auto& c : cases) {
    for (ProfileEncoding utf16 : {ProfileEncoding::kUtf16LeBom, ProfileEncoding::kUtf16BeBom}) {
      std::vector<std::uint8_t> bytes = {1, 2, 3};
      EXPECT_FALSE(EncodeProfileText(c.text, utf16, bytes)) << c.what;
      EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3})) << c.what;
    }
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(EncodeProfileText(c.text, ProfileEncoding::kPlain, bytes)) << c.what;
    EXPECT_EQ(bytes, Bytes(c.text)) << c.what;
    ASSERT_TRUE(EncodeProfileText(c.text, ProfileEncoding::kUtf8Bom, bytes)) << c.what;
    EXPECT_EQ(bytes, Bytes("\xEF\xBB\xBF" + c.text)) << c.what;
  }
}

// UTF-8 from outside becomes the UTF-16 the compiler makes of the same text.
TEST(ProfileEncodingTest, EncodesUtf8AsTheCompilerDoes) {
  const std::string utf8 =
      "[\xE8\xA8\xAD\xE5\xAE\x9A]\r\nk=\xC3\xA9\xE6\x97\xA5\xF0\x9F\x93\xB7\xF4\x8F\xBF\xBF\r\n";
  const std::u16string_view utf16 = u"[\u8A2D\u5B9A]\r\nk=\u00E9\u65E5\U0001F4F7\U0010FFFF\r\n";
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(EncodeProfileText(utf8, ProfileEncoding::kUtf16LeBom, bytes));
  EXPECT_EQ(bytes, Utf16(utf16, false));
  ASSERT_TRUE(EncodeProfileText(utf8, ProfileEncoding::kUtf16BeBom, bytes));
  EXPECT_EQ(bytes, Utf16(utf16, true));
}

}  // namespace
}  // namespace kx::platform
