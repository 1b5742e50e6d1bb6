// UpdateDataSet's view of the loose component files.
#include "platform/file_problem.h"
#include "platform/file_search.h"
#include "updatedata/srecord_loader.h"
#include "updatedata/update_data_set.h"

namespace kx {

std::string ReasonOf(const KindCheck& check) {
  switch (check.problem) {
    case KindProblem::kNone:
      return {};
    case KindProblem::kWrongKind:
      return check.file + ": " + check.cause;
    case KindProblem::kCannotRead:
      return "cannot read " + check.file + ": " + check.cause;
    case KindProblem::kNoMemory:
      return "not enough memory to check the component files";
  }
  return check.cause;
}

int UpdateDataSet::FindUpdateFiles() const {
  int found = 0;
  for (const char* pattern : {"KXFPGA*.rbf", "KXFirm*.s", "KXBoot*.s"}) {
    if (platform::FindFirstMatch(pattern)) {
      found |= kComponentFilesPresent;
      break;
    }
  }
  if (platform::FindFirstMatch(kPackageFileName)) found |= kPackageFilePresent;
  return found;
}

int UpdateDataSet::CheckComponentFileKinds() const {
  const KindCheck check = CheckKinds();
  // The file that cannot be opened has been told where it was opened.
  if (check.problem == KindProblem::kWrongKind) {
    platform::ReportFileRefusal(check.file, check.cause, platform::FileUse::kUse);
  }
  return check ? 1 : 0;
}

KindCheck UpdateDataSet::CheckKinds() const {
  ByteBuffer buffer;  // made at the first file found, used again for the others
  for (const ComponentTraits& traits : kComponents) {
    auto file = platform::FindFirstMatch(traits.filePattern);
    if (!file) continue;
    if (!buffer) buffer = AllocateBytes(kFirmwareBufferSize);
    if (!buffer) return {KindProblem::kNoMemory, file->name, "not enough memory"};
    const SRecordLoad load = SRecordLoader().Load(file->name, buffer.get(), kFirmwareBufferSize);
    // A file that cannot be read has no kind that could be told: whatever it
    // holds, neither the check nor the rebuild can use it.
    if (load.problem == SRecordProblem::kCannotOpen || load.problem == SRecordProblem::kReadError) {
      return {KindProblem::kCannotRead, file->name, DescribeSRecordLoad(load)};
    }
    // An empty file, a header alone, a Ctrl-Z first: S-record text that loads,
    // and so no FPGA data, yet without a byte of firmware either.
    const bool holdsFirmware = load && load.dataBytes > 0;
    const bool rightKind = traits.isFirmware ? holdsFirmware : !load;
    if (rightKind) continue;
    return {KindProblem::kWrongKind, file->name,
            traits.isFirmware ? "not firmware: " + DescribeSRecordLoad(load)
            : file->size == 0 ? std::string("empty, not FPGA data")
                              : std::string("S-record text, not FPGA data")};
  }
  return {};
}

}  // namespace kx
