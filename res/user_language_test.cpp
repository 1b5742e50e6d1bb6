#include "res/user_language.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace kx {
namespace {

constexpr const char* kVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

// Clears the four variables for the test and puts back what the process had.
class UiLanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      saved_.push_back(value == nullptr ? std::nullopt : std::optional<std::string>(value));
      ::unsetenv(name);
    }
  }

  void TearDown() override {
    for (std::size_t i = 0; i < std::size(kVariables); ++i) {
      if (saved_[i]) {
        ::setenv(kVariables[i], saved_[i]->c_str(), 1);
      } else {
        ::unsetenv(kVariables[i]);
      }
    }
  }

  // nullptr leaves a variable unset; "" sets it to the empty string.
  static void SetAll(const char* language, const char* lc_all, const char* lc_messages,
                     const char* lang) {
    const char* values[] = {language, lc_all, lc_messages, lang};
    for (std::size_t i = 0; i < std::size(kVariables); ++i) {
      if (values[i] == nullptr) {
        ::unsetenv(kVariables[i]);
      } else {
        ::setenv(kVariables[i], values[i], 1);
      }
    }
  }

 private:
  std::vector<std::optional<std::string>> saved_;
};

struct EnvironmentCase {
  const char* language;
  const char* lc_all;
  const char* lc_messages;
  const char* lang;
  Language expected;
};

constexpr Language kEn = Language::kEnglish;
constexpr Language kJa = Language::kJapanese;

constexpr EnvironmentCase kCases[] = {
    // LANGUAGE, LC_ALL, LC_MESSAGES, LANG (nullptr: unset), then the language expected.
    {nullptr, nullptr, nullptr, nullptr, kEn},  // nothing set
    {nullptr, nullptr, nullptr, "ja_JP.UTF-8", kJa},
    {nullptr, nullptr, nullptr, "ja_JP", kJa},
    {nullptr, nullptr, nullptr, "ja", kJa},
    {nullptr, nullptr, nullptr, "ja-JP", kJa},
    {nullptr, nullptr, nullptr, "japanese", kJa},
    {nullptr, nullptr, nullptr, "en_US.UTF-8", kEn},
    {nullptr, nullptr, nullptr, "C", kEn},
    {nullptr, nullptr, nullptr, "POSIX", kEn},
    {nullptr, nullptr, nullptr, "C.UTF-8", kEn},
    {nullptr, nullptr, nullptr, "de_DE", kEn},
    // Each variable overrides the ones after it.
    {nullptr, nullptr, "ja_JP.UTF-8", "en_US.UTF-8", kJa},
    {nullptr, nullptr, "en_US.UTF-8", "ja_JP.UTF-8", kEn},
    {nullptr, "ja_JP.UTF-8", "en_US", "en_US", kJa},
    {nullptr, "C", "ja_JP", "ja_JP", kEn},
    {"ja:en", "en_US.UTF-8", nullptr, nullptr, kJa},
    {"en:ja", nullptr, nullptr, "ja_JP.UTF-8", kEn},
    {"ja", "C", "C", "C", kJa},
    // An empty variable counts as unset.
    {"", "", "", "ja_JP.UTF-8", kJa},
    {"", "", "", "", kEn},
    {nullptr, "", "ja_JP", nullptr, kJa},
    // Only LANGUAGE's first real entry counts.
    {":ja:en", nullptr, nullptr, "en_US", kJa},
    {"::", nullptr, nullptr, "ja_JP", kJa},
    {"en_GB:ja", nullptr, nullptr, nullptr, kEn},
};

TEST_F(UiLanguageTest, FollowsThePosixOrder) {
  for (const EnvironmentCase& c : kCases) {
    SetAll(c.language, c.lc_all, c.lc_messages, c.lang);
    EXPECT_EQ(UserInterfaceLanguage(), c.expected)
        << "LANGUAGE=" << (c.language ? c.language : "(unset)")
        << " LC_ALL=" << (c.lc_all ? c.lc_all : "(unset)")
        << " LC_MESSAGES=" << (c.lc_messages ? c.lc_messages : "(unset)")
        << " LANG=" << (c.lang ? c.lang : "(unset)");
  }
}

TEST(ParseLanguageTest, AcceptsExactlyEnAndJa) {
  EXPECT_EQ(ParseLanguage("en"), Language::kEnglish);
  EXPECT_EQ(ParseLanguage("ja"), Language::kJapanese);
  for (const char* text : {"", "EN", "JA", "jp", "english", "ja_JP", "en ", " ja", "e"}) {
    EXPECT_EQ(ParseLanguage(text), std::nullopt) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace kx
