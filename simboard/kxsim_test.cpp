// The simulated board through its C ABI, as the updater's loader sees it:
// each test works in a scratch folder with KXSIM_BOARD naming a board file
// there, and collects the events on the board's own thread.
#include "camera/cam_driver.h"

#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/private_profile.h"
#include "tests/scratch_dir.h"

namespace {

using namespace std::chrono_literals;
using kx::platform::GetPrivateProfileString;
using kx::platform::WritePrivateProfileString;
using kx::testing::CaptureCommand;
using kx::testing::FileExists;
using kx::testing::ReadFileBytes;
using kx::testing::ScratchDir;
using kx::testing::SourceDir;
using kx::testing::WriteFileText;
using ::testing::HasSubstr;

// Generous: sanitizer builds on a loaded machine are slow, and nothing here
// should take more than a fraction of a second.
constexpr auto kPatience = 20s;
// How long a test watches for events that must not come.
constexpr auto kQuietSpell = 200ms;

// One board, no delay, versions older than the samples.
constexpr const char* kOneBoard =
    "[Driver]\n"
    "DelayMs=0\n"
    "StepPercent=10\n"
    "\n"
    "[Boards]\n"
    "Board1=KX58-0001\n"
    "\n"
    "[Board KX58-0001]\n"
    "Version3=V01.01.00\n"
    "Version5=V01.01.00\n"
    "Version9=V01.00.00\n";

struct Event {
  int32_t type;
  int32_t value;
  int32_t status;
  bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Event& event) {
  return out << "(" << event.type << "," << event.value << "," << event.status << ")";
}

// How an event arrived: the arguments the event itself does not carry.
struct Delivery {
  int32_t reserved1;
  int32_t reserved2;
  void* context;
  std::thread::id thread;
};

// The events of a camera, taken from whichever thread calls back.
class EventLog {
 public:
  static void Callback(int32_t reserved1, int32_t type, int32_t value, int32_t reserved2,
                       int32_t status, void* context) {
    auto* log = static_cast<EventLog*>(context);
    {
      std::lock_guard lock(log->mutex_);
      log->events_.push_back({type, value, status});
      log->deliveries_.push_back({reserved1, reserved2, context, std::this_thread::get_id()});
    }
    log->arrived_.notify_all();
  }

  // The events once `count` have come, or all that came within kPatience.
  std::vector<Event> WaitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, kPatience, [&] { return events_.size() >= count; });
    return events_;
  }

  std::vector<Event> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

  std::vector<Delivery> deliveries() {
    std::lock_guard lock(mutex_);
    return deliveries_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Event> events_;
  std::vector<Delivery> deliveries_;
};

// Runs `call` on a thread of its own and gives it kPatience to return. A call
// that hangs would hang the test for good, so the program ends instead.
template <typename Call>
auto Bounded(Call call) {
  auto future = std::async(std::launch::async, call);
  if (future.wait_for(kPatience) != std::future_status::ready) {
    std::fprintf(stderr, "a call into the simulated board did not return\n");
    std::_Exit(1);
  }
  return future.get();
}

std::vector<Event> Progress(int32_t step = 10) {
  std::vector<Event> events;
  for (int32_t value = step; value < 100; value += step) events.push_back({17, value, 0});
  events.push_back({17, 100, 0});
  return events;
}

std::vector<Event> Join(std::initializer_list<std::vector<Event>> parts) {
  std::vector<Event> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<uint8_t> Bytes(std::string_view text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// An image of `size` filler bytes with `insert` placed at offset 64.
std::vector<uint8_t> ImageWith(std::string_view insert, std::size_t size = 512) {
  std::vector<uint8_t> image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(0x80 + i % 97);
  std::copy(insert.begin(), insert.end(), image.begin() + 64);
  return image;
}

std::string Marker(std::string_view version) {
  return std::string("KXVERSION=").append(version).append(1, '\0');
}

CamComponentImage Descriptor(int32_t kind, const std::vector<uint8_t>& bytes) {
  CamComponentImage image{};
  std::memcpy(image.tag, "ZEBA", 4);
  image.kind = kind;
  image.size = static_cast<uint32_t>(bytes.size());
  image.data = bytes.data();
  return image;
}

std::string Version(CAM_HANDLE camera, int32_t kind) {
  char buffer[CAM_VERSION_BUFFER_SIZE];
  std::memset(buffer, '#', sizeof buffer);
  if (CAM_GetVersionEx(camera, 1, kind, buffer) == 0) return "<failed>";
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

// The most memory the process has held so far (VmHWM), in KiB.
std::int64_t PeakMemoryKiB() {
  std::istringstream status(kx::testing::ReadFileText("/proc/self/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6));
  }
  ADD_FAILURE() << "no VmHWM in /proc/self/status";
  return 0;
}

std::optional<int32_t> LastError(CAM_HANDLE camera) {
  int32_t code = -7;
  if (CAM_GetLastErrorEx(camera, 1, &code) == 0) return std::nullopt;
  return code;
}

class SimBoardTest : public ::testing::Test {
 protected:
  SimBoardTest() : boardPath_(scratch_.path() + "/board.ini") {
    setenv("KXSIM_BOARD", boardPath_.c_str(), 1);
  }

  ~SimBoardTest() override {
    for (CAM_HANDLE camera : cameras_) CAM_DeleteCameraEx(camera, 1);
    unsetenv("KXSIM_BOARD");
  }

  void WriteBoard(const std::string& text) { WriteFileText(boardPath_, text); }

  void Set(const std::string& section, const std::string& key, const std::string& value) {
    ASSERT_TRUE(WritePrivateProfileString(section, key, value, boardPath_));
  }

  std::string Get(const std::string& section, const std::string& key) {
    return GetPrivateProfileString(section, key, "<missing>", boardPath_);
  }

  // A camera of `id` that reports to log_, or 0.
  CAM_HANDLE Open(const char* id = "KX58-0001") {
    CAM_HANDLE camera = CAM_CreateCameraEx(id, 1);
    if (camera != 0) {
      cameras_.push_back(camera);
      CAM_RegisterCallbackEx(camera, &EventLog::Callback, &log_);
    }
    return camera;
  }

  void Delete(CAM_HANDLE camera) {
    EXPECT_EQ(Bounded([camera] { return CAM_DeleteCameraEx(camera, 1); }), 1);
    cameras_.erase(std::remove(cameras_.begin(), cameras_.end(), camera), cameras_.end());
  }

  int32_t Update(CAM_HANDLE camera, int32_t kind, const std::vector<uint8_t>& bytes) {
    CamComponentImage image = Descriptor(kind, bytes);
    return CAM_EST_UpdateEx(camera, 0, &image);
  }

  // Updates one component and waits for its last event; false when the
  // update was refused or 100 never came.
  bool UpdateAndWait(CAM_HANDLE camera, int32_t kind, const std::vector<uint8_t>& bytes) {
    std::size_t before = log_.events().size();
    if (Update(camera, kind, bytes) == 0) return false;
    auto events = log_.WaitFor(before + 12);
    return events.size() == before + 12 && events.back() == Event{17, 100, 0};
  }

  // The board file as Python's configparser reads it.
  std::string JudgedBoardFile() {
    int status = -1;
    std::string entries = CaptureCommand(
        "python3 '" + SourceDir() + "/tests/ini_judge.py' read '" + boardPath_ + "'", &status);
    EXPECT_EQ(status, 0) << "configparser rejects the board file";
    return entries;
  }

  ScratchDir scratch_;
  std::string boardPath_;
  EventLog log_;
  std::vector<CAM_HANDLE> cameras_;
};

TEST(SimBoardLibrary, ExportsExactlyTheDriverFunctions) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&CAM_EnumCameraEx), &info), 0);
  int status = -1;
  std::string listing =
      CaptureCommand(std::string("nm -D --defined-only '") + info.dli_fname + "'", &status);
  ASSERT_EQ(status, 0);
  std::set<std::string> names;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    names.insert(line.substr(line.find_last_of(' ') + 1));
  }
  EXPECT_EQ(names, (std::set<std::string>{
                       "CAM_CreateCameraEx", "CAM_DeleteCameraEx", "CAM_EST_SetBehaviorModeEx",
                       "CAM_EST_UpdateEx", "CAM_EnumCameraEx", "CAM_GetLastErrorEx",
                       "CAM_GetVersionEx", "CAM_RegisterCallbackEx", "CAM_SetTimeoutEx"}));
}

