#include "platform/private_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <span>
#include <vector>

#include "platform/file_io.h"
#include "platform/profile_encoding.h"
#include "platform/profile_text.h"

namespace kx::platform {
namespace {

// Puts the regular file at `path` on disk as it stands, and the folder entry
// that names it: an earlier unflushed replacement becomes durable without a
// new one (which a read-only folder would refuse).
bool FlushInPlace(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok) return false;
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;
  ok = ::fsync(dir) == 0;
  ::close(dir);
  return ok;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ProfileLower(a[i]) != ProfileLower(b[i])) return false;
  }
  return true;
}

// One line of the text as byte offsets: [begin, end) is its text, [end, next)
// its line end (empty for a last line without one).
struct Line {
  std::size_t begin;
  std::size_t end;
  std::size_t next;
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) {
      lines.push_back({begin, text.size(), text.size()});
      break;
    }
    std::size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    lines.push_back({begin, end, next});
    begin = next;
  }
  return lines;
}

// The line end that new lines get: the file's first one, CR LF when it has none.
std::string_view LineEndOf(std::string_view text) {
  std::size_t end = text.find_first_of("\r\n");
  if (end == std::string_view::npos) return "\r\n";
  if (text[end] == '\n') return "\n";
  if (end + 1 < text.size() && text[end + 1] == '\n') return "\r\n";
  return "\r";
}

enum class LineKind { kBlank, kComment, kSection, kKey, kOther };

struct ParsedLine {
  LineKind kind = LineKind::kBlank;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // a key's value, trimmed, quotes still on
};

ParsedLine ParseLine(std::string_view raw) {
  ParsedLine parsed;
  std::string_view line = TrimProfile(raw);
  if (line.empty()) return parsed;
  if (line.front() == ';') {
    parsed.kind = LineKind::kComment;
    return parsed;
  }
  if (line.front() == '[') {
    std::size_t close = line.rfind(']');
    if (close == std::string_view::npos) {
      parsed.kind = LineKind::kOther;
      return parsed;
    }
    parsed.kind = LineKind::kSection;
    parsed.name = TrimProfile(line.substr(1, close - 1));
    return parsed;
  }
  parsed.kind = LineKind::kKey;
  std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) {
    parsed.name = line;
    return parsed;
  }
  parsed.name = TrimProfileRight(line.substr(0, equals));
  parsed.value = TrimProfileLeft(line.substr(equals + 1));
  return parsed;
}

// Where a section and a key stand in a text. Indexes are into the line list.
struct Location {
  bool sectionFound = false;
  std::size_t lastNonBlank = 0;  // the section's header or its last non-blank line
  bool keyFound = false;
  std::size_t keyLine = 0;
  std::string_view fileKey;  // the key's name as the file spells it
  std::string_view value;    // the key's value, quotes still on
};

Location Locate(std::string_view text, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
  Location where;
  if (section.empty() || key.empty()) return where;
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ParsedLine parsed = ParseLine(text.substr(lines[i].begin, lines[i].end - lines[i].begin));
    if (parsed.kind == LineKind::kSection) {
      if (inSection) break;  // only the first section of the name counts
      if (EqualNoCase(parsed.name, section)) {
        inSection = true;
        where.sectionFound = true;
        where.lastNonBlank = i;
      }
      continue;
    }
    if (!inSection) continue;
    if (parsed.kind != LineKind::kBlank) where.lastNonBlank = i;
    if (parsed.kind == LineKind::kKey && !where.keyFound && EqualNoCase(parsed.name, key)) {
      where.keyFound = true;
      where.keyLine = i;
      where.fileKey = parsed.name;
      where.value = parsed.value;
    }
  }
  return where;
}

bool HoldsAnyOf(std::string_view text, std::string_view chars) {
  return text.find_first_of(chars) != std::string_view::npos;
}

constexpr std::string_view kLineBreaking("\r\n\0", 3);

// True when `section`, `key` and `value` (names trimmed) make exactly one
// `[section]` line and one `key=value` line that read back as themselves.
bool IsWritable(std::string_view section, std::string_view key, std::string_view value) {
  if (section.empty() || HoldsAnyOf(section, kLineBreaking) || HoldsAnyOf(section, "]")) {
    return false;
  }
  if (key.empty() || HoldsAnyOf(key, kLineBreaking) || HoldsAnyOf(key, "=")) return false;
  if (key.front() == '[' || key.front() == ';') return false;
  return !HoldsAnyOf(value, kLineBreaking);
}

// The text of the settings file at `path`, converted from the form it was
// saved in; false when it cannot be read.
bool ReadProfileFile(const std::string& path, ProfileText& decoded) {
  std::vector<std::uint8_t> contents;
  if (!ReadWholeFile(path, contents)) return false;
  decoded = DecodeProfileText(contents);
  return true;
}

}  // namespace

