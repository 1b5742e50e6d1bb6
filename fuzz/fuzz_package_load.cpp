// Bytes as a package file: LoadPackageFrom, then VerifyChecksum, and the
// header decoded straight from the bytes.
//
// Properties beside "no memory fault": a package that loads has exactly the
// length its header states and its images are the bytes after the header;
// VerifyChecksum says whether those bytes add up to the stored checksum; a
// package that fails to load leaves the data set's versions, images and
// checksum as an earlier good load made them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_scratch.h"
#include "tests/package_fixture.h"
#include "updatedata/package_format.h"
#include "updatedata/update_data_set.h"

namespace {

using kx::ComponentImage;
using kx::kComponentCount;
using kx::UpdateDataSet;

struct Snapshot {
  std::array<std::string, kComponentCount> versions;
  std::array<std::vector<std::uint8_t>, kComponentCount> images;
  double checksum = 0;
};

Snapshot Take(const UpdateDataSet& set) {
  Snapshot s;
  for (std::size_t c = 0; c < kComponentCount; ++c) {
    const auto component = static_cast<kx::Component>(c);
    s.versions[c] = set.VersionOf(component);
    const ComponentImage image = set.ImageOf(component);
    if (image.size != 0) s.images[c].assign(image.data, image.data + image.size);
  }
  s.checksum = set.StoredChecksum();
  return s;
}

bool SameChecksum(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct GoodPackage {
  std::string path;
  std::uint64_t size;
};

// A good package, loaded into a fresh data set before each input, so that a
// failed load has something to leave alone.
const GoodPackage& Good() {
  static const GoodPackage good = [] {
    kx::testing::FixturePackage parts = {{{"01_02_00", kx::testing::PatternBytes(40, 1)},
                                          {"01_02_00", kx::testing::PatternBytes(30, 2)},
                                          {"01_02_00", kx::testing::PatternBytes(20, 3)},
                                          {"01_01_00", kx::testing::PatternBytes(10, 4)}}};
    const std::vector<std::uint8_t> stored = kx::testing::StoredPackage(parts, 20261211);
    const std::string p = kx::fuzz::ScratchPath("good.kx");
    kx::fuzz::WriteWholeFile(p, stored.data(), stored.size());
    return GoodPackage{p, stored.size()};
  }();
  return good;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= kx::package::kHeaderSize) {
    const kx::package::Header header = kx::package::DecodeHeader(data);
    std::uint64_t total = kx::package::kHeaderSize;
    for (std::size_t c = 0; c < kComponentCount; ++c) {
      KX_FUZZ_REQUIRE(header.versions[c].size() <= kx::package::kVersionFieldSize);
      KX_FUZZ_REQUIRE(header.versions[c].find('\0') == std::string::npos);
      total += header.sizes[c];
    }
    KX_FUZZ_REQUIRE(header.ExpectedFileSize() == total);
  }

  static const std::string path = kx::fuzz::ScratchPath(kx::kPackageFileName);
  kx::fuzz::WriteWholeFile(path, data, size);

  UpdateDataSet set;
  KX_FUZZ_REQUIRE(set.LoadPackageFrom(Good().path));
  KX_FUZZ_REQUIRE(set.VerifyChecksum() == 1);
  const Snapshot before = Take(set);

  if (!set.LoadPackageFrom(path)) {
    const Snapshot after = Take(set);
    KX_FUZZ_REQUIRE(after.versions == before.versions);
    KX_FUZZ_REQUIRE(after.images == before.images);
    KX_FUZZ_REQUIRE(SameChecksum(after.checksum, before.checksum));
    return 0;
  }

  // Loaded: the file is the header and the four images, nothing more or less.
  KX_FUZZ_REQUIRE(set.PackageSize() == size);
  std::vector<std::uint8_t> plain(data, data + size);
  const std::int32_t seed =
      static_cast<std::int32_t>(std::uint32_t{data[240]} | std::uint32_t{data[241]} << 8 |
                                std::uint32_t{data[242]} << 16 | std::uint32_t{data[243]} << 24);
  kx::package::ApplyKeyStream(plain.data(), seed, plain.size());
  KX_FUZZ_REQUIRE(std::memcmp(set.PackageImage(), plain.data(), size) == 0);
  const kx::package::Header header = kx::package::DecodeHeader(plain.data());

  std::size_t offset = kx::package::kHeaderSize;
  std::uint64_t sum = 0;
  for (std::size_t c = 0; c < kComponentCount; ++c) {
    const auto component = static_cast<kx::Component>(c);
    const ComponentImage image = set.ImageOf(component);
    KX_FUZZ_REQUIRE(set.VersionOf(component) == header.versions[c]);
    KX_FUZZ_REQUIRE(image.size == header.sizes[c]);
    KX_FUZZ_REQUIRE(std::memcmp(image.tag, "ZEBA", 4) == 0);
    KX_FUZZ_REQUIRE(image.kind == kx::TraitsOf(component).kind);
    if (image.size == 0) continue;
    KX_FUZZ_REQUIRE(offset + image.size <= size);
    KX_FUZZ_REQUIRE(std::memcmp(image.data, plain.data() + offset, image.size) == 0);
    for (std::uint32_t i = 0; i < image.size; ++i) sum += image.data[i];
    offset += image.size;
  }
  KX_FUZZ_REQUIRE(offset == size);
  KX_FUZZ_REQUIRE(SameChecksum(set.StoredChecksum(), header.checksum));
  KX_FUZZ_REQUIRE(set.VerifyChecksum() == (static_cast<double>(sum) == header.checksum ? 1 : 0));
  return 0;
}
