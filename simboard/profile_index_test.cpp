// The one-pass index of a board file reads every value as the platform's
// private-profile reader does: compared on fixed texts with the awkward
// cases, and on many texts made up at random from the pieces of a profile.
#include "simboard/profile_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/private_profile.h"

namespace kx::sim {
namespace {

// Every lookup of `sections` x `keys` gives what platform::ReadProfileValue gives.
void ExpectSameAsThePlatform(const std::string& text, const std::vector<std::string>& sections,
                             const std::vector<std::string>& keys) {
  const ProfileIndex index(text);
  for (const std::string& section : sections) {
    for (const std::string& key : keys) {
      bool found = false;
      const std::string expected = platform::ReadProfileValue(text, section, key, &found);
      const std::string* value = index.Find(section, key);
      ASSERT_EQ(value != nullptr, found) << "[" << section << "] " << key << " in:\n" << text;
      if (value != nullptr) {
        ASSERT_EQ(*value, expected) << "[" << section << "] " << key << " in:\n" << text;
      }
    }
  }
}

TEST(ProfileIndexTest, ReadsTheAwkwardCasesAsThePlatformDoes) {
  const std::string text =
      "Before=no section\r\n"
      "[Boards]\r\n"
      "Board1=KX58-0001\r\n"
      "  board2 =  'quoted'  \r\n"
      "BOARD3=\"x\"\n"
      "Board4='mismatched\"\n"
      "Board5=\n"
      "Board6\n"
      "Board1=second of a name\r"
      "; Board7=commented\n"
      "[no close\n"
      "Board8=after a broken header\n"
      "=nameless\n"
      "[ Board KX58-0001 ] trailing\n"
      "Version3 = V01.02.00\x1A\n"
      "\t[Boards]\n"
      "Board9=in a later section of the name\n"
      "[Empty]\n"
      "[]\n"
      "Key=in a nameless section\n"
      "[boards]\n"
      "Board10=later still";
  ExpectSameAsThePlatform(text,
                          {"Boards", "boards", " Boards ", "Board KX58-0001", "board kx58-0001",
                           "Empty", "", " ", "Missing", "[Boards]", "Boards\nBoard1"},
                          {"Board1", "board2", "Board3", "Board4", "Board5", "Board6", "Board7",
                           "Board8", "Board9", "Board10", "Version3", " version3\t", "", "Before",
                           "Key", "; Board7", "=nameless", "Board1\nBoard2"});
}

TEST(ProfileIndexTest, ReadsMadeUpTextsAsThePlatformDoes) {
  // Pieces that the reading rules treat differently, put together at random.
  const std::vector<std::string> pieces = {"[A]",     "[a]",          "[ B ]", "[B] x",    "[C",
                                           "[]",      "k=1",          "K = 2", "k2=\"q\"", "k2='q'",
                                           "k3='q\"", "k3",           "=v",    ";k=c",     " ;k=c",
                                           "k=",      "k2=x=y",       "\x1A",  "",         " ",
                                           "\t",      "k =  spaced  "};
  const std::vector<std::string> ends = {"\n", "\r\n", "\r", "\n\n"};
  std::mt19937 random(20250101);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int lines = static_cast<int>(random() % 12);
    for (int i = 0; i < lines; ++i) {
      text += pieces[random() % pieces.size()];
      text += ends[random() % ends.size()];
    }
    if (random() % 2 == 0 && !text.empty()) text.pop_back();  // a last line without its end
    ExpectSameAsThePlatform(text, {"A", "a", "B", "C", "", "[B] x"},
                            {"k", "K", "k2", "k3", "", "k2=x", ";k"});
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace kx::sim