TEST_F(SimBoardTest, CreatesTheDefaultBoardWhereNoBoardFileIs) {
  struct Where {
    bool environment;
    std::string file;
  };
  for (const Where& where : {Where{true, boardPath_}, Where{false, "kxsim-board.ini"}}) {
    SCOPED_TRACE(where.file);
    if (!where.environment) unsetenv("KXSIM_BOARD");
    ASSERT_FALSE(FileExists(where.file));

    char slots[10][33];
    char* pointers[10];
    for (int i = 0; i < 10; ++i) pointers[i] = slots[i];
    std::strcpy(slots[0], "__BOARD__");
    std::strcpy(slots[1], "stale");
    ASSERT_EQ(CAM_EnumCameraEx(1, pointers, 10, 33), 1);
    EXPECT_STREQ(slots[0], "KX58-0001");
    EXPECT_STREQ(slots[1], "");
    ASSERT_TRUE(FileExists(where.file));

    boardPath_ = where.file;
    std::string entries = JudgedBoardFile();
    EXPECT_THAT(entries, HasSubstr("Boards\tBoard1\tKX58-0001\n"));
    EXPECT_THAT(entries, HasSubstr("Board KX58-0001\tVersion3\tV01.01.00\n"));

    CAM_HANDLE camera = Open();
    ASSERT_NE(camera, 0);
    EXPECT_EQ(LastError(camera), 0);
    EXPECT_EQ(Version(camera, 3), "V01.01.00");
    EXPECT_EQ(Version(camera, 5), "V01.01.00");
    EXPECT_EQ(Version(camera, 9), "V01.00.00");
    EXPECT_EQ(LastError(camera), 0);
    Delete(camera);
  }
}

TEST_F(SimBoardTest, EnumeratesIntoTheSlotsGivenAndNeverBeyond) {
  // nullopt: the slot must be as it was before the call.
  using Slots = std::vector<std::optional<std::string>>;
  struct Case {
    const char* name;
    std::vector<std::string> boards;
    bool fails;
    int32_t slotCount;
    int32_t slotSize;
    int32_t result;
    Slots slots;
  };
  std::vector<std::string> twelve;
  for (int i = 1; i <= 12; ++i) twelve.push_back("KX58-00" + std::to_string(10 + i));
  const std::string longest(32, 'K');
  const std::optional<std::string> kept;
  const Case cases[] = {
      {"several, in order, any model",
       {"KX58-0001", "ZX10-0001", "kx58-0003", "KX58-0002"},
       false,
       10,
       33,
       1,
       {"KX58-0001", "ZX10-0001", "kx58-0003", "KX58-0002", "", kept, kept, kept, kept, kept}},
      {"none", {}, false, 10, 33, 1, {"", kept, kept, kept, kept, kept, kept, kept, kept, kept}},
      {"failure touches nothing",
       {"KX58-0001"},
       true,
       10,
       33,
       0,
       {kept, kept, kept, kept, kept, kept, kept, kept, kept, kept}},
      {"ten slots, twelve boards: ten ids, no room for the empty one", twelve, false, 10, 33, 1,
       Slots(twelve.begin(), twelve.begin() + 10)},
      {"twelve slots, twelve boards: at most ten ids, then the empty one", twelve, false, 12, 33, 1,
       [&] {
         Slots slots(twelve.begin(), twelve.begin() + 10);
         slots.push_back("");
         slots.push_back(kept);
         return slots;
       }()},
      {"fewer slots than boards",
       {"KX58-0001", "KX58-0002", "KX58-0003", "KX58-0004"},
       false,
       3,
       33,
       1,
       {"KX58-0001", "KX58-0002", "KX58-0003"}},
      {"short slots cut the ids", {"KX58-0001-LONG"}, false, 2, 8, 1, {"KX58-00", ""}},
      {"an id of 32 characters fills a slot of 33", {longest}, false, 2, 33, 1, {longest, ""}},
  };
  constexpr int32_t kGuard = 8;  // bytes after each slot that must stay as they were
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text =
        "[Driver]\nEnumFails=" + std::to_string(c.fails ? 1 : 0) + "\nEnumError=1000\n\n[Boards]\n";
    for (std::size_t i = 0; i < c.boards.size(); ++i) {
      text += "Board" + std::to_string(i + 1) + "=" + c.boards[i] + "\n";
    }
    WriteBoard(text);

    const int32_t stride = c.slotSize + kGuard;
    std::vector<char> memory(static_cast<std::size_t>((c.slotCount + 1) * stride), '#');
    std::vector<char*> pointers;
    for (int32_t i = 0; i <= c.slotCount; ++i) pointers.push_back(memory.data() + i * stride);
    std::memcpy(pointers[0], "__BOARD__", 10);
    const std::vector<char> before = memory;

    ASSERT_EQ(CAM_EnumCameraEx(1, pointers.data(), c.slotCount, c.slotSize), c.result);
    ASSERT_EQ(c.slots.size(), static_cast<std::size_t>(c.slotCount));
    for (int32_t i = 0; i <= c.slotCount; ++i) {
      SCOPED_TRACE("slot " + std::to_string(i));
      const char* slot = pointers[i];
      const char* was = before.data() + i * stride;
      const auto& expected = i < c.slotCount ? c.slots[static_cast<std::size_t>(i)] : kept;
      if (expected) {
        std::size_t length = strnlen(slot, static_cast<std::size_t>(c.slotSize));
        ASSERT_LT(length, static_cast<std::size_t>(c.slotSize)) << "not terminated in the slot";
        EXPECT_EQ(std::string(slot, length), *expected);
        EXPECT_TRUE(std::equal(slot + c.slotSize, slot + stride, was + c.slotSize));
      } else {
        EXPECT_TRUE(std::equal(slot, slot + stride, was));
      }
    }
    if (c.fails) {
      EXPECT_EQ(LastError(0), 1000);
    }
  }
}

