// UpdateDataSet's reading side of the package file.
#include <cstdio>
#include <cstring>

#include "platform/file_io.h"
#include "platform/file_search.h"
#include "updatedata/package_format.h"
#include "updatedata/update_data_set.h"

namespace kx {
namespace {

// The length test, made from the stored header alone: the seed is the one
// field stored unscrambled, and the key stream's first 256 bytes unscramble
// the header whatever follows it.
PackageLoad CheckStoredHeader(const std::uint8_t* storedHeader, std::uint64_t size) {
  PackageLoad load;
  load.fileSize = size;
  std::uint8_t plain[package::kHeaderSize];
  std::memcpy(plain, storedHeader, sizeof plain);
  package::ApplyKeyStream(plain, package::StoredSeed(storedHeader), sizeof plain);
  load.statedSize = package::DecodeHeader(plain).ExpectedFileSize();
  if (load.statedSize != size) load.problem = PackageProblem::kLengthMismatch;
  return load;
}

}  // namespace

std::string DescribePackageLoad(const PackageLoad& load) {
  switch (load.problem) {
    case PackageProblem::kNone:
      return "loaded";
    case PackageProblem::kCannotRead:
      return platform::DescribeFileStatus(load.file);
    case PackageProblem::kShorterThanHeader:
      return std::to_string(load.fileSize) + " bytes, shorter than the 256-byte header";
    case PackageProblem::kLengthMismatch:
      return std::to_string(load.fileSize) +
             " bytes, but its header states 256 + sizes = " + std::to_string(load.statedSize);
    case PackageProblem::kNoMemory:
      return "not enough memory to hold it";
  }
  return "does not load";
}

std::string ReasonOf(const std::string& path, const PackageLoad& load) {
  switch (load.problem) {
    case PackageProblem::kNone:
      return {};
    case PackageProblem::kCannotRead:
      if (load.file.problem == platform::FileProblem::kNotFound) return "no package file " + path;
      return "cannot read " + path + ": " + DescribePackageLoad(load);
    default:
      return path + ": " + DescribePackageLoad(load);
  }
}

std::string ReasonOf(const std::string& path, const ChecksumCheck& check) {
  if (!check.loaded) return path + ": no package loaded to test";
  if (check.matches) return {};
  char text[160];
  std::snprintf(text, sizeof text, "checksum test failed: stored %.0f, images sum to %.0f",
                check.stored, check.computed);
  return path + ": " + text;
}

int UpdateDataSet::Scramble(std::uint8_t* buffer, std::int32_t seed, std::uint32_t length) {
  package::ApplyKeyStream(buffer, seed, length);
  return 1;
}

int UpdateDataSet::LoadPackage() {
  const PackageLoad load = LoadPackageHere();
  // The file's own refusals are told where it is opened.
  if (load.problem != PackageProblem::kNone && load.problem != PackageProblem::kCannotRead) {
    platform::ReportFileRefusal(load.path, DescribePackageLoad(load), platform::FileUse::kUse);
  }
  return load ? 1 : 0;
}

PackageLoad UpdateDataSet::LoadPackageHere() {
  auto found = platform::FindFirstMatch(kPackageFileName);
  if (!found) {
    PackageLoad load;
    load.problem = PackageProblem::kCannotRead;
    load.file = {platform::FileProblem::kNotFound, 0, 0};
    load.path = kPackageFileName;
    return load;
  }
  return LoadPackageFrom(found->name);
}

PackageLoad UpdateDataSet::LoadPackageFrom(const std::string& path) {
  PackageLoad load = ReadPackage(path);
  load.path = path;
  return load;
}

PackageLoad UpdateDataSet::ReadPackage(const std::string& path) {
  PackageLoad load;
  platform::ReadOnlyFile file(path);
  if (!file.IsOpen()) {
    load.problem = PackageProblem::kCannotRead;
    load.file = file.Status();
    return load;
  }
  load.fileSize = file.Size();
  if (load.fileSize < package::kHeaderSize) {
    load.problem = PackageProblem::kShorterThanHeader;
    return load;
  }

  std::uint8_t header[package::kHeaderSize];
  if (platform::FileStatus read = file.ReadExactly(header, sizeof header); !read) {
    load.problem = PackageProblem::kCannotRead;
    load.file = read;
    return load;
  }
  load = CheckStoredHeader(header, file.Size());
  if (!load) return load;

  // Only now is the rest worth memory: the header states exactly this
  // length, which is at most kMaxPackageSize.
  const std::size_t size = static_cast<std::size_t>(load.fileSize);
  ByteBuffer stored = AllocateBytes(size);
  if (!stored) {
    load.problem = PackageProblem::kNoMemory;
    return load;
  }
  std::memcpy(stored.get(), header, sizeof header);
  if (platform::FileStatus read =
          file.ReadExactly(stored.get() + sizeof header, size - sizeof header);
      !read) {
    load.problem = PackageProblem::kCannotRead;
    load.file = read;
    return load;
  }
  PackageLoad taken = TakeStoredPackage(std::move(stored), size);
  taken.fileSize = load.fileSize;
  taken.statedSize = load.statedSize;
  return taken;
}

PackageLoad UpdateDataSet::LoadPackageFromMemory(std::span<const std::uint8_t> stored) {
  PackageLoad load;
  load.fileSize = stored.size();
  if (stored.size() < package::kHeaderSize) {
    load.problem = PackageProblem::kShorterThanHeader;
    return load;
  }
  load = CheckStoredHeader(stored.data(), stored.size());
  if (!load) return load;
  ByteBuffer copy = AllocateBytes(stored.size());
  if (!copy) {
    load.problem = PackageProblem::kNoMemory;
    return load;
  }
  std::memcpy(copy.get(), stored.data(), stored.size());
  PackageLoad taken = TakeStoredPackage(std::move(copy), stored.size());
  taken.fileSize = load.fileSize;
  taken.statedSize = load.statedSize;
  return taken;
}

PackageLoad UpdateDataSet::TakeStoredPackage(ByteBuffer stored, std::size_t size) {
  PackageLoad load;
  // The seed is the one field stored unscrambled: take it before unscrambling.
  package::ApplyKeyStream(stored.get(), package::StoredSeed(stored.get()), size);
  const package::Header header = package::DecodeHeader(stored.get());

  // Make every new buffer before touching the data set, so that running out
  // of memory part-way leaves it whole.
  std::array<ByteBuffer, kComponentCount> fresh;
  for (std::size_t c = 0; c < kComponentCount; ++c) {
    if (header.sizes[c] == 0) continue;
    fresh[c] = AllocateBytes(header.sizes[c]);
    if (!fresh[c]) {
      load.problem = PackageProblem::kNoMemory;
      return load;
    }
  }

  std::size_t offset = package::kHeaderSize;
  for (std::size_t c = 0; c < kComponentCount; ++c) {
    m_versions[c] = header.versions[c];
    m_images[c].size = header.sizes[c];
    // A component the new package leaves empty keeps its old buffer; with
    // size 0 nobody reads it.
    if (header.sizes[c] == 0) continue;
    std::memcpy(fresh[c].get(), stored.get() + offset, header.sizes[c]);
    m_buffers[c] = std::move(fresh[c]);
    m_images[c].data = m_buffers[c].get();
    offset += header.sizes[c];
  }
  m_storedChecksum = header.checksum;
  m_package = std::move(stored);
  m_packageSize = size;
  return load;
}

ChecksumCheck UpdateDataSet::CheckChecksum() const {
  ChecksumCheck check;
  std::uint64_t imageBytes = 0;
  for (const ComponentImage& image : m_images) imageBytes += image.size;
  if (!m_package || package::kHeaderSize + imageBytes > m_packageSize) return check;
  check.loaded = true;
  check.stored = m_storedChecksum;
  check.computed = package::ByteSum(m_package.get() + package::kHeaderSize,
                                    static_cast<std::size_t>(imageBytes));
  check.matches = check.computed == check.stored;
  return check;
}

}  // namespace kx
