#include "camera/text_fields.h"

namespace kx {

std::string FillTextFields(std::string text,
                           const std::vector<std::pair<std::string, std::string>>& fields) {
  for (const auto& [name, value] : fields) {
    const std::string field = "{" + name + "}";
    for (std::size_t at = text.find(field); at != std::string::npos;
         at = text.find(field, at + value.size())) {
      text.replace(at, field.size(), value);
    }
  }
  return text;
}

}  // namespace kx
