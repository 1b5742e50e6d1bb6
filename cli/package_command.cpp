// kxupdate package inspect | build | extract
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/terminal_text.h"
#include "platform/file_io.h"
#include "platform/file_search.h"
#include "platform/local_date.h"
#include "res/string_table.h"
#include "res/user_language.h"
#include "updatedata/component_file_choice.h"
#include "updatedata/package_format.h"
#include "updatedata/update_data_set.h"

namespace kx::cli {
namespace {

namespace fs = std::filesystem;

// What a package file says about itself, read independently of the data set
// so that a damaged file can still be described.
struct PackageReport {
  std::string path;
  bool exists = false;
  std::uint64_t length = 0;
  bool loaded = false;
  bool checksumOk = false;
  std::int32_t seed = 0;
  bool headerRead = false;
  package::Header header{};
  double computedChecksum = 0;
  std::string problem;  // the check that failed, empty when none did
  // Components with several files beside the package: the one a rebuild
  // there takes, and those it passes by.
  std::vector<ComponentFileChoice> choices;
};

PackageReport InspectPackage(const std::string& path, UpdateDataSet& set) {
  PackageReport report;
  report.path = path;
  const std::string folder = fs::path(path).parent_path().string();
  report.choices = FindComponentFileChoices(folder.empty() ? "." : folder);
  const PackageLoad load = set.LoadPackageFrom(path);
  if (load.problem == PackageProblem::kCannotRead && load.fileSize == 0) {
    // Never opened (an open file is at least a header long before it is
    // read): missing, not a regular file, or no permission.
    report.problem = load.file.problem == platform::FileProblem::kNotFound
                         ? "no package file " + path
                         : path + ": " + platform::DescribeFileStatus(load.file);
    return report;
  }
  report.exists = true;
  report.length = load.fileSize;
  report.loaded = static_cast<bool>(load);
  report.checksumOk = report.loaded && set.VerifyChecksum() == 1;

  // The header alone, read again, describes also a file that did not load.
  std::uint8_t header[package::kHeaderSize];
  if (report.length >= package::kHeaderSize &&
      platform::ReadFileExactly(path, header, package::kHeaderSize)) {
    report.seed = package::StoredSeed(header);
    package::ApplyKeyStream(header, report.seed, package::kHeaderSize);
    report.header = package::DecodeHeader(header);
    report.headerRead = true;
  }
  if (report.loaded) {
    report.header.checksum = set.StoredChecksum();
    report.computedChecksum = package::ByteSum(set.PackageImage() + package::kHeaderSize,
                                               set.PackageSize() - package::kHeaderSize);
  }

  switch (load.problem) {
    case PackageProblem::kNone:
      if (!report.checksumOk) {
        char text[160];
        std::snprintf(text, sizeof text, "checksum test failed: stored %.0f, images sum to %.0f",
                      report.header.checksum, report.computedChecksum);
        report.problem = text;
      }
      break;
    case PackageProblem::kShorterThanHeader:
      report.problem =
          "file is " + std::to_string(report.length) + " bytes, shorter than the 256-byte header";
      break;
    case PackageProblem::kLengthMismatch:
      report.problem = "length test failed: file is " + std::to_string(report.length) +
                       " bytes, header says 256 + sizes = " + std::to_string(load.statedSize);
      break;
    case PackageProblem::kCannotRead:
    case PackageProblem::kNoMemory:
      report.problem = "package could not be read: " + DescribePackageLoad(load);
      break;
  }
  return report;
}

void PrintReportText(const PackageReport& report, const UpdateDataSet& set) {
  std::cout << "package:  " << ForTerminal(report.path) << "\n";
  for (const ComponentFileChoice& choice : report.choices) {
    std::cout << "choice:   " << ForTerminal(DescribeComponentFileChoice(choice)) << "\n";
  }
  if (!report.exists) return;
  std::cout << "length:   " << report.length << " bytes\n";
  if (report.headerRead || report.loaded) {
    std::cout << "seed:     " << report.seed << "\n";
  }
  if (report.loaded) {
    char text[128];
    std::snprintf(text, sizeof text, "checksum: %.0f stored, %.0f computed, %s\n",
                  report.header.checksum, report.computedChecksum,
                  report.checksumOk ? "matches" : "DOES NOT MATCH");
    std::cout << text;
    std::cout << "components:\n";
    for (const ComponentTraits& traits : kComponents) {
      ComponentImage image = set.ImageOf(traits.component);
      std::string version = ForTerminal(set.VersionOf(traits.component));
      std::snprintf(text, sizeof text, "  %-10s kind %d  version %-12s %10u bytes\n", traits.label,
                    traits.kind, version.empty() ? "-" : version.c_str(), image.size);
      std::cout << text;
    }
  }
}

void PrintReportJson(const PackageReport& report, const UpdateDataSet& set) {
  JsonWriter json;
  json.BeginObject();
  json.Key("file").String(report.path);
  json.Key("loaded").Bool(report.loaded);
  json.Key("checksum_ok").Bool(report.checksumOk);
  json.Key("seed");
  if (report.headerRead || report.loaded) {
    json.Number(std::int64_t{report.seed});
  } else {
    json.Null();
  }
  json.Key("length").Number(static_cast<std::int64_t>(report.length));
  json.Key("stored_checksum");
  if (report.loaded) {
    json.Number(report.header.checksum);
  } else {
    json.Null();
  }
  json.Key("computed_checksum");
  if (report.loaded) {
    json.Number(report.computedChecksum);
  } else {
    json.Null();
  }
  json.Key("error");
  if (report.problem.empty()) {
    json.Null();
  } else {
    json.String(report.problem);
  }
  json.Key("ignored_files").BeginArray();
  for (const std::string& name : IgnoredFiles(report.choices)) json.String(name);
  json.EndArray();
  json.Key("components").BeginArray();
  if (report.loaded) {
    for (const ComponentTraits& traits : kComponents) {
      json.BeginObject();
      json.Key("label").String(traits.label);
      json.Key("kind").Number(std::int64_t{traits.kind});
      json.Key("version").String(set.VersionOf(traits.component));
      json.Key("size").Number(std::int64_t{set.ImageOf(traits.component).size});
      json.EndObject();
    }
  }
  json.EndArray();
  json.EndObject();
  std::cout << json.text() << "\n";
}

int Inspect(const Arguments& args) {
  if (args.positional().size() > 2) {
    PrintError("package inspect takes at most one file");
    return kExitUsage;
  }
  std::string path = args.positional().size() == 2 ? args.positional()[1] : kPackageFileName;
  UpdateDataSet set;
  PackageReport report = InspectPackage(path, set);
  if (args.Has("json")) {
    PrintReportJson(report, set);
  } else {
    PrintReportText(report, set);
  }
  if (!report.problem.empty()) {
    PrintError(report.problem);
    return kExitFailure;
  }
  return kExitOk;
}

// Loads and verifies as the update dialog does, and says only whether the
// package is sound, or the one reason why not: the quick check for scripts.
int Verify(const Arguments& args) {
  if (args.positional().size() > 2) {
    PrintError("package verify takes at most one file");
    return kExitUsage;
  }
  std::string path = args.positional().size() == 2 ? args.positional()[1] : kPackageFileName;
  UpdateDataSet set;
  const PackageLoad load = set.LoadPackageFrom(path);
  if (!load) {
    PrintError(ReasonOf(path, load));
    return kExitFailure;
  }
  if (const ChecksumCheck checksum = set.CheckChecksum(); !checksum) {
    PrintError(ReasonOf(path, checksum));
    return kExitFailure;
  }
  std::cout << ForTerminal(path) << ": OK\n";
  return kExitOk;
}

// The build date: --date, else SOURCE_DATE_EPOCH (as UTC, the convention for
// reproducible builds), else today in the local time zone.
bool BuildDate(const Arguments& args, platform::LocalDate& date) {
  if (auto text = args.Value("date")) {
    auto parsed = platform::ParseIsoDate(*text);
    if (!parsed) {
      PrintError("--date wants a calendar date as YYYY-MM-DD, not '" + *text + "'");
      return false;
    }
    date = *parsed;
    return true;
  }
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
    char* end = nullptr;
    long long seconds = std::strtoll(epoch, &end, 10);
    if (*end != '\0' || seconds < 0) {
      PrintError(std::string("SOURCE_DATE_EPOCH is not a number of seconds: '") + epoch + "'");
      return false;
    }
    std::time_t when = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&when, &parts);
    date = {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
    return true;
  }
  date = platform::TodayLocal();
  return true;
}

int Build(const Arguments& args, Language language) {
  if (args.positional().size() > 2) {
    PrintError("package build takes at most one folder");
    return kExitUsage;
  }
  platform::LocalDate date{};
  if (!BuildDate(args, date)) return kExitUsage;
  if (args.positional().size() == 2) {
    std::error_code error;
    fs::current_path(args.positional()[1], error);
    if (error) {
      PrintError("cannot work in " + args.positional()[1] + ": " + error.message());
      return kExitFailure;
    }
  }
  UpdateDataSet set;
  if ((set.FindUpdateFiles() & kComponentFilesPresent) == 0) {
    PrintError("no component files (KXFPGA1v*.rbf, KXFPGA2v*.rbf, KXFirmv*.s, KXBootv*.s) here");
    return kExitFailure;
  }
  // The update dialog's messages, and the one reason beside them.
  if (const KindCheck kinds = set.CheckKinds(); !kinds) {
    std::cerr << LoadString(kinds.problem == KindProblem::kCannotRead ? 403 : 408, language)
              << "\n";
    PrintError(ReasonOf(kinds));
    return kExitFailure;
  }
  const RebuildOutcome rebuilt = set.Rebuild(date);
  if (!rebuilt) {
    std::cerr << LoadString(403, language) << "\n";
    PrintError("no package written: " + ReasonOf(rebuilt));
    return kExitFailure;
  }
  UpdateDataSet written;
  PackageReport report = InspectPackage(rebuilt.file, written);
  std::error_code noPath;
  const fs::path where = fs::absolute(rebuilt.file, noPath);
  std::cout << "wrote " << (noPath ? rebuilt.file : where.lexically_normal().string()) << "\n";
  PrintReportText(report, written);
  return report.problem.empty() ? kExitOk : kExitFailure;
}

std::string ExtractName(const ComponentTraits& traits) {
  switch (traits.component) {
    case Component::kFpga1: return "FPGA1.bin";
    case Component::kFpga2: return "FPGA2.bin";
    case Component::kFirmAppl: return "Firm-Appl.bin";
    case Component::kFirmBoot: return "Firm-Boot.bin";
  }
  return "component.bin";
}

int Extract(const Arguments& args) {
  auto out = args.Value("out");
  if (!out || args.positional().size() > 2) {
    PrintError("package extract wants [FILE] and --out DIR");
    return kExitUsage;
  }
  std::string path = args.positional().size() == 2 ? args.positional()[1] : kPackageFileName;
  UpdateDataSet set;
  PackageReport report = InspectPackage(path, set);
  if (!report.problem.empty()) {
    PrintError(report.problem + "; nothing extracted");
    return kExitFailure;
  }
  std::error_code error;
  fs::create_directories(*out, error);
  if (error) {
    PrintError("cannot make " + *out + ": " + error.message());
    return kExitFailure;
  }
  for (const ComponentTraits& traits : kComponents) {
    ComponentImage image = set.ImageOf(traits.component);
    if (image.size == 0) continue;
    std::string target = (fs::path(*out) / ExtractName(traits)).string();
    if (!platform::AtomicReplaceFile(target, {image.data, image.size})) {
      PrintError("cannot write " + target);
      return kExitFailure;
    }
    std::cout << traits.label << " " << ForTerminal(set.VersionOf(traits.component)) << " -> "
              << ForTerminal(target) << " ("
              << image.size << " bytes)\n";
  }
  return kExitOk;
}

}  // namespace

int RunPackageCommand(const std::vector<std::string>& words, const GlobalOptions& global) {
  Arguments args(words, {"json"}, {"date", "out"});
  if (!args.ok()) {
    PrintError(args.error());
    return kExitUsage;
  }
  const std::string verb = args.positional().empty() ? "" : args.positional()[0];
  if (verb == "inspect") return Inspect(args);
  if (verb == "verify") return Verify(args);
  if (verb == "build") return Build(args, global.LanguageOrDefault());
  if (verb == "extract") return Extract(args);
  PrintError(verb.empty() ? std::string("package needs a subcommand: inspect, verify, build or extract")
                          : "unknown package subcommand '" + verb + "'");
  return kExitUsage;
}

}  // namespace kx::cli
