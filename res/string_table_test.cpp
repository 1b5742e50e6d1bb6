#include "res/string_table.h"
#include "tests/text_checks.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kx {
namespace {
using testing::IsValidUtf8;

constexpr Language kLanguages[] = {Language::kEnglish, Language::kJapanese};

// Every id that a dialog, message box or log line of the updater loads.
constexpr int kUsedIds[] = {101, 102, 103, 104, 105, 106, 107, 204, 205, 206, 207,
                            301, 302, 303, 401, 403, 404, 405, 406, 408, 410, 411,
                            412, 413, 414, 415, 416, 417, 418, 419, 420, 421, 430, 440, 441,
                            442, 443, 444, 445, 446, 447, 501, 502,
                            503, 504, 505, 506, 507, 508, 509, 510, 601};

// Ids that sit among the used ones but have no text.
constexpr int kIdsWithoutEntry[] = {0, -1, 100, 108, 203, 208, 402, 407, 409, 422, 429, 431, 511, 602};


TEST(StringTableTest, Utf8CheckRejectsBrokenSequences) {
  EXPECT_TRUE(IsValidUtf8("完了\r\n"));
  EXPECT_FALSE(IsValidUtf8("\xE5\xAE"));      // cut inside a character
  EXPECT_FALSE(IsValidUtf8("\x82\xA0"));      // code page 932, not UTF-8
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
}

struct ExactText {
  int id;
  const char* english;
  const char* japanese;
};

// Texts as the user reads them, with their odd spacing and spelling.
constexpr ExactText kExactTexts[] = {
    {401,
     "PCI-board does not insert, or PCI-board is not recognized. \nUpdate is exited.\n"
     "(Error Code:01)",
     "PCIボードが挿さっていないかPCIボードを認識していません。\nアップデートを終了します。\n"
     "（ｴﾗｰｺｰﾄﾞ:01）"},
    {403, "Update file does not open.\n Exits update.\n(Error Code:03)",
     "アップデートファイルが開けません。\nアップデートを終了します。\n（ｴﾗｰｺｰﾄﾞ:03）"},
    {404, "Update file is wrong. Exits update.\n(Error Code:04)",
     "アップデートファイルが正しくありません。アップデートを終了します。\n（ｴﾗｰｺｰﾄﾞ:04）"},
    {406,
     "Failed update.\nPlease contact support whether it updates again after reboot.\n"
     "(Error Code:06)",
     "アップデートに失敗しました。\n再起動後に再度アップデートするかサポートに連絡して下さい。\n"
     "（ｴﾗｰｺｰﾄﾞ:06)"},
    {408,
     "The file name of load module file is not corresponding to the kind of file.\n"
     "Please confirm the file name and the kind of file.\n(Error Code:08)",
     "ロードモジュールファイルのファイル名とファイルの種類が一致しません。\n"
     "ファイル名とファイルの種類を確認してください。\n（ｴﾗｰｺｰﾄﾞ:08）"},
    {410, "It is not necessary to update it. Update is exited. ",
     "アップデートする必要はありません。アップデートを終了します。"},
    {107, "KX58 update completed.\nPlease reboot the computer to make update effective.",
     "KX58アップデートは正常に終了しました。\n"
     "アップデートを有効にするにはコンピュータを再起動してください。"},
    {501, "Completed\r\n", "完了\r\n"},
    {502, "Initializing.....", "初期化しています....."},
    {508, "Failuer.", "失敗"},
    {509, "Cancel", "キャンセル"},
    {204, "Please click [Start] to make update start.",
     "アップデートを開始するには［スタート］をクリックしてください。"},
    {205, "It is updating. Please do not turn off power.",
     "アップデートしています。電源を切らないで下さい。"},
    {207, "Update is canceled.", "アップデートはキャンセルされました。"},
    {302, "Cancel", "キャンセル"},
    {303, "Start", "スタート"},
    {601, "Select the PCI-board", "PCIボード選択"},
    {103,
     " - Please do not end update on the way, and do not operate other application. It might "
     "cause the breakdown of the PCI-board.",
     "　- アップデートを途中で終了したり、他のアプリケーションを操作しないでください。\n"
     "　　PCIボードの故障の原因になる場合があります。"},
};

TEST(StringTableTest, TextsAreExact) {
  for (const ExactText& expected : kExactTexts) {
    EXPECT_EQ(LoadString(expected.id, Language::kEnglish), expected.english) << expected.id;
    EXPECT_EQ(LoadString(expected.id, Language::kJapanese), expected.japanese) << expected.id;
  }
}

// The same characters spelled as code points, so that an editor that
// normalises the source (half-width to full-width katakana, U+3000 to a
// plain space) shows up here.
TEST(StringTableTest, CharacterWidthsSurviveInTheSource) {
  const std::string error_code = "\uFF74\uFF97\uFF70\uFF7A\uFF70\uFF84\uFF9E:";  // ｴﾗｰｺｰﾄﾞ:
  EXPECT_TRUE(LoadString(401, Language::kJapanese).ends_with("\uFF08" + error_code + "01\uFF09"));
  EXPECT_TRUE(LoadString(406, Language::kJapanese).ends_with("\uFF08" + error_code + "06)"));
  EXPECT_TRUE(LoadString(103, Language::kJapanese).starts_with("\u3000- "));
  EXPECT_NE(LoadString(103, Language::kJapanese).find("\n\u3000\u3000PCI"), std::string::npos);
  for (int id : {104, 105}) {
    EXPECT_TRUE(LoadString(id, Language::kJapanese).starts_with("\u3000- ")) << id;
    EXPECT_TRUE(LoadString(id, Language::kEnglish).starts_with(" - ")) << id;
  }
  // Full-width brackets around the button names: ［次へ］ and ［スタート］.
  EXPECT_NE(LoadString(106, Language::kJapanese).find("\uFF3B\u6B21\u3078\uFF3D"),
            std::string::npos);
  EXPECT_NE(LoadString(204, Language::kJapanese).find("\uFF3B\u30B9\u30BF\u30FC\u30C8\uFF3D"),
            std::string::npos);
}

// Only the completion mark of the log carries CR LF (the log view is a
// Windows-style multi-line edit); message boxes and dialog texts break lines
// with LF alone.
TEST(StringTableTest, OnlyTheCompletionMarkHasCarriageReturns) {
  EXPECT_TRUE(LoadString(501, Language::kEnglish).ends_with("\r\n"));
  EXPECT_TRUE(LoadString(501, Language::kJapanese).ends_with("\r\n"));
  for (const StringEntry& entry : AllStrings()) {
    if (entry.id == 501) {
      continue;
    }
    for (Language language : kLanguages) {
      EXPECT_EQ(entry.Text(language).find('\r'), std::string_view::npos) << entry.id;
    }
  }
  for (int id : {401, 403, 404, 406, 408, 107}) {
    for (Language language : kLanguages) {
      EXPECT_NE(LoadString(id, language).find('\n'), std::string::npos) << id;
    }
  }
}

TEST(StringTableTest, StepLinesEndInFiveDots) {
  for (int id : {502, 503, 504, 505, 506, 507, 510}) {
    for (Language language : kLanguages) {
      EXPECT_TRUE(LoadString(id, language).ends_with(".....")) << id;
    }
  }
}

TEST(StringTableTest, EveryTextIsValidUtf8) {
  for (const StringEntry& entry : AllStrings()) {
    for (Language language : kLanguages) {
      EXPECT_TRUE(IsValidUtf8(entry.Text(language))) << entry.id;
    }
  }
}

TEST(StringTableTest, EveryUsedIdHasBothLanguages) {
  for (int id : kUsedIds) {
    ASSERT_NE(FindString(id), nullptr) << id;
    EXPECT_EQ(FindString(id)->id, id);
    for (Language language : kLanguages) {
      EXPECT_FALSE(LoadString(id, language).empty()) << id;
    }
  }
}

TEST(StringTableTest, IdWithoutEntryGivesEmptyText) {
  for (int id : kIdsWithoutEntry) {
    EXPECT_EQ(FindString(id), nullptr) << id;
    for (Language language : kLanguages) {
      EXPECT_EQ(LoadString(id, language), "") << id;
    }
  }
}

// Our own messages: every field the dialog fills is in both languages, and
// each ends as every message that stops the update does.
TEST(StringTableTest, OwnMessagesCarryTheirFieldsInBothLanguages) {
  struct Case {
    int id;
    std::vector<std::string> fields;
    bool endsWithCode = true;
  };
  const Case cases[] = {
      {411, {"{board}", "{pid}"}},
      {412, {"{seconds}"}, false},
      {413, {"{board}"}},
      {414, {"{folder}"}},
      {415, {"{folder}"}},
      {416, {"{file}"}},
      {417, {"{board}", "{folder}"}},
      {418, {"{file}", "{error}"}},
      {419, {"{board}"}},
      {420, {"{boards}", "--board ID"}},
      {444, {"{label}"}, false},
      {445, {"{count}"}, false},
      {446, {"{answer}", "{count}"}, false},
      {447, {"{answer}", "{count}"}, false},
  };
  for (const Case& c : cases) {
    for (Language language : kLanguages) {
      const std::string text = LoadString(c.id, language);
      for (const std::string& field : c.fields) {
        EXPECT_NE(text.find(field), std::string::npos) << c.id << " " << field << ": " << text;
      }
      EXPECT_EQ(text.find("{pid}") != std::string::npos, c.id == 411) << c.id;
      if (c.endsWithCode) {
        const std::string_view tail =
            language == Language::kEnglish ? "\n(Error Code:01)" : "\n（ｴﾗｰｺｰﾄﾞ:01）";
        EXPECT_TRUE(text.size() > tail.size() &&
                    text.compare(text.size() - tail.size(), tail.size(), tail) == 0)
            << c.id << ": " << text;
      }
    }
  }
}

TEST(StringTableTest, AllStringsAscendAndAgreeWithLookup) {
  const auto all = AllStrings();
  ASSERT_FALSE(all.empty());
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i > 0) {
      EXPECT_LT(all[i - 1].id, all[i].id);
    }
    EXPECT_EQ(FindString(all[i].id), &all[i]);
  }
}

}  // namespace
}  // namespace kx
