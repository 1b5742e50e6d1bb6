// UpdateDataSet::RebuildPackage: component files merged into a new package.
#include "platform/file_io.h"
#include "platform/file_search.h"
#include "updatedata/component_file.h"
#include "updatedata/package_format.h"
#include "updatedata/update_data_set.h"
#include "updatedata/version_text.h"

namespace kx {

std::string ReasonOf(const RebuildOutcome& outcome) {
  switch (outcome.problem) {
    case RebuildProblem::kNone:
      return {};
    case RebuildProblem::kPackageDoesNotLoad:
      return outcome.file + ": " + outcome.cause +
             "; no package is rebuilt without it, or its components would be lost";
    case RebuildProblem::kVersionTooLong:
    case RebuildProblem::kComponentRefused:
      return outcome.file + ": " + outcome.cause;
    case RebuildProblem::kComponentUnreadable:
      return "cannot read " + outcome.file + ": " + outcome.cause;
    case RebuildProblem::kNoMemory:
      return "not enough memory to build the new package";
    case RebuildProblem::kWriteFailed:
      return "cannot write " + outcome.file + ": " + outcome.cause;
  }
  return outcome.cause;
}

int UpdateDataSet::RebuildPackage(const platform::LocalDate& date) {
  const RebuildOutcome outcome = Rebuild(date);
  // A file that could not be opened has been told where it was opened.
  switch (outcome.problem) {
    case RebuildProblem::kPackageDoesNotLoad:
    case RebuildProblem::kVersionTooLong:
    case RebuildProblem::kComponentRefused:
      platform::ReportFileRefusal(outcome.file, outcome.cause, platform::FileUse::kUse);
      break;
    default:
      break;
  }
  return outcome ? 1 : 0;
}

RebuildOutcome UpdateDataSet::MergePackage(const platform::LocalDate& date,
                                           std::vector<std::uint8_t>& stored) {
  // A package that is there takes part whole or the rebuild stops: one that
  // does not load (its length test, a read error, no permission) would
  // otherwise be replaced by a package of the component files alone.
  bool havePackage = false;
  if (auto package = platform::FindFirstMatch(kPackageFileName)) {
    if (PackageLoad load = LoadPackageFrom(package->name); !load) {
      return {RebuildProblem::kPackageDoesNotLoad, package->name, DescribePackageLoad(load)};
    }
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
        return {RebuildProblem::kVersionTooLong, file->name,
                "version text longer than 31 characters"};
      }
      const ComponentRead read = ReadComponentFile(traits, *file, fromFiles[c]);
      switch (read.problem) {
        case ComponentReadProblem::kNone:
          break;
        case ComponentReadProblem::kCannotRead:
          return {RebuildProblem::kComponentUnreadable, file->name, read.cause};
        case ComponentReadProblem::kRefused:
          return {RebuildProblem::kComponentRefused, file->name, read.cause};
        case ComponentReadProblem::kNoMemory:
          return {RebuildProblem::kNoMemory, file->name, read.cause};
      }
      entries[c] = {fileVersion, {fromFiles[c].buffer.get(), fromFiles[c].size}};
    } else if (packageSize != 0) {
      entries[c] = {packageVersion, {m_images[c].data, packageSize}};
    }
  }

  if (!package::EncodePackage(entries, package::SeedFromDate(date), stored)) {
    return {RebuildProblem::kNoMemory, {}, "not enough memory"};
  }
  return {};
}

RebuildOutcome UpdateDataSet::Rebuild(const platform::LocalDate& date,
                                      const platform::WriteFunction& write) {
  std::vector<std::uint8_t> stored;
  if (RebuildOutcome merged = MergePackage(date, stored); !merged) return merged;
  // Replace the package under the name it already has, whatever its case.
  auto existing = platform::FindFirstMatch(kPackageFileName);
  const std::string target = existing ? existing->name : kPackageFileName;
  if (platform::FileStatus written = platform::AtomicReplaceFile(target, stored, write); !written) {
    return {RebuildProblem::kWriteFailed, target, platform::DescribeFileStatus(written)};
  }
  return {RebuildProblem::kNone, target, {}};
}

}  // namespace kx