TEST_F(SimBoardTest, ListsAndOpensTheBoardsOfALongList) {
  // Written last to first, each board with a state section: the numbers of
  // the keys give the order, not their place in the file.
  constexpr int kBoards = 20000;
  auto id = [](int n) { return "KX58-" + std::to_string(100000 + n); };
  std::string text = "[Driver]\nDelayMs=0\n\n[Boards]\n";
  for (int n = kBoards; n >= 1; --n) text += "Board" + std::to_string(n) + "=" + id(n) + "\n";
  text += "Board20002=" + id(20002) + "\n";  // after the gap: not listed
  for (int n = 1; n <= kBoards; ++n) {
    text += "\n[Board " + id(n) + "]\nVersion5=V05." + std::to_string(n) + "\n";
  }
  WriteBoard(text);

  for (int32_t slotCount : {10, 12}) {
    SCOPED_TRACE(slotCount);
    std::vector<std::string> slots(static_cast<std::size_t>(slotCount), std::string(33, '#'));
    std::vector<char*> pointers;
    for (auto& slot : slots) pointers.push_back(slot.data());
    ASSERT_EQ(Bounded([&] { return CAM_EnumCameraEx(1, pointers.data(), slotCount, 33); }), 1);
    for (int i = 0; i < slotCount; ++i) {
      const std::string got(pointers[static_cast<std::size_t>(i)]);
      if (i < 10) {
        EXPECT_EQ(got, id(i + 1));
      } else if (i == 10) {
        EXPECT_EQ(got, "") << "the empty one after the tenth";
      } else {
        EXPECT_EQ(slots[static_cast<std::size_t>(i)], std::string(33, '#')) << "slot " << i;
      }
    }
  }

  for (int n : {1, 9999, kBoards}) {
    SCOPED_TRACE(n);
    CAM_HANDLE camera = Open(id(n).c_str());
    ASSERT_NE(camera, 0);
    EXPECT_EQ(Version(camera, 5), "V05." + std::to_string(n));
    Delete(camera);
  }
  EXPECT_EQ(Open(id(20002).c_str()), 0) << "a board after the first gap is not listed";
  EXPECT_EQ(LastError(0), 12);
}

