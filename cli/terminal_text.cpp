#include "cli/terminal_text.h"

#include <cstdio>

namespace kx::cli {
namespace {

// Length of the UTF-8 character at text[i] (2 to 4), or 0 when the bytes
// there are not one.
std::size_t MultiByteLength(std::string_view text, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  const std::size_t length = (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
  if (length == 0 || lead < 0xC2 || lead > 0xF4 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  const unsigned char second = byte(i + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
    return 0;
  }
  return length;
}

void AppendEscaped(std::string& out, unsigned char byte) {
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
  out += escaped;
}

}  // namespace

std::string ForTerminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7F) {
        AppendEscaped(out, c);
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    const std::size_t length = MultiByteLength(text, i);
    // U+0080..U+009F (C2 80..C2 9F) are the C1 controls: CSI among them.
    const bool c1Control = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length == 0 || c1Control) {
      AppendEscaped(out, c);
      ++i;
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

std::string ForTerminalLines(std::string_view text) {
  std::string out;
  for (std::size_t from = 0;;) {
    const std::size_t end = text.find('\n', from);
    out += ForTerminal(text.substr(from, end == std::string_view::npos ? end : end - from));
    if (end == std::string_view::npos) return out;
    out += '\n';
    from = end + 1;
  }
}

}  // namespace kx::cli
