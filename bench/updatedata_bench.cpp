// Speed of the update-data paths on package-sized inputs.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstring>

#include "tests/package_fixture.h"
#include "tests/scratch_dir.h"
#include "tests/srecord_fixture.h"
#include "updatedata/byte_buffer.h"
#include "updatedata/package_format.h"
#include "updatedata/srecord_loader.h"
#include "updatedata/update_data_set.h"

namespace {

using kx::testing::PatternBytes;

constexpr std::size_t kMiB = 1 << 20;

void BM_Scramble(benchmark::State& state) {
  auto bytes = PatternBytes(16 * kMiB, 1);
  for (auto _ : state) {
    kx::UpdateDataSet::Scramble(bytes.data(), 20261211, static_cast<std::uint32_t>(bytes.size()));
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_Scramble)->Unit(benchmark::kMillisecond);

void BM_ByteSum(benchmark::State& state) {
  auto bytes = PatternBytes(16 * kMiB, 2);
  for (auto _ : state) benchmark::DoNotOptimize(kx::package::ByteSum(bytes.data(), bytes.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_ByteSum)->Unit(benchmark::kMillisecond);

// A 16 MiB package (four 4 MiB images) loaded and verified from a file that
// the page cache holds, as the update dialog does it.
void BM_LoadAndVerify16MiB(benchmark::State& state) {
  kx::testing::ScratchDir dir;
  kx::testing::FixturePackage parts;
  const char* versions[] = {"1_0_0", "1_0_0", "1_0_0", "1_0_0"};
  std::size_t total = 256;
  for (std::size_t c = 0; c < 4; ++c) {
    std::size_t size = 4 * kMiB - (c == 3 ? 256 : 0);  // 16 MiB in all
    parts[c] = {versions[c], PatternBytes(size, static_cast<std::uint32_t>(c))};
    total += size;
  }
  kx::testing::WriteFileBytes("DERadori.kx", kx::testing::StoredPackage(parts, 20261211));
  for (auto _ : state) {
    kx::UpdateDataSet set;
    if (set.LoadPackage() != 1 || set.VerifyChecksum() != 1) state.SkipWithError("load failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(total));
}
BENCHMARK(BM_LoadAndVerify16MiB)->Unit(benchmark::kMillisecond);

// A sparse 2 GiB file whose header states 356 bytes: the length test refuses
// it from the header and the file's size, so this costs one small read
// however large the file claims to be.
void BM_RefuseHugePackage(benchmark::State& state) {
  kx::testing::ScratchDir dir;
  kx::testing::FixturePackage parts = {{{"1_0_0", PatternBytes(100, 1)}, {}, {}, {}}};
  kx::testing::WriteFileBytes("DERadori.kx", kx::testing::StoredPackage(parts, 7));
  if (truncate("DERadori.kx", off_t{1} << 31) != 0) state.SkipWithError("no sparse file");
  for (auto _ : state) {
    kx::UpdateDataSet set;
    if (set.LoadPackageFrom("DERadori.kx").problem != kx::PackageProblem::kLengthMismatch) {
      state.SkipWithError("not refused by its length");
    }
  }
}
BENCHMARK(BM_RefuseHugePackage)->Unit(benchmark::kMicrosecond);

// A full rebuild: two 4 MiB FPGA files, two firmware files of 1 MiB images.
void BM_RebuildFullPackage(benchmark::State& state) {
  kx::testing::ScratchDir dir;
  kx::testing::WriteFileBytes("KXFPGA1v1_0_0.rbf", PatternBytes(4 * kMiB, 1));
  kx::testing::WriteFileBytes("KXFPGA2v1_0_0.rbf", PatternBytes(4 * kMiB, 2));
  kx::testing::WriteFileText("KXFirmv1_0_0.s", kx::testing::SRecordText(PatternBytes(kMiB, 3), 0, 32));
  kx::testing::WriteFileText("KXBootv1_0_0.s", kx::testing::SRecordText(PatternBytes(kMiB, 4), 0, 32));
  for (auto _ : state) {
    std::remove("DERadori.kx");  // no package: every component comes from its file
    kx::UpdateDataSet set;
    if (set.RebuildPackage({2026, 12, 11}) != 1) state.SkipWithError("rebuild failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(10 * kMiB));
}
BENCHMARK(BM_RebuildFullPackage)->Unit(benchmark::kMillisecond);

void BM_SRecordLoad1MiB(benchmark::State& state) {
  kx::testing::ScratchDir dir;
  kx::testing::WriteFileText("image.s", kx::testing::SRecordText(PatternBytes(kMiB, 5), 0, 32));
  kx::ByteBuffer buffer = kx::AllocateBytes(kx::kFirmwareBufferSize);
  for (auto _ : state) {
    std::int32_t length = 0;
    if (!kx::SRecordLoader().LoadSRecordFile("image.s", buffer.get(), kx::kFirmwareBufferSize, &length) ||
        length != static_cast<std::int32_t>(kMiB)) {
      state.SkipWithError("load failed");
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kMiB));
}
BENCHMARK(BM_SRecordLoad1MiB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
