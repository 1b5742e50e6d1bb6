// UpdateDataSet::RebuildPackage: component files merged into a new package.
#include "platform/file_io.h"
#include "platform/file_search.h"
#include "updatedata/component_file.h"
#include "updatedata/package_format.h"
#include "updatedata/update_data_set.h"
#include "updatedata/version_text.h"

namespace kx {

const char* DescribeRebuildProblem(RebuildProblem problem) {
  switch (problem) {
    case RebuildProblem::kNone:
      return "rebuilt";
    case RebuildProblem::kPackageDoesNotLoad:
      return "the package there does not load, and a new one would lose its components";
    case RebuildProblem::kVersionTooLong:
      return "a component file's version text is too long";
    case RebuildProblem::kComponentUnreadable:
      return "a component file could not be read";
    case RebuildProblem::kNoMemory:
      return "not enough memory";
    case RebuildProblem::kWriteFailed:
      return "the new package could not be written";
  }
  return "not rebuilt";
}

RebuildProblem UpdateDataSet::MergePackage(const platform::LocalDate& date,
                                           std::vector<std::uint8_t>& stored) {
  // A package that is there takes part whole or the rebuild stops: one that
  // does not load (its length test, a read error, no permission) would
  // otherwise be replaced by a package of the component files alone.
  bool havePackage = false;
  if (auto package = platform::FindFirstMatch(kPackageFileName)) {
    if (!LoadFoundPackage(package->name)) return RebuildProblem::kPackageDoesNotLoad;
    havePackage = true;
  }

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
      if (fileVersion.size() > package::kMaxVersionLength) {
        platform::ReportFileRefusal(file->name, "version text longer than 31 characters",
                                    platform::FileUse::kUse);
        return RebuildProblem::kVersionTooLong;
      }
      if (!ReadComponentFile(traits, *file, fromFiles[c]))
        return RebuildProblem::kComponentUnreadable;
      entries[c] = {fileVersion, {fromFiles[c].buffer.get(), fromFiles[c].size}};
    } else if (packageSize != 0) {
      entries[c] = {packageVersion, {m_images[c].data, packageSize}};
    }
  }

  if (!package::EncodePackage(entries, package::SeedFromDate(date), stored)) {
    return RebuildProblem::kNoMemory;
  }
  return RebuildProblem::kNone;
}

RebuildProblem UpdateDataSet::Rebuild(const platform::LocalDate& date) {
  std::vector<std::uint8_t> stored;
  if (RebuildProblem problem = MergePackage(date, stored); problem != RebuildProblem::kNone) {
    return problem;
  }
  // Replace the package under the name it already has, whatever its case.
  auto existing = platform::FindFirstMatch(kPackageFileName);
  const std::string target = existing ? existing->name : kPackageFileName;
  return platform::AtomicReplaceFile(target, stored) ? RebuildProblem::kNone
                                                     : RebuildProblem::kWriteFailed;
}

}  // namespace kx
