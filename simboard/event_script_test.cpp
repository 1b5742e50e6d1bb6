// The event script worked out one event at a time, against the list of all
// events built the plain way, and on counts too large to list.
#include "simboard/event_script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <ostream>
#include <vector>

namespace kx::sim {

void PrintTo(const ScriptedEvent& e, std::ostream* out) {
  *out << "(" << e.type << "," << e.value << "," << e.status << (e.paced ? ",paced)" : ")");
}

namespace {

// Every event of the script, built step by step as the board file describes it.
std::vector<ScriptedEvent> Listed(const Pacing& pacing, const ComponentFaults& f) {
  const int step = std::clamp(pacing.stepPercent, 1, 100);
  std::vector<int> values;
  for (int v = step; v < 100; v += step) values.push_back(v);
  values.push_back(100);
  const int steps = static_cast<int>(values.size());
  const int retries = std::max(f.retries, 0);
  const int wrongAt = std::clamp(f.wrongTypeAt, 1, steps) - 1;

  std::vector<ScriptedEvent> real = {{14, 0, 0, true}, {15, 0, 0, true}};
  if (f.outOfOrder) std::swap(real[0], real[1]);
  int previous = 0;
  for (int i = 0; i < steps; ++i) {
    const int here = retries / steps + (i < retries % steps ? 1 : 0);
    for (int r = 0; r < here; ++r) real.push_back({17, previous, f.retryStatus, true});
    if (f.wrongType != 0 && i == wrongAt) {
      real.push_back({f.wrongType, values[i], f.wrongTypeStatus, true});
    } else {
      real.push_back({17, values[i], 0, true});
    }
    previous = values[i];
  }
  if (f.stallAfter >= 0 && static_cast<std::size_t>(f.stallAfter) < real.size()) {
    real.resize(static_cast<std::size_t>(f.stallAfter));
  }
  std::vector<ScriptedEvent> all;
  for (ScriptedEvent event : real) {
    if (f.noise) {
      all.push_back({0, f.noiseValue, f.noiseStatus, true});
      all.push_back({2, f.noiseValue, f.noiseStatus, false});
      all.push_back({12, f.noiseValue, f.noiseStatus, false});
      event.paced = false;
    }
    all.push_back(event);
  }
  return all;
}

std::vector<ScriptedEvent> Sent(const EventScript& script) {
  std::vector<ScriptedEvent> events;
  for (std::int64_t i = 0; i < script.size(); ++i) events.push_back(script.At(i));
  return events;
}

TEST(EventScriptTest, SendsWhatTheFaultsDescribe) {
  struct Variant {
    const char* name;
    void (*apply)(ComponentFaults&);
  };
  const Variant variants[] = {
      {"plain", [](ComponentFaults&) {}},
      {"out of order, type 16 at the third step",
       [](ComponentFaults& f) {
         f.outOfOrder = true;
         f.wrongType = 16;
         f.wrongTypeAt = 3;
         f.wrongTypeStatus = 144;
       }},
      {"noise, stall after four",
       [](ComponentFaults& f) {
         f.noise = true;
         f.noiseValue = 55;
         f.stallAfter = 4;
       }},
      {"type 99 past the end, stall after fifteen",
       [](ComponentFaults& f) {
         f.wrongType = 99;
         f.wrongTypeAt = 50;
         f.stallAfter = 15;
       }},
      {"type 16 below the first, noise",
       [](ComponentFaults& f) {
         f.wrongType = 16;
         f.wrongTypeAt = -1;
         f.noise = true;
       }},
      {"stall at once", [](ComponentFaults& f) { f.stallAfter = 0; }},
  };
  for (int stepPercent : {1, 7, 10, 30, 33, 50, 99, 100, 0, -5, 200}) {
    for (int retries : {0, 1, 3, 9, 10, 11, 99, 100, 101, 250, -3}) {
      for (const Variant& variant : variants) {
        SCOPED_TRACE(::testing::Message()
                     << "step " << stepPercent << ", retries " << retries << ", " << variant.name);
        Pacing pacing{2, stepPercent};
        ComponentFaults faults;
        faults.retries = retries;
        faults.retryStatus = 102;
        variant.apply(faults);
        const EventScript script(pacing, faults);
        const auto expected = Listed(pacing, faults);
        ASSERT_EQ(Sent(script), expected);
        ComponentFaults whole = faults;
        whole.stallAfter = -1;
        whole.noise = false;
        const bool cut = faults.stallAfter >= 0 &&
                         static_cast<std::size_t>(faults.stallAfter) < Listed(pacing, whole).size();
        EXPECT_EQ(script.stalls(), cut);
      }
    }
  }
}

TEST(EventScriptTest, PacingAndBurst) {
  struct Case {
    int delayMs;
    bool burst;
    int expected;
  };
  for (const Case& c : {Case{2, false, 2}, Case{600000, true, 0}, Case{-40, false, 0},
                        Case{INT_MAX, false, INT_MAX}}) {
    ComponentFaults faults;
    faults.burst = c.burst;
    EXPECT_EQ(EventScript(Pacing{c.delayMs, 10}, faults).delayMs(), c.expected);
  }
}

// The largest count a board file can give costs nothing until it is sent:
// the events at either end and at the seams between the steps are as a
// listed script would have them.
TEST(EventScriptTest, TheLargestRetryCountIsWorkedOutEventByEvent) {
  ComponentFaults faults;
  faults.retries = INT_MAX;  // 214748364 per step, the first 7 of 10 steps one more
  const EventScript script(Pacing{2, 10}, faults);
  const std::int64_t size = 2 + 10 + std::int64_t{INT_MAX};
  ASSERT_EQ(script.size(), size);
  EXPECT_FALSE(script.stalls());
  const std::int64_t longRun = 214748364 + 2;  // the retries of a first step and the step
  const std::int64_t shortRun = longRun - 1;
  struct Probe {
    std::int64_t index;
    ScriptedEvent event;
  };
  const Probe probes[] = {
      {0, {14, 0, 0, true}},
      {1, {15, 0, 0, true}},
      {2, {17, 0, 102, true}},
      {2 + longRun - 2, {17, 0, 102, true}},
      {2 + longRun - 1, {17, 10, 0, true}},
      {2 + longRun, {17, 10, 102, true}},
      {2 + 7 * longRun - 1, {17, 70, 0, true}},
      {2 + 7 * longRun, {17, 70, 102, true}},
      {2 + 7 * longRun + shortRun - 1, {17, 80, 0, true}},
      {size - 2, {17, 90, 102, true}},
      {size - 1, {17, 100, 0, true}},
  };
  for (const Probe& probe : probes) {
    SCOPED_TRACE(probe.index);
    EXPECT_EQ(script.At(probe.index), probe.event);
  }

  faults.noise = true;
  faults.stallAfter = INT_MAX;
  const EventScript noisy(Pacing{2, 10}, faults);
  EXPECT_TRUE(noisy.stalls());
  ASSERT_EQ(noisy.size(), 4 * std::int64_t{INT_MAX});
  EXPECT_EQ(noisy.At(noisy.size() - 4), (ScriptedEvent{0, 77, 131, true}));
  EXPECT_EQ(noisy.At(noisy.size() - 1), (ScriptedEvent{17, 90, 102, false}));
}

}  // namespace
}  // namespace kx::sim
