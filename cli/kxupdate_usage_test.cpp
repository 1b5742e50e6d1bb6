// kxupdate's own words: --version, help, --help and usage errors.
#include <gtest/gtest.h>

#include <regex>

#include "res/product_version.h"
#include "tests/kxupdate_runner.h"
#include "tests/scratch_dir.h"

namespace kx {
namespace {

using CommandRun = testing::KxupdateRun;

CommandRun Kxupdate(std::string_view args) { return testing::KxupdateRunner(KXUPDATE_PATH)(args); }

TEST(KxupdateVersionTest, BothSpellingsPrintTheProjectVersion) {
  testing::ScratchDir dir;
  for (const char* spelling : {"--version", "-V", "--simulate --version"}) {
    CommandRun run = Kxupdate(spelling);
    EXPECT_EQ(run.status, 0) << spelling;
    EXPECT_EQ(run.out, std::string("kxupdate ") + kProductVersion + "\n") << spelling;
  }
  EXPECT_TRUE(std::regex_match(kProductVersion, std::regex(R"(\d+\.\d+\.\d+)")));
  EXPECT_EQ(std::string(kProductVersion).rfind(kProductVersionShort, 0), 0u);
}

// Each command's help, however asked for, is its usage with every option it
// takes, on standard output, exit 0.
TEST(KxupdateHelpTest, EveryCommandsHelpNamesEachOption) {
  testing::ScratchDir dir;
  struct Case {
    const char* command;
    std::vector<const char*> options;
  };
  const Case cases[] = {
      {"update", {"--board", "--yes", "--no", "--check", "--json", "--log-file", "--event-timeout"}},
      {"boards", {"--json"}},
      {"versions", {"--board", "--json"}},
      {"errors", {"CODE", "--json"}},
      {"package", {"inspect", "verify", "build", "extract"}},
      {"package inspect", {"FILE", "--json"}},
      {"package verify", {"FILE"}},
      {"package build", {"DIR", "--date"}},
      {"package extract", {"FILE", "--out"}},
      {"srec", {"FILE", "--out"}},
  };
  for (const Case& c : cases) {
    const std::string command = c.command;
    const std::string usage = "usage: kxupdate " + command;
    for (const std::string& asked : {"help " + command, command + " --help", command + " -h"}) {
      CommandRun run = Kxupdate(asked);
      EXPECT_EQ(run.status, 0) << asked << "\n" << run.err;
      EXPECT_EQ(run.out.rfind(usage, 0), 0u) << asked << ":\n" << run.out;
      for (const char* option : c.options) {
        EXPECT_NE(run.out.find(option), std::string::npos) << asked << " lacks " << option;
      }
      for (const char* global : {"--driver", "--simulate", "--lang"}) {
        EXPECT_NE(run.out.find(global), std::string::npos) << asked << " lacks " << global;
      }
      EXPECT_EQ(run.err, "") << asked;
    }
  }
}

// A usage error names what was wrong, then the command's usage line; exit 64.
TEST(KxupdateUsageTest, ErrorsNameTheCauseAndShowTheUsage) {
  testing::ScratchDir dir;
  struct Case {
    const char* args;
    const char* message;
    const char* usage;  // how the usage that follows begins
  };
  const Case cases[] = {
      {"update --bogus", "kxupdate: unknown option --bogus\n", "usage: kxupdate update [--board ID]"},
      {"update --log-file", "kxupdate: option --log-file needs a value\n", "usage: kxupdate update"},
      {"update --board", "kxupdate: option --board needs a value\n", "usage: kxupdate update"},
      {"update --json=1", "kxupdate: option --json takes no value\n", "usage: kxupdate update"},
      {"update extra", "kxupdate: update takes no arguments\n", "usage: kxupdate update"},
      {"update --yes --no", "kxupdate: --yes and --no exclude each other\n", "usage: kxupdate update"},
      {"boards --bogus", "kxupdate: unknown option --bogus\n", "usage: kxupdate boards [--json]"},
      {"versions --board", "kxupdate: option --board needs a value\n", "usage: kxupdate versions"},
      {"errors 1 2", "kxupdate: errors takes at most one code\n", "usage: kxupdate errors"},
      {"errors x1", "kxupdate: 'x1' is not an error code\n", "usage: kxupdate errors"},
      {"package", "kxupdate: package needs a subcommand", "usage: kxupdate package inspect"},
      {"package frob", "kxupdate: unknown package subcommand 'frob'\n", "usage: kxupdate package inspect"},
      {"package build --date", "kxupdate: option --date needs a value\n", "usage: kxupdate package build"},
      {"package extract", "kxupdate: package extract wants [FILE] and --out DIR\n",
       "usage: kxupdate package extract"},
      {"srec in.s", "kxupdate: srec needs -o OUT", "usage: kxupdate srec FILE -o OUT"},
      {"srec -o out.bin", "kxupdate: srec takes one S-record FILE\n", "usage: kxupdate srec"},
      {"frob", "kxupdate: unknown command 'frob'\n", "usage: kxupdate [--driver LIB"},
      {"help frob", "kxupdate: no command 'frob'\n", "usage: kxupdate [--driver LIB"},
      {"--lang fr update", "kxupdate: --lang takes en or ja\n", ""},
      {"", "", "usage: kxupdate [--driver LIB"},
  };
  for (const Case& c : cases) {
    CommandRun run = Kxupdate(c.args);
    EXPECT_EQ(run.status, 64) << c.args;
    EXPECT_EQ(run.out, "") << c.args;
    EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << c.args << ":\n" << run.err;
    const std::size_t usage = run.err.find("usage: ");
    if (*c.usage == '\0') continue;
    ASSERT_NE(usage, std::string::npos) << c.args << ":\n" << run.err;
    EXPECT_EQ(run.err.compare(usage, std::string(c.usage).size(), c.usage), 0) << c.args << ":\n" << run.err;
    EXPECT_EQ(run.err.find("usage: ", usage + 1), std::string::npos)
        << c.args << ": the usage is printed twice:\n" << run.err;
  }
}

}  // namespace
}  // namespace kx