std::string ReadProfileValue(std::string_view fileText, std::string_view section,
                             std::string_view key, bool* found) {
  std::vector<Line> lines = SplitLines(fileText);
  Location where = Locate(fileText, lines, TrimProfile(section), TrimProfile(key));
  if (found != nullptr) *found = where.keyFound;
  if (!where.keyFound) return std::string();
  return std::string(UnquoteProfileValue(where.value));
}

std::uint32_t ParseProfileInt(std::string_view value, std::int32_t defaultValue) {
  if (value.empty()) return static_cast<std::uint32_t>(defaultValue);
  std::size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
    negative = value[i] == '-';
    ++i;
  }
  std::uint32_t number = 0;  // unsigned, so that overflow wraps modulo 2^32
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    number = number * 10u + static_cast<std::uint32_t>(value[i] - '0');
  }
  return negative ? 0u - number : number;
}

bool WriteProfileValue(std::string_view fileText, std::string_view section, std::string_view key,
                       std::string_view value, std::string& edited) {
  section = TrimProfile(section);
  key = TrimProfile(key);
  if (!IsWritable(section, key, value)) return false;

  std::vector<Line> lines = SplitLines(fileText);
  Location where = Locate(fileText, lines, section, key);
  std::string_view lineEnd = LineEndOf(fileText);
  std::string result;
  result.reserve(fileText.size() + section.size() + key.size() + value.size() + 8);

  if (where.keyFound) {
    const Line& line = lines[where.keyLine];
    result.append(fileText.substr(0, line.begin));
    result.append(where.fileKey).append("=").append(value);
    result.append(fileText.substr(line.end));
  } else if (where.sectionFound) {
    const Line& anchor = lines[where.lastNonBlank];
    result.append(fileText.substr(0, anchor.next));
    if (anchor.next == anchor.end) result.append(lineEnd);  // the file's last line, unended
    result.append(key).append("=").append(value).append(lineEnd);
    result.append(fileText.substr(anchor.next));
  } else {
    result.append(fileText);
    if (!fileText.empty() && fileText.back() != '\n' && fileText.back() != '\r') {
      result.append(lineEnd);
    }
    result.append("[").append(section).append("]").append(lineEnd);
    result.append(key).append("=").append(value).append(lineEnd);
  }
  edited = std::move(result);
  return true;
}

FileStatus WritePrivateProfileString(const std::string& section, const std::string& key,
                                     const std::string& value, const std::string& path,
                                     Durability durability) {
  // A name or value the file format cannot hold: nothing is written.
  const FileStatus unwritable{FileProblem::kWriteError, EINVAL, 0};
  if (!IsWritable(TrimProfile(section), TrimProfile(key), value)) return unwritable;

  std::vector<std::uint8_t> old;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    // e.g. a path through a plain file
    if (errno != ENOENT) return FileStatus::FromErrno(errno, FileProblem::kReadError);
    // A missing file starts empty; AtomicReplaceFile fails when its folder is missing.
  } else if (FileStatus read = ReadWholeFile(path, old); !read) {
    return read;  // never overwrite what could not be read
  }

  // The new file keeps the old one's form: its byte-order mark and encoding.
  // A UTF-16 file with a byte left over is not replaced at all: writing its
  // text back would lose that byte, and nothing says which character it
  // belonged to.
  const ProfileText decoded = DecodeProfileText(old);
  if (!decoded.whole) {
    const FileStatus odd{FileProblem::kOddUtf16, 0, 0};
    ReportFileRefusal(path, odd, FileUse::kReplace);
    return odd;
  }
  std::string edited;
  if (!WriteProfileValue(decoded.text, section, key, value, edited)) return unwritable;
  // Into a UTF-16 file, names and values must be UTF-8 to be converted.
  std::vector<std::uint8_t> bytes;
  if (!EncodeProfileText(edited, decoded.encoding, bytes)) return unwritable;
  // The file already says so: nothing to write. It may still stand only in
  // the cache, from an earlier write without a flush.
  if (info.st_size > 0 && bytes == old) {
    if (durability == Durability::kAtomicOnly) return FileStatus::Ok();
    errno = 0;
    return FlushInPlace(path) ? FileStatus::Ok() : FileStatus{FileProblem::kWriteError, errno, 0};
  }
  return AtomicReplaceFile(path, bytes, {}, durability);
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path) {
  ProfileText decoded;
  if (!ReadProfileFile(path, decoded)) return defaultValue;
  bool found = false;
  std::string value = ReadProfileValue(decoded.text, section, key, &found);
  return found ? value : defaultValue;
}

std::uint32_t GetPrivateProfileInt(const std::string& section, const std::string& key,
                                   std::int32_t defaultValue, const std::string& path) {
  ProfileText decoded;
  if (!ReadProfileFile(path, decoded)) return static_cast<std::uint32_t>(defaultValue);
  return ParseProfileInt(ReadProfileValue(decoded.text, section, key, nullptr), defaultValue);
}

}  // namespace kx::platform
