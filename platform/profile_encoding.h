// The forms a private-profile file comes in when a Windows editor saved it,
// and the way between a file's bytes and the text that the profile reader
// and writer work on (private_profile.h).
//
// The form is told by the file's first bytes, as the original platform's
// profile functions tell it:
// - EF BB BF: UTF-8 with a byte-order mark (Notepad's "UTF-8 with BOM");
// - FF FE: UTF-16 little-endian with its mark (Notepad's "Unicode");
// - FE FF: UTF-16 big-endian with its mark;
// - anything else: no mark, the bytes are the text as they stand.
//
// The text is UTF-8 without the mark. Plain files and UTF-8 files are taken
// byte for byte (their text is not checked to be UTF-8, as before). UTF-16 is
// converted; the conversion keeps every code unit, so that a file read and
// written again without a change comes out byte for byte as it was:
// - a surrogate pair becomes its one four-byte UTF-8 sequence;
// - a surrogate without its partner (which a UTF-16 editor may leave behind)
//   becomes the three-byte sequence of its own code point (ED A0 80 to
//   ED BF BF), which is not valid UTF-8 but holds no byte below 0x80, so it
//   never looks like a line end, a bracket or an '='; a value holding one
//   reads as those bytes, the way a plain file's stray bytes read;
// - a byte left over at the end (a file of odd length) cannot be part of any
//   character: it reads as U+FFFD, and the text is marked not whole, since
//   writing it back would lose that byte.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kx::platform {

enum class ProfileEncoding : std::uint8_t {
  kPlain,       // no byte-order mark
  kUtf8Bom,     // EF BB BF
  kUtf16LeBom,  // FF FE
  kUtf16BeBom,  // FE FF
};

struct ProfileText {
  ProfileEncoding encoding = ProfileEncoding::kPlain;
  std::string text;   // without the byte-order mark
  bool whole = true;  // false: the file holds a byte the text does not (odd UTF-16)
};

// The text of a profile file whose bytes are `bytes`, and the form it was in.
ProfileText DecodeProfileText(std::span<const std::uint8_t> bytes);

// The bytes of a file in form `encoding` (its mark first) that holds `text`,
// into `bytes`. For UTF-16, false (with `bytes` untouched) when `text` is not
// UTF-8 as DecodeProfileText makes it: a broken, overlong or too large
// sequence, or a lone high surrogate's sequence directly followed by a lone
// low one's (which would read back as the pair's one character). Plain and
// UTF-8 text is taken as it stands and never refused.
bool EncodeProfileText(std::string_view text, ProfileEncoding encoding,
                       std::vector<std::uint8_t>& bytes);

}  // namespace kx::platform