TEST_F(SimBoardTest, ReportsTheErrorAfterCreatingTheCamera) {
  struct Setting {
    std::string section, key, value;
  };
  struct Case {
    const char* name;
    std::vector<Setting> settings;
    const char* id;
    bool created;
    std::optional<int32_t> error;  // nullopt: CAM_GetLastErrorEx fails
  };
  const Case cases[] = {
      {"no error", {}, "KX58-0001", true, 0},
      {"for all boards", {{"Driver", "CreateError", "1001"}}, "KX58-0001", true, 1001},
      {"a board's own",
       {{"Driver", "CreateError", "1001"}, {"Board KX58-0002", "CreateError", "1002"}},
       "KX58-0002",
       true,
       1002},
      {"another board's own does not count",
       {{"Driver", "CreateError", "1001"}, {"Board KX58-0002", "CreateError", "1002"}},
       "KX58-0001",
       true,
       1001},
      {"unknown board: no camera", {}, "KX58-9999", false, 12},
      {"empty id: no camera", {}, "", false, 12},
      {"ids match in letter case too", {}, "kx58-0001", false, 12},
      {"the error call fails",
       {{"Driver", "LastErrorFails", "1"}},
       "KX58-0001",
       true,
       std::nullopt},
      {"the error call fails for one board",
       {{"Board KX58-0002", "LastErrorFails", "1"}},
       "KX58-0002",
       true,
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBoard(kOneBoard);
    Set("Boards", "Board2", "KX58-0002");
    for (const Setting& s : c.settings) Set(s.section, s.key, s.value);

    CAM_HANDLE camera = Open(c.id);
    EXPECT_EQ(camera != 0, c.created);
    EXPECT_EQ(LastError(camera), c.error);
    EXPECT_EQ(Get("Record", "CreatedBoard"), c.id);
    if (camera != 0) Delete(camera);
  }
}

TEST_F(SimBoardTest, ReadsEachBoardsVersionsAndTheErrorAfterThem) {
  WriteBoard(kOneBoard);
  Set("Boards", "Board2", "KX58-0002");
  Set("Board KX58-0002", "Version3", "V03.00.01");
  Set("Board KX58-0002", "Version5", "V03.00.02");
  Set("Board KX58-0002", "Version9", "V03.00.03");
  Set("Board KX58-0002", "VersionError", "145");
  Set("Board KX58-0001", "Version5", std::string(300, '5'));

  CAM_HANDLE first = Open("KX58-0001");
  CAM_HANDLE second = Open("KX58-0002");
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  EXPECT_EQ(LastError(second), 0) << "the version error comes with the version reads";
  EXPECT_EQ(Version(second, 3), "V03.00.01");
  EXPECT_EQ(Version(second, 5), "V03.00.02");
  EXPECT_EQ(Version(second, 9), "V03.00.03");
  EXPECT_EQ(LastError(second), 145);

  EXPECT_EQ(Version(first, 3), "V01.01.00");
  EXPECT_EQ(Version(first, 5), std::string(255, '5')) << "cut to the 256-byte buffer";
  EXPECT_EQ(LastError(first), 0);
  EXPECT_EQ(Version(first, 4), "<failed>");
}

TEST_F(SimBoardTest, SendsAnUpdatesEventsInOrderFromItsOwnThread) {
  CAM_HANDLE camera = Open();  // the default board, with its default pacing
  ASSERT_NE(camera, 0);
  const auto image = ImageWith("");
  ASSERT_EQ(Update(camera, 1, image), 1);

  const auto expected = Join({{{14, 0, 0}, {15, 0, 0}}, Progress()});
  EXPECT_EQ(log_.WaitFor(expected.size()), expected);
  Delete(camera);
  EXPECT_EQ(log_.events(), expected) << "nothing after the last";
  for (const Delivery& delivery : log_.deliveries()) {
    EXPECT_EQ(delivery.reserved1, 0);
    EXPECT_EQ(delivery.reserved2, 0);
    EXPECT_EQ(delivery.context, &log_);
    EXPECT_NE(delivery.thread, std::this_thread::get_id());
  }
}

struct FaultCase {
  const char* name;
  std::vector<std::tuple<std::string, std::string, std::string>> settings;
  int32_t kind;
  bool accepted;
  std::vector<Event> events;
  bool stalls = false;
  int32_t refusedWith = 0;  // the last error after a refusal
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

std::string Label(int32_t kind) {
  static const char* const kLabels[] = {"Firm(Appl)", "FPGA1", "FPGA2", "Firm(Boot)"};
  return kLabels[kind];
}

class FaultTest : public SimBoardTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTest, SendsTheScriptedEvents) {
  const FaultCase& c = GetParam();
  WriteBoard(kOneBoard);
  for (const auto& [section, key, value] : c.settings) Set(section, key, value);
  CAM_HANDLE camera = Open();
  ASSERT_NE(camera, 0);
  const auto image = ImageWith(Marker("V09.09.09"));

  ASSERT_EQ(Update(camera, c.kind, image), c.accepted ? 1 : 0);
  if (!c.accepted) {
    EXPECT_EQ(LastError(camera), c.refusedWith);
  }
  auto events = log_.WaitFor(c.events.size());
  if (c.stalls || !c.accepted) {
    std::this_thread::sleep_for(kQuietSpell);
    if (c.stalls) {  // and nothing for a later component either
      EXPECT_EQ(Update(camera, 2, image), 1);
      std::this_thread::sleep_for(kQuietSpell);
    }
  }
  Delete(camera);
  EXPECT_EQ(log_.events(), c.events);

  const bool written = c.accepted && !c.stalls;
  EXPECT_EQ(Get("Written KX58-0001", "Order"), written ? Label(c.kind) : "<missing>");
}

std::vector<Event> Noisy(const std::vector<Event>& real, int32_t value, int32_t status) {
  std::vector<Event> events;
  for (const Event& event : real) {
    for (int32_t type : {0, 2, 12}) events.push_back({type, value, status});
    events.push_back(event);
  }
  return events;
}

const std::vector<Event> kStart = {{14, 0, 0}, {15, 0, 0}};

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultTest,
    ::testing::Values(
        FaultCase{"Normal", {}, 1, true, Join({kStart, Progress()})},
        FaultCase{"AnotherComponentsFaultsDoNotCount",
                  {{"Fault FPGA2", "Refuse", "1"}, {"Fault FPGA2", "OutOfOrder", "1"}},
                  1,
                  true,
                  Join({kStart, Progress()})},
        FaultCase{"Refused", {{"Fault Firm(Appl)", "Refuse", "1"}}, 0, false, {}, false, 131},
        FaultCase{"RefusedWithItsError",
                  {{"Fault Firm(Appl)", "Refuse", "1"}, {"Fault Firm(Appl)", "RefuseError", "148"}},
                  0,
                  false,
                  {},
                  false,
                  148},
        FaultCase{"OutOfOrder",
                  {{"Fault Firm(Boot)", "OutOfOrder", "1"}},
                  3,
                  true,
                  Join({{{15, 0, 0}, {14, 0, 0}}, Progress()})},
        FaultCase{"Type16AtTheThirdStep",
                  {{"Fault FPGA2", "WrongType", "16"},
                   {"Fault FPGA2", "WrongTypeAt", "3"},
                   {"Fault FPGA2", "WrongTypeStatus", "144"}},
                  2,
                  true,
                  Join({kStart,
                        {{17, 10, 0},
                         {17, 20, 0},
                         {16, 30, 144},
                         {17, 40, 0},
                         {17, 50, 0},
                         {17, 60, 0},
                         {17, 70, 0},
                         {17, 80, 0},
                         {17, 90, 0},
                         {17, 100, 0}}})},
        FaultCase{"UnknownTypeAtTheFirstStep",
                  {{"Fault FPGA1", "WrongType", "99"}},
                  1,
                  true,
                  [] {
                    auto events = Join({kStart, Progress()});
                    events[2] = {99, 10, 0};
                    return events;
                  }()},
        FaultCase{"WrongTypePastTheEndTakesTheLastStep",
                  {{"Fault FPGA1", "WrongType", "16"}, {"Fault FPGA1", "WrongTypeAt", "50"}},
                  1,
                  true,
                  [] {
                    auto events = Join({kStart, Progress()});
                    events.back() = {16, 100, 0};
                    return events;
                  }()},
        FaultCase{
            "RetriedPackets",
            {{"Fault Firm(Boot)", "Retries", "3"}, {"Fault Firm(Boot)", "RetryStatus", "102"}},
            3,
            true,
            Join({kStart,
                  {{17, 0, 102},
                   {17, 10, 0},
                   {17, 10, 102},
                   {17, 20, 0},
                   {17, 20, 102},
                   {17, 30, 0},
                   {17, 40, 0},
                   {17, 50, 0},
                   {17, 60, 0},
                   {17, 70, 0},
                   {17, 80, 0},
                   {17, 90, 0},
                   {17, 100, 0}}})},
        FaultCase{"MoreRetriesThanSteps",
                  {{"Driver", "StepPercent", "50"}, {"Fault Firm(Appl)", "Retries", "5"}},
                  0,
                  true,
                  Join({kStart,
                        {{17, 0, 102},
                         {17, 0, 102},
                         {17, 0, 102},
                         {17, 50, 0},
                         {17, 50, 102},
                         {17, 50, 102},
                         {17, 100, 0}}})},
        FaultCase{"StepOfThirty",
                  {{"Driver", "StepPercent", "30"}},
                  1,
                  true,
                  Join({kStart, Progress(30)})},
        FaultCase{"NoiseBeforeEveryEvent",
                  {{"Fault FPGA1", "Noise", "1"},
                   {"Fault FPGA1", "NoiseValue", "55"},
                   {"Fault FPGA1", "NoiseStatus", "144"}},
                  1,
                  true,
                  Noisy(Join({kStart, Progress()}), 55, 144)},
        FaultCase{"StallAfterFourEvents",
                  {{"Fault FPGA1", "StallAfter", "4"}},
                  1,
                  true,
                  Join({kStart, {{17, 10, 0}, {17, 20, 0}}}),
                  true},
        FaultCase{"StallAtOnce", {{"Fault FPGA1", "StallAfter", "0"}}, 1, true, {}, true},
        FaultCase{"BurstIgnoresTheDelay",
                  {{"Driver", "DelayMs", "600000"}, {"Fault Firm(Appl)", "Burst", "1"}},
                  0,
                  true,
                  Join({kStart, Progress()})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimBoardTest, DeliversEveryEventOfALongBurst) {
  WriteBoard(kOneBoard);
  Set("Driver", "DelayMs", "600000");
  Set("Driver", "StepPercent", "1");
  Set("Fault FPGA1", "Burst", "1");
  Set("Fault FPGA1", "Retries", "5000");
  CAM_HANDLE camera = Open();
  ASSERT_NE(camera, 0);
  const auto image = ImageWith("");
  ASSERT_EQ(Update(camera, 1, image), 1);

  const auto events = log_.WaitFor(2 + 100 + 5000);
  ASSERT_EQ(events.size(), 2u + 100u + 5000u);
  EXPECT_EQ(events[0], (Event{14, 0, 0}));
  EXPECT_EQ(events[1], (Event{15, 0, 0}));
  std::vector<int32_t> steps;
  int retried = 0;
  int32_t last = 0;
  for (std::size_t i = 2; i < events.size(); ++i) {
    ASSERT_EQ(events[i].type, 17);
    ASSERT_GE(events[i].value, last) << "at event " << i;
    last = events[i].value;
    if (events[i].status == 0) {
      steps.push_back(events[i].value);
    } else {
      EXPECT_EQ(events[i].status, 102);
      EXPECT_LT(events[i].value, 100);
      ++retried;
    }
  }
  EXPECT_EQ(retried, 5000);
  ASSERT_EQ(steps.size(), 100u);
  for (int32_t i = 0; i < 100; ++i) EXPECT_EQ(steps[static_cast<std::size_t>(i)], i + 1);
  EXPECT_EQ(events.back(), (Event{17, 100, 0}));
}

TEST_F(SimBoardTest, DeleteStopsTheEventsAtOnce) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> driver;  // [Driver]
    std::vector<std::pair<std::string, std::string>> faults;  // [Fault FPGA1]
    std::size_t waitFor;                                      // events to see before deleting
  };
  const Case cases[] = {
      {"during a stall", {}, {{"StallAfter", "3"}}, 3},
      {"during a long delay", {{"DelayMs", "600000"}}, {}, 0},
      {"in the middle of a burst",
       {{"StepPercent", "1"}},
       {{"Burst", "1"}, {"Retries", "1000000"}},
       100},
      // Counts as large as the board file can give: the events are worked
      // out one by one, so the board holds no list of them.
      {"in a burst of the most retries", {}, {{"Burst", "1"}, {"Retries", "2147483647"}}, 1000},
      {"in a noisy burst of the most retries, stalling after the most events",
       {{"StepPercent", "-7"}},
       {{"Burst", "1"},
        {"Noise", "1"},
        {"Retries", "2147483647"},
        {"StallAfter", "2147483647"},
        {"WrongType", "16"},
        {"WrongTypeAt", "2147483647"}},
       1000},
  };
  const std::int64_t peakBefore = PeakMemoryKiB();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBoard(kOneBoard);
    for (const auto& [key, value] : c.driver) Set("Driver", key, value);
    for (const auto& [key, value] : c.faults) Set("Fault FPGA1", key, value);
    CAM_HANDLE camera = Open();
    ASSERT_NE(camera, 0);
    const auto image = ImageWith("");
    ASSERT_EQ(Update(camera, 1, image), 1);
    ASSERT_GE(log_.WaitFor(c.waitFor).size(), c.waitFor);

    Delete(camera);
    const std::size_t seen = log_.events().size();
    std::this_thread::sleep_for(kQuietSpell);
    EXPECT_EQ(log_.events().size(), seen) << "a callback after CAM_DeleteCameraEx returned";
    EXPECT_LT(seen, 2u + 100u + 1000000u);
    EXPECT_EQ(Get("Written KX58-0001", "Order"), "<missing>");
    // A list of every event would take gigabytes (and used to end the
    // program with std::bad_alloc).
    EXPECT_LT(PeakMemoryKiB() - peakBefore, 256 * 1024) << "peak memory grew";
  }
}

