// UpdateDataSet's view of the loose component files.
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
    std::int32_t length = 0;
    bool loadsAsSRecords =
        SRecordLoader().LoadSRecordFile(file->name, buffer.get(), kFirmwareBufferSize, &length);
    if (loadsAsSRecords != traits.isFirmware) return 0;
  }
  return 1;
}

}  // namespace kx
