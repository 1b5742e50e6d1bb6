// Filling the {name} fields of a string-table text.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kx {

// `text` with every "{name}" replaced by its value.
std::string FillTextFields(std::string text,
                           const std::vector<std::pair<std::string, std::string>>& fields);

}  // namespace kx
