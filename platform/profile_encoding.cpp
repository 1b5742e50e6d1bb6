#include "platform/profile_encoding.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <utility>

namespace kx::platform {
namespace {

constexpr std::uint8_t kUtf8Mark[] = {0xEF, 0xBB, 0xBF};

bool StartsWith(std::span<const std::uint8_t> bytes, std::uint8_t first, std::uint8_t second) {
  return bytes.size() >= 2 && bytes[0] == first && bytes[1] == second;
}

bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Appends the UTF-8 sequence of `code`; a surrogate gets the three bytes its
// code point would have.
void AppendUtf8(std::string& out, std::uint32_t code) {
  auto put = [&out](std::uint32_t byte) { out.push_back(static_cast<char>(byte)); };
  if (code < 0x80) {
    put(code);
  } else if (code < 0x800) {
    put(0xC0 | (code >> 6));
    put(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    put(0xE0 | (code >> 12));
    put(0x80 | ((code >> 6) & 0x3F));
    put(0x80 | (code & 0x3F));
  } else {
    put(0xF0 | (code >> 18));
    put(0x80 | ((code >> 12) & 0x3F));
    put(0x80 | ((code >> 6) & 0x3F));
    put(0x80 | (code & 0x3F));
  }
}

std::string DecodeUtf16(std::span<const std::uint8_t> data, bool bigEndian, bool& whole) {
  const std::size_t units = data.size() / 2;
  auto unitAt = [&](std::size_t i) -> std::uint32_t {
    const std::uint32_t first = data[2 * i];
    const std::uint32_t second = data[2 * i + 1];
    return bigEndian ? (first << 8 | second) : (second << 8 | first);
  };
  std::string text;
  text.reserve(data.size());
  for (std::size_t i = 0; i < units; ++i) {
    const std::uint32_t unit = unitAt(i);
    if (IsHighSurrogate(unit) && i + 1 < units && IsLowSurrogate(unitAt(i + 1))) {
      AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
      ++i;
    } else {
      AppendUtf8(text, unit);
    }
  }
  whole = data.size() % 2 == 0;
  if (!whole) AppendUtf8(text, 0xFFFD);
  return text;
}

bool IsContinuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The code point of the UTF-8 sequence at text[i], and its length through
// `length`; false for a broken, overlong or too large one. Surrogates' own
// sequences are taken.
bool NextCodePoint(std::string_view text, std::size_t i, std::uint32_t& code, std::size_t& length) {
  const auto byteAt = [&](std::size_t at) { return static_cast<std::uint8_t>(text[at]); };
  const std::uint8_t lead = byteAt(i);
  std::uint32_t minimum = 0;
  if (lead < 0x80) {
    code = lead;
    length = 1;
    return true;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    code = lead & 0x1Fu;
    length = 2;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    code = lead & 0x0Fu;
    length = 3;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    code = lead & 0x07u;
    length = 4;
    minimum = 0x10000;
  } else {
    return false;  // a continuation byte first, C0, C1 or F5 to FF
  }
  if (text.size() - i < length) return false;
  for (std::size_t k = 1; k < length; ++k) {
    if (!IsContinuation(byteAt(i + k))) return false;
    code = code << 6 | (byteAt(i + k) & 0x3Fu);
  }
  return code >= minimum && code <= 0x10FFFF;
}

bool EncodeUtf16(std::string_view text, bool bigEndian, std::vector<std::uint8_t>& out) {
  auto putUnit = [&](std::uint32_t unit) {
    const auto high = static_cast<std::uint8_t>(unit >> 8);
    const auto low = static_cast<std::uint8_t>(unit & 0xFF);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
  };
  putUnit(0xFEFF);
  bool afterLoneHigh = false;
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t code = 0;
    std::size_t length = 0;
    if (!NextCodePoint(text, i, code, length)) return false;
    if (afterLoneHigh && IsLowSurrogate(code)) return false;  // would read back as a pair
    afterLoneHigh = IsHighSurrogate(code);
    if (code >= 0x10000) {
      putUnit(0xD800 + ((code - 0x10000) >> 10));
      putUnit(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      putUnit(code);
    }
    i += length;
  }
  return true;
}

}  // namespace

ProfileText DecodeProfileText(std::span<const std::uint8_t> bytes) {
  ProfileText decoded;
  if (bytes.size() >= 3 && bytes[0] == kUtf8Mark[0] && bytes[1] == kUtf8Mark[1] &&
      bytes[2] == kUtf8Mark[2]) {
    decoded.encoding = ProfileEncoding::kUtf8Bom;
    decoded.text.assign(reinterpret_cast<const char*>(bytes.data()) + 3, bytes.size() - 3);
  } else if (StartsWith(bytes, 0xFF, 0xFE)) {
    decoded.encoding = ProfileEncoding::kUtf16LeBom;
    decoded.text = DecodeUtf16(bytes.subspan(2), false, decoded.whole);
  } else if (StartsWith(bytes, 0xFE, 0xFF)) {
    decoded.encoding = ProfileEncoding::kUtf16BeBom;
    decoded.text = DecodeUtf16(bytes.subspan(2), true, decoded.whole);
  } else {
    decoded.text.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  return decoded;
}

bool EncodeProfileText(std::string_view text, ProfileEncoding encoding,
                       std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> out;
  switch (encoding) {
    case ProfileEncoding::kUtf16LeBom:
    case ProfileEncoding::kUtf16BeBom:
      out.reserve(2 * text.size() + 2);
      if (!EncodeUtf16(text, encoding == ProfileEncoding::kUtf16BeBom, out)) return false;
      break;
    case ProfileEncoding::kUtf8Bom:
    case ProfileEncoding::kPlain: {
      const std::size_t mark = encoding == ProfileEncoding::kUtf8Bom ? std::size(kUtf8Mark) : 0;
      out.resize(mark + text.size());
      std::copy(std::begin(kUtf8Mark), std::begin(kUtf8Mark) + mark, out.begin());
      std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(mark));
      break;
    }
  }
  bytes = std::move(out);
  return true;
}

}  // namespace kx::platform
