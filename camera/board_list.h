// The boards of the supported model, as the driver enumerates them.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "camera/camera_driver.h"

namespace kx {

inline constexpr std::size_t kBoardSlots = 10;
inline constexpr std::size_t kBoardIdSize = 33;  // 32 characters and the terminating zero

// The supported model: a board counts when its id begins with these exact
// four bytes (letter case included).
inline constexpr const char* kSupportedModel = "KX58";

// 1 with the ids of the supported model in the driver's order; 0 when the
// driver's enumeration failed or it reported no board at all.
int EnumerateBoards(CameraDriver& driver, std::vector<std::string>& boards);

// The board choice as every front end shows it: sorted ascending.
std::vector<std::string> SortedBoardChoices(std::vector<std::string> ids);

}  // namespace kx