TEST_F(SimBoardTest, RecordsTheCallsAndEveryWrite) {
  WriteBoard(kOneBoard);
  Set("Driver", "DumpDir", "dump");
  CAM_HANDLE camera = CAM_CreateCameraEx("KX58-0001", 1);
  ASSERT_NE(camera, 0);
  cameras_.push_back(camera);
  EXPECT_EQ(Get("Record", "CreatedBoard"), "KX58-0001");
  EXPECT_EQ(Get("Record", "CallbackRegistered"), "0");
  CAM_RegisterCallbackEx(camera, &EventLog::Callback, &log_);
  EXPECT_EQ(Get("Record", "CallbackRegistered"), "1");
  CAM_SetTimeoutEx(camera, 1, 2500);
  EXPECT_EQ(Get("Record", "TimeoutMode"), "1");
  EXPECT_EQ(Get("Record", "Timeout"), "2500");
  CAM_EST_SetBehaviorModeEx(camera, 1, 4, 0);
  CAM_EST_SetBehaviorModeEx(camera, 1, 3, 0);
  EXPECT_EQ(Get("Record", "BehaviorMode"), "3");

  struct Component {
    int32_t kind;
    const char* label;
    const char* file;
    int32_t versionKind;
    const char* version;
    std::size_t size;
  };
  const Component components[] = {
      {1, "FPGA1", "KX58-0001-FPGA1.bin", 3, "V02.00.01", 700},
      {2, "FPGA2", "KX58-0001-FPGA2.bin", 3, "V02.00.02", 600},
      {0, "Firm(Appl)", "KX58-0001-FirmAppl.bin", 5, "V02.00.03", 500},
      {3, "Firm(Boot)", "KX58-0001-FirmBoot.bin", 9, "V02.00.04", 400},
  };
  std::vector<std::string> digests;
  for (const Component& c : components) {
    SCOPED_TRACE(c.label);
    const auto original = ImageWith(Marker(c.version), c.size);
    auto image = original;
    ASSERT_EQ(Update(camera, c.kind, image), 1);
    std::fill(image.begin(), image.end(), 0);  // the board took a copy
    std::size_t expected = (&c - components + 1) * 12;
    ASSERT_EQ(log_.WaitFor(expected).size(), expected);
    // The record is there as soon as 100 has come; the version the image
    // carries runs only from the next camera on, as after a restart.
    EXPECT_NE(Version(camera, c.versionKind), c.version);
    EXPECT_EQ(Get("Written KX58-0001", std::string(c.label) + ".Size"), std::to_string(c.size));
    digests.push_back(Get("Written KX58-0001", std::string(c.label) + ".Digest"));
    EXPECT_EQ(digests.back().size(), 16u);
    EXPECT_EQ(ReadFileBytes("dump/" + std::string(c.file)), original);
  }
  EXPECT_EQ(std::set<std::string>(digests.begin(), digests.end()).size(), 4u);
  EXPECT_EQ(Get("Written KX58-0001", "Order"), "FPGA1,FPGA2,Firm(Appl),Firm(Boot)");
  Delete(camera);

  // The next run finds the board as the writes left it.
  CAM_HANDLE again = Open();
  ASSERT_NE(again, 0);
  EXPECT_EQ(Version(again, 3), "V02.00.02");
  EXPECT_EQ(Version(again, 5), "V02.00.03");
  EXPECT_EQ(Version(again, 9), "V02.00.04");
  ASSERT_TRUE(UpdateAndWait(again, 1, ImageWith(Marker("V02.01.00"))));
  EXPECT_EQ(Get("Written KX58-0001", "Order"), "FPGA1,FPGA2,Firm(Appl),Firm(Boot),FPGA1");

  const std::string entries = JudgedBoardFile();
  EXPECT_THAT(entries, HasSubstr("Record\tBehaviorMode\t3\n"));
  EXPECT_THAT(entries, HasSubstr("Written KX58-0001\tFirm(Boot).Size\t400\n"));
}

