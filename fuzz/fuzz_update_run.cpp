// The update run, driven by a fuzzed script of driver answers through the
// in-process driver and the recording window.
//
// Input: byte 0 picks one of three packages (all four components; only the
// firmware; no application firmware), bytes 1-3 the installed texts of
// version kinds 3, 5 and 9, byte 4 holds flags (bit 0: the driver reports the
// damaged firmware area; bits 1-3: Yes to the first, second, third question
// 405). Then, per component the run writes: a byte (bit 7: refuse the write;
// bits 0-3: the number of events) and three bytes per event (type modulo 20,
// value, status). Components beyond the script get a clean write.
//
// Properties: initialisation ends ready or not needed; the run ends
// completed, failed or cancelled and never hangs (the event wait times out
// after 1 ms); error code 6 exactly when failed; the log ends as the ending
// requires; the driver got the package's images, in component order.
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "camera/next_dlg.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_scratch.h"
#include "tests/fake_driver.h"
#include "tests/package_fixture.h"
#include "tests/recording_window.h"

namespace {

using kx::DialogState;
using kx::DriverEvent;
using kx::testing::FakeDriver;
using kx::testing::FixturePackage;
using kx::testing::PatternBytes;

constexpr std::size_t kVariants = 3;

FixturePackage Variant(std::size_t v) {
  FixturePackage all = {{{"01_02_00", PatternBytes(40, 1)},
                         {"01_02_00", PatternBytes(30, 2)},
                         {"01_02_00", PatternBytes(20, 3)},
                         {"01_01_00", PatternBytes(10, 4)}}};
  if (v == 1) all[0] = all[1] = {};
  if (v == 2) all[2] = {};
  return all;
}

// One working folder per package, made once per process.
const std::array<std::string, kVariants>& Folders() {
  static const std::array<std::string, kVariants> folders = [] {
    std::array<std::string, kVariants> made;
    for (std::size_t v = 0; v < kVariants; ++v) {
      made[v] = kx::fuzz::ScratchPath("run" + std::to_string(v));
      KX_FUZZ_REQUIRE(mkdir(made[v].c_str(), 0700) == 0);
      const std::vector<std::uint8_t> stored = kx::testing::StoredPackage(Variant(v), 3);
      kx::fuzz::WriteWholeFile(made[v] + "/" + kx::kPackageFileName, stored.data(), stored.size());
    }
    return made;
  }();
  return folders;
}

const char* const kInstalledTexts[] = {"",          "V01.00.00", "V01.01.00", "V01.02.00",
                                       "V01.03.00", "V1.2.3",    "V00.00.00"};
constexpr std::size_t kInstalledTextCount = sizeof kInstalledTexts / sizeof kInstalledTexts[0];

class Script {
 public:
  Script(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool AtEnd() const { return pos_ >= size_; }
  std::uint8_t Next() { return AtEnd() ? 0 : data_[pos_++]; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A failed run's log: "Failuer.", the driver error's label in brackets, and
// after a wait that timed out one more line that says so.
void CheckFailureLog(const kx::CNextDlg& dialog) {
  const std::string& log = dialog.Log();
  const std::string label =
      "Failuer.\r\n(" + kx::CNextDlg::DriverErrorLabel(dialog.FailureDriverError()) + ")";
  const std::size_t at = log.rfind(label);
  KX_FUZZ_REQUIRE(at != std::string::npos);
  const std::string after = log.substr(at + label.size());
  if (dialog.EventWaitTimedOut()) {
    KX_FUZZ_REQUIRE(after.size() > 2 && after.compare(0, 2, "\r\n") == 0);
    KX_FUZZ_REQUIRE(after.find_first_of("\r\n", 2) == std::string::npos);
  } else {
    KX_FUZZ_REQUIRE(after.empty());
  }
}

// Makes a package's folder the working directory for one input, and gives the
// process its own back afterwards: libFuzzer writes corpus and crash files by
// relative paths.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& folder) {
    KX_FUZZ_REQUIRE(getcwd(previous_, sizeof previous_) != nullptr);
    KX_FUZZ_REQUIRE(chdir(folder.c_str()) == 0);
  }
  ~WorkingFolder() { KX_FUZZ_REQUIRE(chdir(previous_) == 0); }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

 private:
  char previous_[4096];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Script script(data, size);
  const std::size_t variant = script.Next() % kVariants;
  const WorkingFolder folder(Folders()[variant]);
  const FixturePackage package = Variant(variant);

  FakeDriver driver;
  driver.slots = {"KX58-0001"};
  for (std::int32_t kind : {3, 5, 9}) {
    driver.versions[kind] = kInstalledTexts[script.Next() % kInstalledTextCount];
  }
  const std::uint8_t flags = script.Next();
  if (flags & 1) driver.errorAfterVersionRead = kx::kCamCameraFwError;
  kx::testing::RecordingWindow window;
  for (int question = 0; question < 3; ++question) {
    window.answers.push_back((flags >> (1 + question)) & 1 ? kx::MessageAnswer::kYes
                                                           : kx::MessageAnswer::kNo);
  }
  std::size_t eventsSent = 0;
  while (!script.AtEnd() && driver.answers.size() < kx::kComponentCount) {
    const std::uint8_t head = script.Next();
    FakeDriver::UpdateAnswer answer;
    answer.refuse = (head & 0x80) != 0;
    for (int i = 0; i < (head & 0x0F); ++i) {
      DriverEvent event;
      event.type = script.Next() % 20;
      event.value = script.Next();
      event.status = script.Next();
      answer.events.push_back(event);
    }
    eventsSent += answer.events.size();
    driver.answers.push_back(answer);
  }
  eventsSent +=
      (kx::kComponentCount - driver.answers.size()) * kx::testing::CleanUpdateEvents().size();

  kx::NextDlgOptions options;
  options.language = kx::Language::kEnglish;
  options.eventTimeout = std::chrono::milliseconds(1);
  options.lockBoard = false;
  kx::CNextDlg dialog(driver, window, options);
  KX_FUZZ_REQUIRE(dialog.OnInitDialog());
  KX_FUZZ_REQUIRE(dialog.State() == DialogState::kReady ||
                  dialog.State() == DialogState::kNotNeeded);
  if (dialog.State() == DialogState::kNotNeeded) {
    KX_FUZZ_REQUIRE(dialog.ErrorCode() == 0);
    KX_FUZZ_REQUIRE(window.result == kx::DialogResult::kOk);
    KX_FUZZ_REQUIRE(driver.written.empty());
    return 0;
  }
  KX_FUZZ_REQUIRE(window.startEnabled);

  dialog.OnStart();
  const DialogState state = dialog.State();
  KX_FUZZ_REQUIRE(state == DialogState::kCompleted || state == DialogState::kFailed ||
                  state == DialogState::kCancelled);
  KX_FUZZ_REQUIRE((dialog.ErrorCode() == 6) == (state == DialogState::kFailed));
  KX_FUZZ_REQUIRE(!window.startEnabled);
  // Every wait took an event or ended the run; a spinning wait would exceed this.
  KX_FUZZ_REQUIRE(static_cast<std::size_t>(window.waits) <= eventsSent + kx::kComponentCount + 1);

  // What was written: the package's images, in component order, no component twice.
  std::vector<std::size_t> present;
  for (std::size_t c = 0; c < kx::kComponentCount; ++c) {
    if (!package[c].image.empty()) present.push_back(c);
  }
  KX_FUZZ_REQUIRE(driver.written.size() <= present.size());
  std::size_t next = 0;
  for (std::size_t w = 0; w < driver.written.size(); ++w) {
    while (next < present.size() && package[present[next]].image != driver.written[w]) ++next;
    KX_FUZZ_REQUIRE(next < present.size());
    KX_FUZZ_REQUIRE(driver.writtenKinds[w] == kx::kComponents[present[next]].kind);
    ++next;
  }

  switch (state) {
    case DialogState::kCompleted:
      KX_FUZZ_REQUIRE(EndsWith(dialog.Log(), "Completed\r\n"));
      KX_FUZZ_REQUIRE(driver.written.size() == present.size());
      KX_FUZZ_REQUIRE(window.result == kx::DialogResult::kOk);
      break;
    case DialogState::kCancelled:
      KX_FUZZ_REQUIRE(EndsWith(dialog.Log(), "Cancel"));
      KX_FUZZ_REQUIRE(!window.result);
      KX_FUZZ_REQUIRE(window.cancelEnabled);
      break;
    default:
      CheckFailureLog(dialog);
      KX_FUZZ_REQUIRE(!window.result);
      KX_FUZZ_REQUIRE(window.cancelEnabled);
      KX_FUZZ_REQUIRE(window.status == "Update is canceled.");
      break;
  }
  KX_FUZZ_REQUIRE(window.log == dialog.Log());
  return 0;
}
