// Which file of a component is used when its pattern matches several.
#pragma once

#include <string>
#include <vector>

#include "updatedata/component.h"

namespace kx {

// A component whose file pattern matches more than one file: the search
// takes the first name in byte order and nothing reads the others.
struct ComponentFileChoice {
  Component component;
  std::string used;
  std::vector<std::string> ignored;  // in byte order
};

// Every component of `folder` (the working directory by default) whose
// pattern matches several regular files, in component order.
std::vector<ComponentFileChoice> FindComponentFileChoices(const std::string& folder = ".");

// "FPGA1: KXFPGA1v01_02_00.rbf used; KXFPGA1v01_03_00.rbf ignored".
std::string DescribeComponentFileChoice(const ComponentFileChoice& choice);

// The ignored files of all choices, in component order.
std::vector<std::string> IgnoredFiles(const std::vector<ComponentFileChoice>& choices);

}  // namespace kx
