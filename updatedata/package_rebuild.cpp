// UpdateDataSet::RebuildPackage: component files merged into a new package.
#include "platform/file_io.h"
#include "platform/file_search.h"
#include "updatedata/component_file.h"
#include "updatedata/package_format.h"
#include "updatedata/update_data_set.h"
#include "updatedata/version_text.h"

namespace kx {

int UpdateDataSet::RebuildPackage(const platform::LocalDate& date) {
  const int files = FindUpdateFiles();
  // Only a package that loaded in full takes part in the merge: one that
  // failed its length test has a header whose sizes we hold no bytes for.
  const bool havePackage =
      files == (kComponentFilesPresent | kPackageFilePresent) && LoadPackage() == 1;

  std::array<LoadedImage, kComponentCount> fromFiles;
  std::array<package::Entry, kComponentCount> entries;
  for (const ComponentTraits& traits : kComponents) {
    const std::size_t c = Index(traits.component);
    auto file = platform::FindFirstMatch(traits.filePattern);
    const std::string fileVersion = file ? VersionTextOfFileName(traits, file->name) : "";
    const std::string packageVersion = havePackage ? m_versions[c] : "";
    const std::uint32_t packageSize = havePackage ? m_images[c].size : 0;

    if (CompareVersionNames(fileVersion, packageVersion) == 1) {
      // The header field holds 31 characters; a cut text would name another
      // version than the file's, so such a file is refused rather than cut.
      if (fileVersion.size() > package::kMaxVersionLength) return 0;
      if (!ReadComponentFile(traits, *file, fromFiles[c])) return 0;
      entries[c] = {fileVersion, {fromFiles[c].buffer.get(), fromFiles[c].size}};
    } else if (packageSize != 0) {
      entries[c] = {packageVersion, {m_images[c].data, packageSize}};
    }
  }

  std::vector<std::uint8_t> stored;
  if (!package::EncodePackage(entries, package::SeedFromDate(date), stored)) return 0;
  // Replace the package under the name it already has, whatever its case.
  auto existing = platform::FindFirstMatch(kPackageFileName);
  const std::string target = existing ? existing->name : kPackageFileName;
  return platform::AtomicReplaceFile(target, stored) ? 1 : 0;
}

}  // namespace kx
