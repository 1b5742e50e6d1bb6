// How many driver events per second the update run takes: one component
// whose write the driver reports in a long burst of progress events, sent
// from a thread of its own as a real driver does.
#include <benchmark/benchmark.h>

#include <thread>

#include "camera/next_dlg.h"
#include "tests/fake_driver.h"
#include "tests/package_fixture.h"
#include "tests/scratch_dir.h"

namespace {

using kx::DriverEvent;

// A window that shows nothing: only the run's own work is measured.
class QuietWindow : public kx::UpdateDialogWindow {
 public:
  void Show() override {}
  void SetLogText(const std::string&) override {}
  void ShowProgress(const std::string&, std::int32_t) override {}
  void SetStatusText(const std::string&) override {}
  void SetButtonTexts(const std::string&, const std::string&) override {}
  void EnableStart(bool) override {}
  void EnableCancel(bool) override {}
  void Repaint() override {}
  kx::MessageAnswer ShowMessage(const std::string&, kx::MessageIcon, kx::MessageButtons) override {
    return kx::MessageAnswer::kYes;
  }
  std::optional<std::string> ChooseBoard(const std::vector<std::string>& ids) override {
    return ids.front();
  }
  kx::WaitOutcome WaitForSignal(kx::platform::AutoResetEvent& event,
                                std::optional<std::chrono::milliseconds>) override {
    event.Wait();
    return kx::WaitOutcome::kSignalled;
  }
  void EndDialog(kx::DialogResult) override {}
};

// One update of a package that holds only Firm(Appl), whose write the
// driver reports as `script` after events 14 and 15; a real settings file in
// a scratch folder takes the retry counts.
void RunScript(benchmark::State& state, const std::vector<DriverEvent>& script) {
  kx::testing::ScratchDir dir;
  setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
  kx::testing::FixturePackage parts;
  parts[2] = {"9_0_0", kx::testing::PatternBytes(1024, 1)};
  kx::testing::WriteFileBytes("DERadori.kx", kx::testing::StoredPackage(parts, 1));

  std::vector<DriverEvent> events = {{14, 0, 0}, {15, 0, 0}};
  events.insert(events.end(), script.begin(), script.end());
  for (auto _ : state) {
    kx::testing::FakeDriver driver;
    driver.slots = {"KX58-0001"};
    driver.versions = {{5, "V01.00.00"}};
    driver.answers = {{false, events}};
    std::thread sender;
    driver.deliver = [&](const std::vector<DriverEvent>& burst) {
      sender = std::thread([&driver, burst] {
        for (const DriverEvent& event : burst) driver.Send(event);
      });
    };
    QuietWindow window;
    kx::NextDlgOptions options;
    options.lockBoard = false;
    kx::CNextDlg dialog(driver, window, options);
    dialog.OnInitDialog();
    dialog.OnStart();
    sender.join();
    if (dialog.State() != kx::DialogState::kCompleted) state.SkipWithError("the run did not complete");
  }
}

void BM_UpdateRunEventsPerSecond(benchmark::State& state) {
  const auto events = static_cast<int>(state.range(0));
  std::vector<DriverEvent> script;
  for (int i = 0; i < events; ++i) script.push_back({17, i % 100, 0});
  script.push_back({17, 100, 0});
  RunScript(state, script);
  state.counters["events_per_second"] =
      benchmark::Counter(static_cast<double>(events + 3) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_UpdateRunEventsPerSecond)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every progress event a retried packet: each one is counted and its count
// written to the settings file at once, so this is the settings write's cost.
void BM_UpdateRunRetriesPerSecond(benchmark::State& state) {
  const auto retries = static_cast<int>(state.range(0));
  std::vector<DriverEvent> script;
  for (int i = 0; i < retries; ++i) script.push_back({17, i % 100, 102});
  script.push_back({17, 100, 0});
  RunScript(state, script);
  state.counters["retries_per_second"] =
      benchmark::Counter(static_cast<double>(retries) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_UpdateRunRetriesPerSecond)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
