// How long the simulated board takes to list and open boards when its board
// file names many: CAM_EnumCameraEx (the first ten ids) and
// CAM_CreateCameraEx of the last board listed, on a file of N boards, each
// with a state section of its own.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "camera/cam_driver.h"
#include "tests/scratch_dir.h"

namespace {

std::string BoardId(int n) { return "KX58-" + std::to_string(100000 + n); }

// A scratch folder whose board file lists `count` boards.
class ManyBoards {
 public:
  explicit ManyBoards(int count) {
    std::string text = "[Driver]\nDelayMs=0\n\n[Boards]\n";
    for (int n = 1; n <= count; ++n) {
      text += "Board" + std::to_string(n) + "=" + BoardId(n) + "\n";
    }
    for (int n = 1; n <= count; ++n) {
      text += "\n[Board " + BoardId(n) + "]\nVersion3=V01.01.00\nVersion5=V01.01.00\n";
    }
    kx::testing::WriteFileText(dir_.path() + "/board.ini", text);
    setenv("KXSIM_BOARD", (dir_.path() + "/board.ini").c_str(), 1);
  }
  ~ManyBoards() { unsetenv("KXSIM_BOARD"); }

 private:
  kx::testing::ScratchDir dir_;
};

void BM_EnumerateBoards(benchmark::State& state) {
  ManyBoards boards(static_cast<int>(state.range(0)));
  char slots[10][33];
  char* pointers[10];
  for (int i = 0; i < 10; ++i) pointers[i] = slots[i];
  for (auto _ : state) {
    if (CAM_EnumCameraEx(1, pointers, 10, 33) != 1) state.SkipWithError("enumeration failed");
    benchmark::DoNotOptimize(slots);
  }
}
BENCHMARK(BM_EnumerateBoards)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_CreateLastBoard(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  ManyBoards boards(count);
  const std::string last = BoardId(count);
  for (auto _ : state) {
    CAM_HANDLE camera = CAM_CreateCameraEx(last.c_str(), 1);
    if (camera == 0) {
      state.SkipWithError("no camera");
      break;
    }
    CAM_DeleteCameraEx(camera, 1);
  }
}
BENCHMARK(BM_CreateLastBoard)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
