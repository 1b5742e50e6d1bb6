// Version texts: "major_minor_third" as in component file names and the
// package header, compared numerically, and their "V%.2d.%.2d.%.2d" form.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "updatedata/component.h"

namespace kx {

// The version text a component file's name carries: what stands between
// the name prefix and the extension ("KXFPGA1v01_02_03.rbf" -> "01_02_03").
// The name is one that matched the component's pattern.
std::string VersionTextOfFileName(const ComponentTraits& traits, const std::string& fileName);

// The three numbers of a version text. The text is split like the scan
// "%[^_]_%[^_]_%[^_]" does (anything after a third underscore ignored) and
// each part read as atoi reads (leading blanks, a sign, digits), saturating
// at the 32-bit limits instead of overflowing. Parts that the scan does not
// fill (as in "1_2", "_1_2", "1__2_3") read as 0.
std::array<std::int32_t, 3> ParseVersionNumbers(const std::string& text);

// 1: `first` is newer, or only `first` is non-empty. 2: `second` is newer, or
// only `second` is non-empty. 0: the same version, or both empty.
int CompareVersionNames(std::string first, std::string second);

// "V%.2d.%.2d.%.2d" of the three numbers: 1_2_3 -> V01.02.03, 1_2_100 -> V01.02.100.
std::string FormatVersion(const std::string& text);

}  // namespace kx
