// UpdateDataSet's reading side of the package file.
#include <cstring>

#include "platform/file_io.h"
#include "platform/file_search.h"
#include "updatedata/package_format.h"
#include "updatedata/update_data_set.h"

namespace kx {

int UpdateDataSet::Scramble(std::uint8_t* buffer, std::int32_t seed, std::uint32_t length) {
  package::ApplyKeyStream(buffer, seed, length);
  return 1;
}

int UpdateDataSet::LoadPackage() {
  auto found = platform::FindFirstMatch(kPackageFileName);
  if (!found) return 0;
  return LoadPackageFile(found->name, found->size);
}

int UpdateDataSet::LoadPackageFile(const std::string& path, std::uint64_t size) {
  if (size < package::kHeaderSize) return 0;
  // No header's sizes can add up to more than this; do not even allocate.
  if (size > package::kMaxPackageSize) return 0;

  const std::size_t fileSize = static_cast<std::size_t>(size);
  m_package.reset();
  m_packageSize = 0;
  m_package = AllocateBytes(fileSize);
  if (!m_package) return 0;
  m_packageSize = fileSize;
  if (!platform::ReadFileExactly(path, m_package.get(), fileSize)) {
    std::memset(m_package.get(), 0xFF, fileSize);
    return 0;
  }

  // The seed is the one field stored unscrambled: take it before unscrambling.
  const std::int32_t seed = package::StoredSeed(m_package.get());
  package::ApplyKeyStream(m_package.get(), seed, fileSize);

  const package::Header header = package::DecodeHeader(m_package.get());
  if (header.ExpectedFileSize() != size) return 0;

  // Make every new buffer before touching the data set, so that running out
  // of memory part-way leaves it whole.
  std::array<ByteBuffer, kComponentCount> fresh;
  for (std::size_t c = 0; c < kComponentCount; ++c) {
    if (header.sizes[c] == 0) continue;
    fresh[c] = AllocateBytes(header.sizes[c]);
    if (!fresh[c]) return 0;
  }

  std::size_t offset = package::kHeaderSize;
  for (std::size_t c = 0; c < kComponentCount; ++c) {
    m_versions[c] = header.versions[c];
    m_images[c].size = header.sizes[c];
    // A component the new package leaves empty keeps its old buffer; with
    // size 0 nobody reads it.
    if (header.sizes[c] == 0) continue;
    std::memcpy(fresh[c].get(), m_package.get() + offset, header.sizes[c]);
    m_buffers[c] = std::move(fresh[c]);
    m_images[c].data = m_buffers[c].get();
    offset += header.sizes[c];
  }
  m_storedChecksum = header.checksum;
  return 1;
}

int UpdateDataSet::VerifyChecksum() const {
  std::uint64_t imageBytes = 0;
  for (const ComponentImage& image : m_images) imageBytes += image.size;
  if (!m_package || package::kHeaderSize + imageBytes > m_packageSize) return 0;
  double sum = package::ByteSum(m_package.get() + package::kHeaderSize,
                                static_cast<std::size_t>(imageBytes));
  return sum == m_storedChecksum ? 1 : 0;
}

}  // namespace kx