TEST_F(SimBoardTest, DigestIsFnv1a64OfTheBytes) {
  WriteBoard(kOneBoard);
  CAM_HANDLE camera = Open();
  ASSERT_NE(camera, 0);
  // Published FNV-1a 64-bit values.
  ASSERT_TRUE(UpdateAndWait(camera, 1, Bytes("foobar")));
  EXPECT_EQ(Get("Written KX58-0001", "FPGA1.Digest"), "85944171f73967e8");
  EXPECT_EQ(Get("Written KX58-0001", "FPGA1.Size"), "6");
  ASSERT_TRUE(UpdateAndWait(camera, 3, Bytes("a")));
  EXPECT_EQ(Get("Written KX58-0001", "Firm(Boot).Digest"), "af63dc4c8601ec8c");
}

TEST_F(SimBoardTest, InstallsTheVersionTheImageCarries) {
  const std::string before = "V01.01.00";
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
    std::string installed;
  };
  const Case cases[] = {
      {"a marker", ImageWith(Marker("V01.02.00")), "V01.02.00"},
      {"a marker at the first byte", Bytes(Marker("V7")), "V7"},
      {"31 characters", ImageWith(Marker(std::string(31, 'v'))), std::string(31, 'v')},
      {"32 characters", ImageWith(Marker(std::string(32, 'v'))), before},
      {"no zero byte before the end", Bytes("xxKXVERSION=V01.02.00"), before},
      {"an empty text", ImageWith(Marker("")), before},
      {"a blank in the text", ImageWith(Marker("V01 02")), before},
      {"no marker", ImageWith("KXVERSION V01.02.00"), before},
      {"the first marker counts", ImageWith(Marker("V7") + Marker("V8")), "V7"},
      {"a broken first marker counts too", ImageWith(Marker("V 7") + Marker("V8")), before},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBoard(kOneBoard);
    CAM_HANDLE camera = Open();
    ASSERT_NE(camera, 0);
    ASSERT_TRUE(UpdateAndWait(camera, 0, c.image));
    EXPECT_EQ(Version(camera, 5), before) << "not before the camera is deleted";
    Delete(camera);
    CAM_HANDLE next = Open();
    ASSERT_NE(next, 0);
    EXPECT_EQ(Version(next, 5), c.installed);
    EXPECT_EQ(Version(next, 3), before) << "other kinds stay";
    Delete(next);
  }
}

TEST_F(SimBoardTest, TakesItsVersionFromASampleFile) {
  WriteBoard(kOneBoard);
  CAM_HANDLE camera = Open();
  ASSERT_NE(camera, 0);
  const auto sample = ReadFileBytes(SourceDir() + "/samples/KXFPGA1v01_02_00.rbf");
  ASSERT_TRUE(UpdateAndWait(camera, 1, sample));
  Delete(camera);
  CAM_HANDLE next = Open();
  ASSERT_NE(next, 0);
  EXPECT_EQ(Version(next, 3), "V01.02.00");
  EXPECT_EQ(Get("Written KX58-0001", "FPGA1.Size"), std::to_string(sample.size()));
}

