// The command line's words split into positional words and options.
#include "cli/arguments.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace kx::cli {
namespace {

using Words = std::vector<std::string>;
using Options = std::map<std::string, std::string>;  // name: value ("" for a flag)

const std::set<std::string> kFlags = {"json", "yes"};
const std::set<std::string> kValued = {"board", "out", "date"};

struct Case {
  const char* name;
  Words words;
  std::string error;  // "" when the line is good
  Words positional = {};
  Options options = {};
};

const Case kCases[] = {
    // --- options and their values ---
    {"Flag", {"--json"}, "", {}, {{"json", ""}}},
    {"ValueAfterEquals", {"--board=KX58-0001"}, "", {}, {{"board", "KX58-0001"}}},
    {"ValueAsNextWord", {"--board", "KX58-0001"}, "", {}, {{"board", "KX58-0001"}}},
    {"EmptyValueAfterEquals", {"--board="}, "", {}, {{"board", ""}}},
    {"EmptyNextWordIsAValue", {"--board", ""}, "", {}, {{"board", ""}}},
    {"OnlyTheFirstEqualsSplits", {"--out=a=b"}, "", {}, {{"out", "a=b"}}},
    {"NextWordIsTheValueEvenWhenItLooksLikeAnOption",
     {"--board", "--json"},
     "",
     {},
     {{"board", "--json"}}},
    {"DashOIsOut", {"-o", "parts"}, "", {}, {{"out", "parts"}}},
    {"FlagsAndValuesTogether",
     {"--yes", "--date", "2026-12-11", "--json", "-o", "x"},
     "",
     {},
     {{"yes", ""}, {"date", "2026-12-11"}, {"json", ""}, {"out", "x"}}},
    // --- repeated options: the last one counts ---
    {"RepeatedValueLastCounts", {"--board", "A", "--board=B"}, "", {}, {{"board", "B"}}},
    {"DashOAndOutAreOneOption", {"--out", "a", "-o", "b"}, "", {}, {{"out", "b"}}},
    {"RepeatedFlag", {"--json", "--json"}, "", {}, {{"json", ""}}},
    // --- positional words ---
    {"WordsBetweenOptionsKeepTheirOrder",
     {"inspect", "--json", "DERadori.kx", "--board", "B", "more"},
     "",
     {"inspect", "DERadori.kx", "more"},
     {{"json", ""}, {"board", "B"}}},
    {"LoneDashSingleDashWordAndEmptyWordAreWords", {"-", "-x", ""}, "", {"-", "-x", ""}},
    {"DoubleDashEndsTheOptions",
     {"--json", "--", "--yes", "-o", "x", "--bogus"},
     "",
     {"--yes", "-o", "x", "--bogus"},
     {{"json", ""}}},
    {"DoubleDashLast", {"a", "--"}, "", {"a"}},
    {"DoubleDashAsAValue", {"--board", "--", "--json"}, "", {}, {{"board", "--"}, {"json", ""}}},
    // --- errors ---
    {"UnknownOption", {"--bogus"}, "unknown option --bogus"},
    {"UnknownOptionWithAValue", {"--bogus=1"}, "unknown option --bogus"},
    {"NamesKeepTheirLetterCase", {"--JSON"}, "unknown option --JSON"},
    {"MissingValue", {"--json", "--board"}, "option --board needs a value"},
    {"MissingValueAfterDashO", {"x", "-o"}, "option --out needs a value"},
    {"ValueGivenToAFlag", {"--json=1"}, "option --json takes no value"},
    {"EmptyValueGivenToAFlag", {"--yes="}, "option --yes takes no value"},
    {"FirstFaultIsNamed", {"--bogus", "--board"}, "unknown option --bogus"},
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.name; }

class ArgumentsTest : public ::testing::TestWithParam<Case> {};

TEST_P(ArgumentsTest, SplitsTheWords) {
  const Case& c = GetParam();
  const Arguments args(c.words, kFlags, kValued);
  EXPECT_EQ(args.error(), c.error);
  EXPECT_EQ(args.ok(), c.error.empty());
  if (!c.error.empty()) return;
  EXPECT_EQ(args.positional(), c.positional);
  for (const std::set<std::string>* names : {&kFlags, &kValued}) {
    for (const std::string& name : *names) {
      const auto expected = c.options.find(name);
      const std::optional<std::string> value =
          expected == c.options.end() ? std::nullopt : std::optional(expected->second);
      EXPECT_EQ(args.Has(name), value.has_value()) << name;
      EXPECT_EQ(args.Value(name), value) << name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, ArgumentsTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A command that takes neither flags nor valued options: every option is
// unknown, every other word positional.
TEST(ArgumentsTest, CommandWithoutOptions) {
  EXPECT_EQ(Arguments({"a", "b"}, {}, {}).positional(), (Words{"a", "b"}));
  EXPECT_EQ(Arguments({"a", "--json"}, {}, {}).error(), "unknown option --json");
  EXPECT_EQ(Arguments({"-o", "x"}, {}, {}).error(), "unknown option --out");
}

}  // namespace
}  // namespace kx::cli
