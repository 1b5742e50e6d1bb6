// kxupdate --simulate update and what it makes of its settings: the
// --event-timeout values it takes and refuses, a settings file it cannot
// write, and how often it flushes the disk while packets are retried.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/kxupdate_runner.h"
#include "tests/scratch_dir.h"

namespace kx {
namespace {

using nlohmann::json;
using testing::Field;
using testing::Fields;
using testing::KxupdateRun;
using testing::KxupdateRunner;
using testing::ReadFileText;
using testing::RunCommand;
using testing::ScratchDir;
using testing::SourceDir;
using testing::WriteFileText;

// One board without pacing, older than the samples; `faults` after it.
void WriteBoard(const std::string& faults = "") {
  WriteFileText("board.ini",
                "[Driver]\nDelayMs=0\nStepPercent=25\n[Boards]\nBoard1=KX58-0001\n" + faults);
}

// The sample component files: with the board above, an update is needed.
void CopySamples() {
  for (const auto& entry : std::filesystem::directory_iterator(SourceDir() + "/samples")) {
    const std::string name = entry.path().filename();
    if (name.rfind("KX", 0) == 0) std::filesystem::copy_file(entry.path(), name);
  }
}

// kxupdate --simulate in the working directory with its board file,
// without a terminal.
KxupdateRunner Simulated() {
  const std::string dir = std::filesystem::current_path().string();
  KxupdateRunner runner(KXUPDATE_PATH);
  runner.Set("KXSIM_BOARD", dir + "/board.ini").Set("XDG_RUNTIME_DIR", dir);
  return runner;
}

KxupdateRun Kxupdate(const std::string& args) { return Simulated()("--simulate " + args); }

TEST(EventTimeoutTest, ValuesThatDoNotFitAreUsageErrors) {
  ScratchDir dir;
  WriteBoard();
  CopySamples();
  struct Case {
    const char* value;
    bool accepted;
  };
  const Case cases[] = {
      {"0", false},    {"-1", false},    {"nan", false},       {"inf", false},
      {"1e16", false}, {"1e300", false}, {"", false},          {"abc", false},
      {"5s", false},   {" 5", false},    {"2592000.5", false}, {"1e-400", false},
      {"1.5", true},   {"0.001", true},  {"2592000", true},    {"1e3", true},
  };
  for (const Case& c : cases) {
    // --check: up to the update decision, so an accepted value ends "ready".
    const KxupdateRun run =
        Simulated().Run({"--simulate", "update", "--check", "--event-timeout", c.value});
    if (c.accepted) {
      EXPECT_EQ(run.status, 0) << "'" << c.value << "': " << run.err;
      EXPECT_EQ(run.err.find("--event-timeout"), std::string::npos) << c.value;
    } else {
      EXPECT_EQ(run.status, 64) << "'" << c.value << "'";
      EXPECT_NE(run.err.find("kxupdate: --event-timeout wants a number of seconds above 0 and at "
                             "most 2592000 (30 days), not '" +
                             std::string(c.value) + "'"),
                std::string::npos)
          << run.err;
      // Refused before anything was looked at: no settings file written.
      EXPECT_FALSE(std::filesystem::exists("DERadori.ini")) << c.value;
    }
    std::filesystem::remove("DERadori.ini");
  }
}

// DERadori.ini is a folder, so every write of it fails: the update still
// completes, the log says once that the counts were not stored, and so do
// standard error and the JSON object.
TEST(SettingsFileTest, UnwritableSettingsAreToldAndTheUpdateCompletes) {
  ScratchDir dir;
  WriteBoard("[Fault FPGA1]\nRetries=5\n[Fault Firm(Boot)]\nRetries=2\n");
  CopySamples();
  std::filesystem::create_directory("DERadori.ini");
  const KxupdateRun run = Kxupdate("update --json");
  EXPECT_EQ(run.status, 0) << run.err;
  const json result = run.Json();
  EXPECT_EQ(Fields(result, {"outcome", "settings_written", "settings_error"}),
            json::array({"completed", false,
                         "FPGA1=0 could not be written to DERadori.ini (not a regular file but a "
                         "folder)"}));
  EXPECT_EQ(Fields(Field(result, "retries"), {"FPGA1", "FPGA2", "Firm(Appl)", "Firm(Boot)"}),
            json::array({5, 0, 0, 2}));
  EXPECT_EQ(Field(result, "log"),
            "Initializing.....Completed\r\nChecking the file.....Completed\r\n"
            "Opens the file.....Completed\r\nUpdates FPGA1.....Completed\r\n"
            "The retry counts could not be stored in DERadori.ini.\r\n"
            "Updates FPGA2.....Completed\r\nUpdates Firm(Appl).....Completed\r\n"
            "Updates Firm(Boot).....Completed\r\n");
  EXPECT_NE(run.err.find("kxupdate: warning: the retry counts could not be stored: FPGA1=0 could "
                         "not be written to DERadori.ini (not a regular file but a folder)"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(std::filesystem::is_directory("DERadori.ini"));
}

TEST(SettingsFileTest, WrittenSettingsSayTrue) {
  ScratchDir dir;
  WriteBoard("[Fault FPGA2]\nRetries=3\n");
  CopySamples();
  const KxupdateRun run = Kxupdate("update --json");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Fields(run.Json(), {"outcome", "settings_written", "settings_error"}),
            json::array({"completed", true, ""}));
  EXPECT_EQ(run.err.find("could not be stored"), std::string::npos) << run.err;
  EXPECT_NE(ReadFileText("DERadori.ini").find("FPGA2=3"), std::string::npos);
}

// How often the run flushes the disk, counted by strace: a retried packet's
// count is written without a flush, so a thousand of them cost no more
// flushes than none.
TEST(SettingsFileTest, RetriedPacketsAddNoFlushes) {
  if (RunCommand("strace -qq -o /dev/null true >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "strace cannot run here";
  }
  auto flushesOfARun = [](int retries) {
    ScratchDir dir;
    WriteBoard("[Fault FPGA1]\nRetries=" + std::to_string(retries) + "\n");
    CopySamples();
    // LeakSanitizer cannot work under ptrace: in a sanitizer build it stays off.
    const char* given = std::getenv("ASAN_OPTIONS");
    const std::string asan = given != nullptr ? given : "";
    const KxupdateRun run =
        Simulated()
            .Set("ASAN_OPTIONS", (asan.empty() ? "" : asan + ":") + "detect_leaks=0")
            .Through({"strace", "-f", "-qq", "-e", "trace=fsync,fdatasync,sync,syncfs", "-o",
                      "trace.txt"})
            .Run({"--simulate", "update", "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    const json result = run.Json();
    EXPECT_EQ(Field(result, "outcome"), "completed");
    EXPECT_EQ(Field(Field(result, "retries"), "FPGA1"), retries);
    int flushes = 0;
    const std::string trace = ReadFileText("trace.txt");
    for (std::size_t at = trace.find('\n'); at != std::string::npos;
         at = trace.find('\n', at + 1)) {
      ++flushes;
    }
    return flushes;
  };
  const int none = flushesOfARun(0);
  const int thousand = flushesOfARun(1000);
  EXPECT_GT(none, 0);  // the trace did see the run's flushes
  EXPECT_EQ(thousand, none);
}

}  // namespace
}  // namespace kx