TEST_F(SimBoardTest, RefusesABadDescriptor) {
  WriteBoard(kOneBoard);
  CAM_HANDLE camera = Open();
  ASSERT_NE(camera, 0);
  const auto bytes = ImageWith(Marker("V05.00.00"));
  struct Case {
    const char* name;
    void (*spoil)(CamComponentImage&);
  };
  const Case cases[] = {
      {"tag ZEBB", [](CamComponentImage& d) { d.tag[3] = 'B'; }},
      {"tag in lower case", [](CamComponentImage& d) { std::memcpy(d.tag, "zeba", 4); }},
      {"kind 4", [](CamComponentImage& d) { d.kind = 4; }},
      {"kind -1", [](CamComponentImage& d) { d.kind = -1; }},
      {"size 0", [](CamComponentImage& d) { d.size = 0; }},
      {"no data", [](CamComponentImage& d) { d.data = nullptr; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CamComponentImage image = Descriptor(1, bytes);
    c.spoil(image);
    EXPECT_EQ(CAM_EST_UpdateEx(camera, 0, &image), 0);
    EXPECT_EQ(LastError(camera), 146);
  }
  EXPECT_EQ(CAM_EST_UpdateEx(camera, 0, nullptr), 0);
  EXPECT_EQ(LastError(camera), 146);
  std::this_thread::sleep_for(kQuietSpell);
  EXPECT_TRUE(log_.events().empty());
  EXPECT_EQ(Version(camera, 3), "V01.01.00");
  // The camera still takes a good one.
  EXPECT_TRUE(UpdateAndWait(camera, 1, bytes));
}

TEST_F(SimBoardTest, WritesWithoutACallback) {
  WriteBoard(kOneBoard);
  CAM_HANDLE camera = CAM_CreateCameraEx("KX58-0001", 1);
  ASSERT_NE(camera, 0);
  cameras_.push_back(camera);
  const auto image = ImageWith(Marker("V01.03.00"));
  ASSERT_EQ(Update(camera, 0, image), 1);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (Get("Written KX58-0001", "Order") != "Firm(Appl)" &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(Get("Written KX58-0001", "Order"), "Firm(Appl)");
  EXPECT_EQ(Get("Record", "CallbackRegistered"), "0");
  Delete(camera);
  CAM_HANDLE next = Open();
  ASSERT_NE(next, 0);
  EXPECT_EQ(Version(next, 5), "V01.03.00");
}

// What stands at the board file's name, in a form a test can compare.
std::string FileKind(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return "missing";
  if (S_ISFIFO(info.st_mode)) return "fifo";
  if (S_ISDIR(info.st_mode)) return "folder";
  if (S_ISLNK(info.st_mode)) return "link";
  return "file of " + std::to_string(info.st_size) + " bytes";
}

// A board file that is there but is no board file: every call fails at once
// (none waits on a FIFO without a writer) with kCAM_API_LIB_INITIALIZE_ERROR,
// and nothing replaces what stands there.
TEST_F(SimBoardTest, FailsEveryCallAtOnceWhenTheBoardFileIsNoBoardFile) {
  struct Case {
    const char* name;
    void (*make)(const std::string& path);
  };
  const Case cases[] = {
      {"a FIFO", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},
      {"a folder", [](const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); }},
      {"a link to a device",
       [](const std::string& path) { ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0); }},
      {"a file over 64 MiB",
       [](const std::string& path) {
         WriteFileText(path, std::string(kOneBoard));
         ASSERT_EQ(::truncate(path.c_str(), (64 << 20) + 1), 0);  // sparse: costs no disk
       }},
  };
  const auto image = ImageWith(Marker("V02.00.00"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBoard(kOneBoard);
    CAM_HANDLE camera = Open();
    ASSERT_NE(camera, 0);

    ASSERT_EQ(std::rename(boardPath_.c_str(), (boardPath_ + ".good").c_str()), 0);
    c.make(boardPath_);
    const std::string kind = FileKind(boardPath_);
    char slots[2][33] = {"__BOARD__", "#"};
    char* pointers[2] = {slots[0], slots[1]};
    EXPECT_EQ(Bounded([&] { return CAM_EnumCameraEx(1, pointers, 2, 33); }), 0);
    EXPECT_STREQ(slots[0], "__BOARD__");
    EXPECT_EQ(LastError(0), 5);
    EXPECT_EQ(Bounded([] { return CAM_CreateCameraEx("KX58-0001", 1); }), 0);
    EXPECT_EQ(LastError(0), 5);

    // The camera made before: each call that reads or records fails.
    struct Call {
      const char* name;
      int32_t (*call)(CAM_HANDLE, const std::vector<uint8_t>&);
    };
    const Call calls[] = {
        {"CAM_GetVersionEx",
         [](CAM_HANDLE h, const std::vector<uint8_t>&) {
           char buffer[CAM_VERSION_BUFFER_SIZE];
           return CAM_GetVersionEx(h, 1, 5, buffer);
         }},
        {"CAM_SetTimeoutEx",
         [](CAM_HANDLE h, const std::vector<uint8_t>&) { return CAM_SetTimeoutEx(h, 1, 2500); }},
        {"CAM_EST_SetBehaviorModeEx",
         [](CAM_HANDLE h, const std::vector<uint8_t>&) {
           return CAM_EST_SetBehaviorModeEx(h, 1, 3, 0);
         }},
        {"CAM_RegisterCallbackEx",
         [](CAM_HANDLE h, const std::vector<uint8_t>&) {
           return CAM_RegisterCallbackEx(h, nullptr, nullptr);
         }},
        {"CAM_EST_UpdateEx",
         [](CAM_HANDLE h, const std::vector<uint8_t>& bytes) {
           CamComponentImage d = Descriptor(0, bytes);
           return CAM_EST_UpdateEx(h, 0, &d);
         }},
    };
    for (const Call& call : calls) {
      SCOPED_TRACE(call.name);
      EXPECT_EQ(Bounded([&] { return call.call(camera, image); }), 0);
      EXPECT_EQ(LastError(camera), 5);
    }
    EXPECT_EQ(FileKind(boardPath_), kind) << "what stands there is left as it is";

    // Once the board file is back the camera goes on as before: the failed
    // calls registered no null callback and handed over no component.
    std::filesystem::remove_all(boardPath_);
    ASSERT_EQ(std::rename((boardPath_ + ".good").c_str(), boardPath_.c_str()), 0);
    EXPECT_EQ(Version(camera, 5), "V01.01.00");
    EXPECT_EQ(Get("Record", "BehaviorMode"), "<missing>");
    ASSERT_TRUE(UpdateAndWait(camera, 0, image));
    Delete(camera);
  }
}

// The callback of a camera whose board file turns into a FIFO once the
// progress reaches `swapAt`.
struct FifoSwap {
  EventLog* log;
  std::string boardPath;
  int32_t swapAt;
  static void Callback(int32_t r1, int32_t type, int32_t value, int32_t r2, int32_t status,
                       void* context) {
    auto* swap = static_cast<FifoSwap*>(context);
    if (type == 17 && value == swap->swapAt) {
      const std::string fifo = swap->boardPath + ".fifo";
      if (::mkfifo(fifo.c_str(), 0600) != 0 || std::rename(fifo.c_str(), swap->boardPath.c_str())) {
        std::fprintf(stderr, "cannot put a FIFO at the board file\n");
        std::_Exit(1);
      }
    }
    EventLog::Callback(r1, type, value, r2, status, swap->log);
  }
};

TEST_F(SimBoardTest, AWriteTheBoardFileCannotTakeDoesNotComplete) {
  WriteBoard(kOneBoard);
  CAM_HANDLE camera = Open();
  ASSERT_NE(camera, 0);
  FifoSwap swap{&log_, boardPath_, 90};
  ASSERT_EQ(CAM_RegisterCallbackEx(camera, &FifoSwap::Callback, &swap), 1);
  const auto image = ImageWith(Marker("V02.00.00"));
  ASSERT_EQ(Update(camera, 0, image), 1);
  const auto expected = Join({kStart, Progress()});
  ASSERT_EQ(log_.WaitFor(expected.size() - 1).size(), expected.size() - 1);
  std::this_thread::sleep_for(kQuietSpell);
  EXPECT_EQ(log_.events(), std::vector<Event>(expected.begin(), expected.end() - 1))
      << "no 100 for a write that was not recorded";
  EXPECT_EQ(LastError(camera), 5);
  Delete(camera);
  EXPECT_EQ(FileKind(boardPath_), "fifo");
}

// One update run of a board as the updater makes it: the calls it records,
// the four components with versions of the board's own, then the delete
// that installs them. "" when all went as it should, else what did not.
std::string UpdateRun(const std::string& id, int board) {
  CAM_HANDLE camera = CAM_CreateCameraEx(id.c_str(), 1);
  if (camera == 0) return id + ": no camera";
  EventLog log;
  if (CAM_RegisterCallbackEx(camera, &EventLog::Callback, &log) != 1 ||
      CAM_SetTimeoutEx(camera, 1, 2500) != 1 || CAM_EST_SetBehaviorModeEx(camera, 1, 3, 0) != 1) {
    CAM_DeleteCameraEx(camera, 1);
    return id + ": a call was refused";
  }
  std::string problem;
  for (int32_t kind : {1, 2, 0, 3}) {
    const auto image =
        ImageWith(Marker("V0" + std::to_string(board) + ".0" + std::to_string(kind) + ".00"),
                  256 + 64 * static_cast<std::size_t>(board));
    CamComponentImage descriptor = Descriptor(kind, image);
    const std::size_t before = log.events().size();
    if (CAM_EST_UpdateEx(camera, 0, &descriptor) != 1) {
      problem = id + ": update refused";
      break;
    }
    const auto events = log.WaitFor(before + 12);
    if (events.size() != before + 12 || events.back() != Event{17, 100, 0}) {
      problem = id + ": no 100";
      break;
    }
  }
  if (CAM_DeleteCameraEx(camera, 1) != 1 && problem.empty()) problem = id + ": not deleted";
  return problem;
}

// Two processes, each with two cameras on threads of their own, update four
// boards of one board file at once: every change of the file is made under
// its lock on the file as it stands, so no process or thread loses another's
// write records or installed versions.
TEST_F(SimBoardTest, ConcurrentRunsOnOneBoardFileLoseNothing) {
  const std::vector<std::string> ids = {"KX58-0001", "KX58-0002", "KX58-0003", "KX58-0004"};
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::string text = "[Driver]\nDelayMs=0\n\n[Boards]\n";
    for (std::size_t i = 0; i < ids.size(); ++i) {
      text += "Board" + std::to_string(i + 1) + "=" + ids[i] + "\n";
    }
    WriteBoard(text);

    std::vector<pid_t> children;
    for (int process = 0; process < 2; ++process) {
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        std::string problems[2];
        std::thread threads[2];
        for (int t = 0; t < 2; ++t) {
          const int board = 2 * process + t;
          threads[t] =
              std::thread([&, t, board] { problems[t] = UpdateRun(ids[board], board + 1); });
        }
        for (auto& thread : threads) thread.join();
        for (const auto& problem : problems) {
          if (!problem.empty()) std::fprintf(stderr, "%s\n", problem.c_str());
        }
        std::_Exit(problems[0].empty() && problems[1].empty() ? 0 : 1);
      }
      children.push_back(child);
    }
    for (pid_t child : children) {
      int status = -1;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }

    for (std::size_t i = 0; i < ids.size(); ++i) {
      SCOPED_TRACE(ids[i]);
      const std::string board = std::to_string(i + 1);
      const std::string written = "Written " + ids[i];
      EXPECT_EQ(Get(written, "Order"), "FPGA1,FPGA2,Firm(Appl),Firm(Boot)");
      for (const char* label : {"FPGA1", "FPGA2", "Firm(Appl)", "Firm(Boot)"}) {
        EXPECT_EQ(Get(written, std::string(label) + ".Size"), std::to_string(256 + 64 * (i + 1)));
        EXPECT_EQ(Get(written, std::string(label) + ".Digest").size(), 16u);
      }
      EXPECT_EQ(Get("Board " + ids[i], "Version3"), "V0" + board + ".02.00");
      EXPECT_EQ(Get("Board " + ids[i], "Version5"), "V0" + board + ".00.00");
      EXPECT_EQ(Get("Board " + ids[i], "Version9"), "V0" + board + ".03.00");
    }
    EXPECT_THAT(ids, ::testing::Contains(Get("Record", "CreatedBoard")));
    EXPECT_EQ(Get("Record", "BehaviorMode"), "3");
    if (HasFailure()) break;
  }
  JudgedBoardFile();
}

TEST_F(SimBoardTest, UnknownHandlesAreRefused) {
  WriteBoard(kOneBoard);
  char buffer[CAM_VERSION_BUFFER_SIZE];
  const auto bytes = ImageWith("");
  CamComponentImage image = Descriptor(1, bytes);
  int32_t code = -7;
  EXPECT_EQ(CAM_GetLastErrorEx(42, 1, &code), 0);
  EXPECT_EQ(code, -7);
  EXPECT_EQ(CAM_GetVersionEx(42, 1, 3, buffer), 0);
  EXPECT_EQ(CAM_EST_UpdateEx(42, 0, &image), 0);
  EXPECT_EQ(CAM_DeleteCameraEx(42, 1), 0);
  EXPECT_EQ(LastError(0), 1);

  CAM_HANDLE camera = Open();
  ASSERT_NE(camera, 0);
  Delete(camera);
  EXPECT_EQ(CAM_DeleteCameraEx(camera, 1), 0) << "a handle is gone once deleted";
}

}  // namespace
