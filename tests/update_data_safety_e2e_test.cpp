// kxupdate --simulate against update data that is damaged, empty, huge or
// no file at all, and --check against a folder that must not change. Each
// case works in a folder work/ of its scratch folder; the simulated board's
// file and the lock files lie beside it, so that a snapshot of work/ sees
// only what the tool does to the update folder. Every run is guarded: one
// still running after a minute is killed and fails the test.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/child_process.h"
#include "tests/kxupdate_runner.h"
#include "tests/package_fixture.h"
#include "tests/scratch_dir.h"
#include "tests/srecord_fixture.h"

namespace kx {
namespace {

using nlohmann::json;
using testing::Field;
using testing::Fields;
using testing::FixturePackage;
using testing::KxupdateRun;
using testing::KxupdateRunner;
using testing::PatternBytes;
using testing::ReadFileBytes;
using testing::ReadFileText;
using testing::ScratchDir;
using testing::SnapshotFolder;
using testing::SRecordText;
using testing::StoredPackage;
using testing::WriteFileBytes;
using testing::WriteFileText;

using Bytes = std::vector<std::uint8_t>;

const std::string kBoard = "[Driver]\nDelayMs=0\nStepPercent=25\n[Boards]\nBoard1=KX58-0001\n";

// A scratch folder with work/ (the update folder), board.ini and run/ (the
// lock files) side by side.
class Folder {
 public:
  Folder() {
    std::filesystem::create_directory("work");
    std::filesystem::create_directory("run");
    WriteFileText("board.ini", kBoard);
    root_ = std::filesystem::current_path().string();
  }
  std::string Path(const std::string& name) const { return root_ + "/" + name; }
  std::string Work(const std::string& name) const { return Path("work/" + name); }

  // kxupdate --simulate ARGS in work/. `through` goes before the program
  // (another user, say); `board` is the simulated board's file.
  KxupdateRun Kxupdate(const std::string& args, const std::vector<std::string>& through = {},
                       const std::string& board = "") const {
    return KxupdateRunner(KXUPDATE_PATH)
        .In(Path("work"))
        .Set("KXSIM_BOARD", board.empty() ? Path("board.ini") : board)
        .Set("XDG_RUNTIME_DIR", Path("run"))
        .Through(through)
        .Guard(60)("--simulate " + args);
  }

