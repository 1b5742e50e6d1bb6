#include "camera/board_list.h"

#include <algorithm>
#include <cstring>

namespace kx {

int EnumerateBoards(CameraDriver& driver, std::vector<std::string>& boards) {
  // Every slot is cleared first, so a driver that leaves no empty slot after
  // its last id cannot make us read stale bytes; one more zero byte after
  // each slot stops a driver that fills a slot to the brim from running into
  // the next.
  std::array<std::array<char, kBoardIdSize + 1>, kBoardSlots> slots{};
  std::array<char*, kBoardSlots> pointers{};
  for (std::size_t i = 0; i < kBoardSlots; ++i) pointers[i] = slots[i].data();
  std::strcpy(slots[0].data(), "__BOARD__");

  if (driver.CAM_EnumCameraEx(1, pointers.data(), kBoardSlots, kBoardIdSize) == 0) return 0;
  if (slots[0][0] == '\0') return 0;

  std::vector<std::string> found;
  for (const auto& slot : slots) {
    if (slot[0] == '\0') break;
    std::string id(slot.data(), strnlen(slot.data(), kBoardIdSize - 1));
    if (id.compare(0, 4, kSupportedModel) == 0) found.push_back(id);
  }
  boards = std::move(found);
  return 1;
}

std::vector<std::string> SortedBoardChoices(std::vector<std::string> ids) {
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace kx
