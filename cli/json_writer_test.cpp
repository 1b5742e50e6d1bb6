// JsonWriter: text that any JSON reader takes, with every character kept.
#include "cli/json_writer.h"

#include <gtest/gtest.h>

#include "tests/scratch_dir.h"

namespace kx::cli {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(JsonQuoteTest, EscapesAndUtf8) {
  struct Case {
    const char* what;
    std::string text;
    std::string quoted;
  };
  const Case cases[] = {
      {"plain", "abc", "\"abc\""},
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
      {"line ends and tab", "a\r\nb\tc", "\"a\\r\\nb\\tc\""},
      {"other control bytes", std::string("\x01\x1b[0m\x7f", 6), "\"\\u0001\\u001b[0m\x7f\""},
      {"zero byte", std::string("a\0b", 3), "\"a\\u0000b\""},
      {"two-byte character", "\xC3\xA9", "\"\xC3\xA9\""},
      {"Japanese", "\xE3\x82\xA2", "\"\xE3\x82\xA2\""},
      {"last before surrogates", "\xED\x9F\xBF", "\"\xED\x9F\xBF\""},
      {"four-byte character", "\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
      {"highest code point", "\xF4\x8F\xBF\xBF", "\"\xF4\x8F\xBF\xBF\""},
      // Each byte of a sequence that is not a character becomes U+FFFD.
      {"lone continuation byte", "\x80", "\"" + kReplacement + "\""},
      {"cut sequence at the end", "a\xE3\x82", "\"a" + kReplacement + kReplacement + "\""},
      {"overlong two-byte", "\xC0\xAF", "\"" + kReplacement + kReplacement + "\""},
      {"overlong three-byte", "\xE0\x80\xAF", "\"" + kReplacement + kReplacement + kReplacement + "\""},
      {"high surrogate", "\xED\xA0\x80", "\"" + kReplacement + kReplacement + kReplacement + "\""},
      {"low surrogate", "\xED\xBF\xBF", "\"" + kReplacement + kReplacement + kReplacement + "\""},
      {"overlong four-byte", "\xF0\x80\x80\x80",
       "\"" + kReplacement + kReplacement + kReplacement + kReplacement + "\""},
      {"above U+10FFFF", "\xF4\x90\x80\x80",
       "\"" + kReplacement + kReplacement + kReplacement + kReplacement + "\""},
      {"lead F5", "\xF5\x80", "\"" + kReplacement + kReplacement + "\""},
  };
  for (const Case& c : cases) EXPECT_EQ(JsonQuote(c.text), c.quoted) << c.what;
}

TEST(JsonWriterTest, NestingCommasAndNumbers) {
  JsonWriter out;
  out.BeginObject()
      .Key("a").Number(std::int64_t{-3})
      .Key("b").BeginArray().Bool(true).Null().Number(0.5).Number(1.0 / 0.0).EndArray()
      .Key("c").BeginObject().EndObject()
      .Key("d").BeginArray().BeginObject().Key("x").String("y").EndObject().BeginArray().EndArray().EndArray()
      .EndObject();
  EXPECT_EQ(out.text(), R"({"a":-3,"b":[true,null,0.5,null],"c":{},"d":[{"x":"y"},[]]})");
}

// Python's json module, reading the bytes as strict UTF-8, takes what the
// writer made of every odd input and gets each valid character back.
TEST(JsonWriterTest, PythonReadsEveryString) {
  testing::ScratchDir dir;
  JsonWriter out;
  out.BeginArray();
  for (const std::string& text :
       {std::string("\xED\xA0\x80\xED\xB0\x80"), std::string("\xF4\x90\x80\x80"),
        std::string("ok \xE3\x82\xA2 \xF0\x9F\x98\x80", 11), std::string("\x1b]0;title\x07"),
        std::string("\xFF\xFE", 2)}) {
    out.String(text);
  }
  out.EndArray();
  testing::WriteFileText("out.json", out.text());
  int status = -1;
  const std::string read = testing::CaptureCommand(
      "python3 -c \"import json; v = json.loads(open('out.json', 'rb').read().decode('utf-8'));"
      " print(ascii(v))\" 2>&1",
      &status);
  EXPECT_EQ(status, 0) << read;
  EXPECT_EQ(read,
            "['\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd', '\\ufffd\\ufffd\\ufffd\\ufffd', "
            "'ok \\u30a2 \\U0001f600', '\\x1b]0;title\\x07', '\\ufffd\\ufffd']\n");
}

}  // namespace
}  // namespace kx::cli