 private:
  std::string root_;
};

// The update folder's snapshot but for the settings file, which every run
// but --check writes.
std::vector<std::string> UpdateFiles(const Folder& folder) {
  std::vector<std::string> files = SnapshotFolder(folder.Path("work"));
  std::erase_if(files, [](const std::string& file) { return file.rfind("DERadori.ini ", 0) == 0; });
  return files;
}

// Lets another user than root run the tool on `folder`: the board's and the
// lock files' folders become theirs to write, the update folder stays
// root's, read-only to them. The words that run a command as that user
// (none when the tests do not run as root: the update folder is made
// read-only instead).
std::vector<std::string> AsAnotherUser(const Folder& folder, bool readOnlyUpdateFolder) {
  if (geteuid() != 0) {
    if (readOnlyUpdateFolder) {
      EXPECT_EQ(chmod(folder.Path("work").c_str(), 0555), 0);
    }
    return {};
  }
  EXPECT_EQ(chmod(folder.Path("").c_str(), 0777), 0);
  EXPECT_EQ(chmod(folder.Path("run").c_str(), 0777), 0);
  EXPECT_EQ(chmod(folder.Path("work").c_str(), 0755), 0);
  EXPECT_EQ(chown(folder.Path("board.ini").c_str(), 65534, 65534), 0);
  return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
}

// A package of all four components: FPGA1 and Firm(Appl) newer than the
// simulated board's, the rest older or the same.
Bytes FullPackage() {
  FixturePackage parts = {{{"1_2_0", PatternBytes(4000, 1)},
                           {"1_0_0", PatternBytes(3000, 2)},
                           {"1_1_0", PatternBytes(2000, 3)},
                           {"1_0_0", PatternBytes(1000, 4)}}};
  return StoredPackage(parts, 20261211);
}

// ---------------------------------------------------------------- a package that does not load

// A package that is there but does not load is never rebuilt into one of
// the component files alone: error 03, and the file stays byte for byte.
TEST(UpdateDataSafetyTest, PackageThatDoesNotLoadIsNotReplaced) {
  struct Case {
    const char* what;
    bool unreadable;  // mode 600, and the tool runs as another user
    std::string told;
  };
  const Case cases[] = {
      {"one byte appended", false, "DERadori.kx: 10257 bytes, but its header states"},
      {"unreadable", true, "DERadori.kx: permission denied; not read"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    Folder folder;
    Bytes package = FullPackage();
    if (!c.unreadable) package.push_back(0);
    WriteFileBytes(folder.Work("DERadori.kx"), package);
    WriteFileBytes(folder.Work("KXFPGA2v09_00_00.rbf"), PatternBytes(500, 9));
    std::vector<std::string> through;
    if (c.unreadable) {
      ASSERT_EQ(chmod(folder.Work("DERadori.kx").c_str(), geteuid() == 0 ? 0600 : 0), 0);
      through = AsAnotherUser(folder, false);
    }
    const auto before = UpdateFiles(folder);
    const KxupdateRun run = folder.Kxupdate("update --json", through);
    EXPECT_EQ(run.status, 3) << c.what << "\n" << run.err;
    EXPECT_EQ(Fields(run.Json(), {"outcome", "error_code"}), json::array({"failed", 3})) << c.what;
    EXPECT_NE(run.err.find("Update file does not open."), std::string::npos) << c.what;
    EXPECT_NE(run.err.find(c.told), std::string::npos) << c.what << "\n" << run.err;
    EXPECT_EQ(UpdateFiles(folder), before) << c.what;
  }
}

// ---------------------------------------------------------------- a firmware file without data

// A firmware file that loads as S-record text yet yields no data byte
// fails the kind check: error 08, for the update and for package build,
// and the package beside it is not touched.
TEST(UpdateDataSafetyTest, FirmwareFileWithoutADataByteIsTheWrongKind) {
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"CR alone", "\r"},
      {"Ctrl-Z first", "\x1A" + SRecordText(PatternBytes(64, 5))},
      {"header alone", "S0030000FC\n"},
  };
  for (const auto& [what, text] : cases) {
    ScratchDir dir;
    Folder folder;
    WriteFileBytes(folder.Work("DERadori.kx"), FullPackage());
    WriteFileText(folder.Work("KXFirmv01_03_00.s"), text);
    const auto before = UpdateFiles(folder);

    const KxupdateRun update = folder.Kxupdate("update --json");
    EXPECT_EQ(update.status, 8) << what << "\n" << update.err;
    EXPECT_EQ(Fields(update.Json(), {"outcome", "error_code"}), json::array({"failed", 8})) << what;
    EXPECT_NE(update.err.find("KXFirmv01_03_00.s: "), std::string::npos) << what << update.err;

    const KxupdateRun build = folder.Kxupdate("package build --date 2026-12-11");
    EXPECT_NE(build.status, 0) << what;
    EXPECT_NE(build.err.find("(Error Code:08)"), std::string::npos) << what << build.err;
    EXPECT_EQ(UpdateFiles(folder), before) << what;
  }
}

// ---------------------------------------------------------------- --check changes no file

// --check plans from the package merged in memory: no file of the update
// folder changes (names, sizes, times, contents), also where the folder is
// read-only to the user, and the plan names the versions that the real run
// then writes.
TEST(UpdateDataSafetyTest, CheckChangesNoFileAndPlansWhatTheRunDoes) {
  struct Case {
    const char* what;
    bool withPackage;
    bool readOnly;
  };
  const Case cases[] = {
      {"package and component files", true, false},
      {"component files alone", false, false},
      {"package and component files, read-only folder", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    Folder folder;
    if (c.withPackage) WriteFileBytes(folder.Work("DERadori.kx"), FullPackage());
    WriteFileBytes(folder.Work("KXFPGA1v01_03_00.rbf"), PatternBytes(700, 7));
    WriteFileText(folder.Work("KXFirmv01_03_00.s"), SRecordText(PatternBytes(900, 8)));
    const std::vector<std::string> through =
        c.readOnly ? AsAnotherUser(folder, true) : std::vector<std::string>();
    const auto before = SnapshotFolder(folder.Path("work"));

    const KxupdateRun check = folder.Kxupdate("update --check --json", through);
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(SnapshotFolder(folder.Path("work")), before);
    const json plan = Fields(Field(check.Json(), "plan"), {"label", "package"});
    EXPECT_EQ(plan, json::parse(c.withPackage ? R"json([["FPGA1", "01_03_00"], ["FPGA2", "1_0_0"],
                                                   ["Firm(Appl)", "01_03_00"], ["Firm(Boot)", "1_0_0"]])json"
                                              : R"json([["FPGA1", "01_03_00"], ["FPGA2", ""],
                                                   ["Firm(Appl)", "01_03_00"], ["Firm(Boot)", ""]])json"));
    if (c.readOnly) continue;

    // The real run rebuilds the same package and writes what the plan said.
    const KxupdateRun run = folder.Kxupdate("update --yes --json");
    EXPECT_EQ(run.status, 0) << run.err;
    const KxupdateRun inspect = folder.Kxupdate("package inspect --json");
    EXPECT_EQ(Fields(Field(inspect.Json(), "components"), {"label", "version"}), plan);
  }
}

