// The four components that an update writes, and what is fixed about each.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kx {

// Position of a component in the package file, the data set and the update
// run. The order is part of the package format: do not reorder.
enum class Component : std::size_t { kFpga1 = 0, kFpga2 = 1, kFirmAppl = 2, kFirmBoot = 3 };

inline constexpr std::size_t kComponentCount = 4;

struct ComponentTraits {
  Component component;
  const char* label;         // "FPGA1", ...: user texts and settings keys
  std::int32_t kind;         // the kind the driver is told in ComponentImage
  const char* filePattern;   // "KXFPGA1v*.rbf", ...: the component file's name
  std::size_t prefixLength;  // characters before the version text in that name
  std::size_t suffixLength;  // characters after it (the extension)
  bool isFirmware;           // S-record text (true) or raw bytes (false)
};

// Note the kinds: the application firmware is third in the order but kind 0.
inline constexpr std::array<ComponentTraits, kComponentCount> kComponents = {{
    {Component::kFpga1, "FPGA1", 1, "KXFPGA1v*.rbf", 8, 4, false},
    {Component::kFpga2, "FPGA2", 2, "KXFPGA2v*.rbf", 8, 4, false},
    {Component::kFirmAppl, "Firm(Appl)", 0, "KXFirmv*.s", 7, 2, true},
    {Component::kFirmBoot, "Firm(Boot)", 3, "KXBootv*.s", 7, 2, true},
}};

inline constexpr const ComponentTraits& TraitsOf(Component c) {
  return kComponents[static_cast<std::size_t>(c)];
}

// Firmware images are loaded into buffers of this size, which is also the
// S-record loader's capacity.
inline constexpr std::uint32_t kFirmwareBufferSize = 0x100000;

}  // namespace kx
