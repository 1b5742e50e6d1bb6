// Private-profile (INI) files: sections in square brackets, then one
// `key=value` line per key. Reads and writes behave as the original
// platform's profile functions do, so settings files move between the two.
//
// Reading. Every line is trimmed of spaces, tabs, CR, LF and 0x1A; CR LF, LF
// and a lone CR all end a line. A line starting with ';' is a comment. A line
// starting with '[' and holding a ']' opens a section named by the text
// between '[' and the last ']', trimmed ("[ name ] x" is section "name"); a
// line starting with '[' without any ']' is neither a section nor a key. Any
// other line is a key: the text before the first '=' (trailing white space
// removed) is its name, the rest (leading white space removed) its value; a
// line without '=' is a key with an empty value. One matching pair of quotes
// ('...' or "...") around a value is removed. Lines before the first section
// belong to no section and are never read or written.
//
// Names given by callers are trimmed the same way and compare with those in
// the file without regard to ASCII case; an empty name never matches. Only the
// first section of a name counts: keys that stand only in a later section of
// the same name are not found, and a write adds them to the first one. Within
// a section only the first key of a name is read or written.
//
// Writing keeps every byte of the file that it does not have to change:
// - an existing key's line is replaced where it stands by `Key=value`, Key
//   spelled as the file spells it (the line's own indentation and spacing go,
//   every other line stays as it is);
// - a new key goes directly after the last non-blank line of its section (a
//   comment line counts as non-blank; the blank lines that separate the
//   section from the next one stay after the new key);
// - a new section goes at the end of the file as `[name]` followed by
//   `key=value`, with no blank line added;
// - new lines end the way the file's first line does (CR LF, LF or CR), and
//   with CR LF in a file that has no line end yet; a file whose last line has
//   no line end gets one before anything is added after it.
// Nothing adds quotes. A write is refused (false, the file not touched) when
// it would put more or other lines into the file than the one it means to
// write: a value holding CR, LF or NUL; a section name holding ']', CR, LF or
// NUL; a key name holding '=', CR, LF or NUL or starting with '[' or ';'; an
// empty section or key name.
//
// The file calls below read a file saved as UTF-8 with a byte-order mark or
// as UTF-16 with one (what Windows editors write) as the text it holds, and
// write it back in the form it had, mark included (profile_encoding.h); the
// reader and writer above work on that text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_io.h"

namespace kx::platform {

// The value of `key` in `section` of the profile text `fileText`, quotes
// removed; "" when there is none. `*found` (when given) tells whether the key
// is there at all, so that a key with an empty value can be told from a
// missing one.
std::string ReadProfileValue(std::string_view fileText, std::string_view section,
                             std::string_view key, bool* found);

// The integer reading of a profile value: leading white space skipped, an
// optional sign, then the decimal digits that follow, taken modulo 2^32
// ("-1" is 4294967295, "4294967297" is 1, "2x" is 2, "abc" and "0x10" are 0).
// An empty value gives `defaultValue` (as an unsigned 32-bit number).
std::uint32_t ParseProfileInt(std::string_view value, std::int32_t defaultValue);

// `fileText` with `key` in `section` set to `value`, into `edited`. False,
// with `edited` untouched, when the write is refused (see above).
bool WriteProfileValue(std::string_view fileText, std::string_view section, std::string_view key,
                       std::string_view value, std::string& edited);

// Sets `key` in `section` of the file at `path` to `value`. A missing file is
// created (its folder must exist); the new contents replace the old file
// atomically, and an existing file's permission bits carry over. A file with
// a byte-order mark keeps it and its encoding; a new file has none. False
// when the write is refused (kWriteError, EINVAL: also a name or value that
// is not UTF-8, for a UTF-16 file), when an existing file cannot be read, when
// it is UTF-16 of odd length (kOddUtf16, reported: it cannot be read in full)
// or when the new file cannot be written; the old file is then left as it was.
//
// `durability` kFlushed: when the call returns true the file is on disk as it
// now reads, also when it already held the value (it is then flushed where
// it stands, not rewritten). kAtomicOnly: the new contents are renamed into
// place without flushing; after a power loss the file may read as an earlier
// complete version, never as a broken one. A file that already holds the
// value is not written either way.
FileStatus WritePrivateProfileString(const std::string& section, const std::string& key,
                                     const std::string& value, const std::string& path,
                                     Durability durability = Durability::kFlushed);

// The value of `key` in `section` of the file at `path`, quotes removed;
// `defaultValue` when the file cannot be read or the key is not there. A key
// that is there with an empty value gives "".
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path);

// The value of `key` in `section` of the file at `path` read as an integer
// (ParseProfileInt); `defaultValue` when the file cannot be read, the key is
// not there or its value is empty.
std::uint32_t GetPrivateProfileInt(const std::string& section, const std::string& key,
                                   std::int32_t defaultValue, const std::string& path);

}  // namespace kx::platform