// ---------------------------------------------------------------- temporary files

// What a killed writer left, full-size temporary files of the package and
// of the settings file, goes with the next run's writes of those files.
TEST(UpdateDataSafetyTest, NextRunRemovesStaleTemporaryFiles) {
  ScratchDir dir;
  Folder folder;
  WriteFileBytes(folder.Work("DERadori.kx"), FullPackage());
  WriteFileText(folder.Work("KXFirmv01_03_00.s"), SRecordText(PatternBytes(900, 8)));
  WriteFileBytes(folder.Work("DERadori.kx.tmp-Ab12Cd"), FullPackage());
  WriteFileText(folder.Work("DERadori.ini.tmp-Xy34Zw"), "[NumOfRetryPackets]\r\nFPGA1=0\r\n");
  const KxupdateRun run = folder.Kxupdate("update --yes --json");
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path("work"))) {
    left.push_back(entry.path().filename());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"DERadori.ini", "DERadori.kx", "KXFirmv01_03_00.s"}));
}

// ---------------------------------------------------------------- names that are no files

// A FIFO in the place of a file that the tool reads ends the run promptly
// (not at the guard's minute), with a message that names it; the FIFO
// itself is left as it is.
TEST(UpdateDataSafetyTest, FifoInPlaceOfAFileEndsTheRunAndIsNamed) {
  struct Case {
    const char* fifo;  // in work/, or "board.ini" beside it
    bool withPackage;
    std::string told;
  };
  const Case cases[] = {
      {"DERadori.ini", true, "DERadori.ini: not a regular file but a FIFO"},
      {"DERadori.kx", false, "DERadori.kx: not a regular file but a FIFO; passed over"},
      {"KXFirmv01_03_00.s", true, "KXFirmv01_03_00.s: not a regular file but a FIFO; passed over"},
      {"board.ini", true, "board.ini: not a regular file but a FIFO; not read"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    Folder folder;
    if (c.withPackage) WriteFileBytes(folder.Work("DERadori.kx"), FullPackage());
    const bool board = std::string(c.fifo) == "board.ini";
    const std::string fifo = board ? folder.Path("fifo-board.ini") : folder.Work(c.fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0) << c.fifo;
    const KxupdateRun run = folder.Kxupdate("update --yes --json", {}, board ? fifo : "");
    EXPECT_FALSE(run.timedOut) << c.fifo;
    EXPECT_NE(run.err.find(c.told), std::string::npos) << c.fifo << "\n" << run.err;
    struct stat after {};
    ASSERT_EQ(lstat(fifo.c_str(), &after), 0) << c.fifo;
    EXPECT_TRUE(S_ISFIFO(after.st_mode)) << c.fifo;
  }
}

// ---------------------------------------------------------------- a huge package

// A sparse 2 GiB package whose header states 356 bytes is refused from its
// header: error 03, the file left as it is. (Its speed is measured in
// bench/updatedata_bench.cpp, not here.)
TEST(UpdateDataSafetyTest, HugePackageIsRefusedFromItsHeader) {
  ScratchDir dir;
  Folder folder;
  FixturePackage parts = {{{"1_2_0", PatternBytes(100, 1)}, {}, {}, {}}};
  WriteFileBytes(folder.Work("DERadori.kx"), StoredPackage(parts, 7));
  ASSERT_EQ(truncate(folder.Work("DERadori.kx").c_str(), off_t{1} << 31), 0);
  struct stat before {
  }, after{};
  ASSERT_EQ(stat(folder.Work("DERadori.kx").c_str(), &before), 0);
  const KxupdateRun run = folder.Kxupdate("update --json");
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_NE(run.err.find("DERadori.kx: 2147483648 bytes, but its header states 256 + sizes = 356"),
            std::string::npos)
      << run.err;
  ASSERT_EQ(stat(folder.Work("DERadori.kx").c_str(), &after), 0);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_blocks, before.st_blocks);  // still sparse: nothing was written
}

}  // namespace
}  // namespace kx
