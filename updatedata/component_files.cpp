// UpdateDataSet's view of the loose component files.
#include "platform/file_problem.h"
#include "platform/file_search.h"
#include "updatedata/srecord_loader.h"
#include "updatedata/update_data_set.h"

namespace kx {

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
  ByteBuffer buffer;  // made at the first file found, used again for the others
  for (const ComponentTraits& traits : kComponents) {
    auto file = platform::FindFirstMatch(traits.filePattern);
    if (!file) continue;
    if (!buffer) buffer = AllocateBytes(kFirmwareBufferSize);
    if (!buffer) return 0;
    const SRecordLoad load = SRecordLoader().Load(file->name, buffer.get(), kFirmwareBufferSize);
    // An empty file, a header alone, a Ctrl-Z first: S-record text that loads,
    // and so no FPGA data, yet without a byte of firmware either.
    const bool holdsFirmware = load && load.dataBytes > 0;
    const bool rightKind = traits.isFirmware ? holdsFirmware : !load;
    if (rightKind) continue;
    if (load.problem != SRecordProblem::kCannotOpen && load.problem != SRecordProblem::kReadError) {
      const std::string cause = traits.isFirmware ? "not firmware: " + DescribeSRecordLoad(load)
                                : file->size == 0 ? std::string("empty, not FPGA data")
                                                  : std::string("S-record text, not FPGA data");
      platform::ReportFileRefusal(file->name, cause, platform::FileUse::kUse);
    }
    return 0;
  }
  return 1;
}

}  // namespace kx
