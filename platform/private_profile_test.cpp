#include "platform/private_profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/child_process.h"
#include "tests/scratch_dir.h"

namespace kx::platform {
namespace {

using kx::testing::CaptureCommand;
using kx::testing::FileExists;
using kx::testing::ListWorkingDirectory;
using kx::testing::ReadFileText;
using kx::testing::RunCommand;
using kx::testing::ScratchDir;
using kx::testing::SourceDir;
using kx::testing::WriteFileText;

// ---------------------------------------------------------------- reading

struct ReadCase {
  const char* what;
  std::string text;
  const char* section;
  const char* key;
  bool found;
  const char* value;
};

TEST(ReadProfileValueTest, ReadsAsTheOriginalPlatformDoes) {
  const ReadCase cases[] = {
      {"plain", "[Behavior]\r\nMode=4\r\n", "Behavior", "Mode", true, "4"},
      {"names ignore case", "[behavior]\r\nMODE=4\r\n", "BEHAVIOR", "mode", true, "4"},
      {"names passed in are trimmed", "[Behavior]\r\nMode=4\r\n", " Behavior\t", "  Mode ", true,
       "4"},
      {"lines trimmed of blanks, tabs and 0x1A", "  \t[Behavior] \t\r\n\t Mode \t=\t 4 \t\x1A\r\n",
       "Behavior", "Mode", true, "4"},
      {"value keeps inner blanks and later '='", "[S]\nk = a = b  c \n", "S", "k", true,
       "a = b  c"},
      {"key is the text before the first '='", "[S]\na=b=c\n", "S", "a", true, "b=c"},
      {"no key holds '='", "[S]\na=b=c\n", "S", "a=b", false, ""},
      {"blanks before '=' removed", "[S]\nFirm(Appl)  =7\n", "S", "firm(appl)", true, "7"},
      {"[ name ] and text after ']'", "[ Behavior ] tail\nMode=4\n", "Behavior", "Mode", true, "4"},
      {"the last ']' ends the name", "[a]b] x\nk=1\n", "a]b", "k", true, "1"},
      {"LF line ends", "[S]\nk=1\nj=2\n", "S", "j", true, "2"},
      {"lone CR line ends", "[S]\rk=1\rj=2\r", "S", "j", true, "2"},
      {"mixed line ends, no final one", "[S]\r\nk=1\nj=2\rl=3", "S", "l", true, "3"},
      {"comment is not a key", "[S]\n;k=1\nk=2\n", "S", "k", true, "2"},
      {"indented comment is not a key", "[S]\n  ;k=1\n", "S", "k", false, ""},
      {"double quotes removed", "[S]\nk=\"a b\"\n", "S", "k", true, "a b"},
      {"single quotes removed", "[S]\nk='4'\n", "S", "k", true, "4"},
      {"only one pair of quotes removed", "[S]\nk=\"\"x\"\"\n", "S", "k", true, "\"x\""},
      {"mismatched quotes stay", "[S]\nk=\"x'\n", "S", "k", true, "\"x'"},
      {"a lone quote stays", "[S]\nk=\"\n", "S", "k", true, "\""},
      {"inner quotes stay", "[S]\nk=a\"b\"\n", "S", "k", true, "a\"b\""},
      {"empty value is found", "[S]\nk=\n", "S", "k", true, ""},
      {"line without '=' is a key with empty value", "[S]\nk\n", "S", "k", true, ""},
      {"first of duplicate keys", "[S]\nk=1\nK=2\n", "S", "k", true, "1"},
      {"first of duplicate sections", "[S]\nk=1\n[T]\n[s]\nk=3\n", "S", "k", true, "1"},
      {"later duplicate section not read", "[S]\nk=1\n[T]\n[s]\nj=2\n", "S", "j", false, ""},
      {"key of another section", "[S]\n[T]\nk=1\n", "S", "k", false, ""},
      {"key before any section", "k=1\n[S]\n", "S", "k", false, ""},
      {"missing section", "[T]\nk=1\n", "S", "k", false, ""},
      {"'[' without ']' ends no section", "[S]\n[T\nk=1\n", "S", "k", true, "1"},
      {"empty key name never matches", "[S]\n=1\n", "S", "", false, ""},
      {"empty text", "", "S", "k", false, ""},
  };
  for (const ReadCase& c : cases) {
    bool found = !c.found;
    EXPECT_EQ(ReadProfileValue(c.text, c.section, c.key, &found), c.value) << c.what;
    EXPECT_EQ(found, c.found) << c.what;
  }
}

TEST(ParseProfileIntTest, LeadingDecimalNumberModulo2To32) {
  const struct {
    const char* value;
    std::uint32_t expected;
  } cases[] = {
      {"4", 4},
      {"5", 5},
      {"-1", 4294967295u},
      {"abc", 0},
      {"2x", 2},
      {" 4", 4},
      {"+1", 1},
      {"0x10", 0},
      {"007", 7},
      {"-", 0},
      {"4294967295", 4294967295u},
      {"4294967297", 1},
      {"-2147483648", 2147483648u},
      {"", 77},  // empty: the default
  };
  for (const auto& c : cases) EXPECT_EQ(ParseProfileInt(c.value, 77), c.expected) << c.value;
  EXPECT_EQ(ParseProfileInt("", -1), 4294967295u);
}

TEST(GetPrivateProfileTest, DefaultsForMissingFileSectionKeyAndEmptyValue) {
  ScratchDir dir;
  EXPECT_EQ(GetPrivateProfileInt("Behavior", "Mode", 9, "DERadori.ini"), 9u);
  EXPECT_EQ(GetPrivateProfileString("Behavior", "Mode", "dflt", "DERadori.ini"), "dflt");
  WriteFileText("DERadori.ini", "[Behavior]\r\nMode=\r\nQuoted=\"3\"\r\nText=abc\r\n");
  EXPECT_EQ(GetPrivateProfileInt("Behavior", "Mode", 9, "DERadori.ini"), 9u);
  EXPECT_EQ(GetPrivateProfileString("Behavior", "Mode", "dflt", "DERadori.ini"), "");
  EXPECT_EQ(GetPrivateProfileInt("Behavior", "Quoted", 9, "DERadori.ini"), 3u);
  EXPECT_EQ(GetPrivateProfileInt("Behavior", "Text", 9, "DERadori.ini"), 0u);
  EXPECT_EQ(GetPrivateProfileInt("Behavior", "None", -1, "DERadori.ini"), 4294967295u);
  EXPECT_EQ(GetPrivateProfileInt("Other", "Mode", 9, "DERadori.ini"), 9u);
  EXPECT_EQ(GetPrivateProfileString("Behavior", "Quoted", "", "DERadori.ini"), "3");
  // A folder in the file's place cannot be read as a file.
  ASSERT_EQ(mkdir("folder.ini", 0755), 0);
  EXPECT_EQ(GetPrivateProfileInt("Behavior", "Mode", 9, "folder.ini"), 9u);
}

TEST(GetPrivateProfileTest, BehaviorModeValues) {
  const struct {
    const char* value;
    std::uint32_t expected;
  } cases[] = {{"4", 4}, {"5", 5}, {"-1", 4294967295u}, {"abc", 0}, {"2x", 2}};
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFileText("DERadori.ini", std::string("[Behavior]\r\nMode=") + c.value + "\r\n");
    EXPECT_EQ(GetPrivateProfileInt("Behavior", "Mode", 0, "DERadori.ini"), c.expected) << c.value;
  }
}

// ---------------------------------------------------------------- writing

struct WriteCase {
  const char* what;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

TEST(WriteProfileValueTest, EditsOnlyWhatItMust) {
  const std::string kept =
      "; settings\r\n\r\n[Behavior]\r\nMode=4\r\n\r\n[NumOfRetryPackets]\r\n  ; counts\r\n"
      "FPGA1 = 3\r\nFPGA2=0\r\n\r\n[Other]\r\nx=1\r\n";
  const std::string replaced =
      "; settings\r\n\r\n[Behavior]\r\nMode=4\r\n\r\n[NumOfRetryPackets]\r\n  ; counts\r\n"
      "FPGA1=5\r\nFPGA2=0\r\n\r\n[Other]\r\nx=1\r\n";
  const WriteCase cases[] = {
      {"new file gets CR LF", "", "S", "k", "v", "[S]\r\nk=v\r\n"},
      {"key replaced in place, all else kept", kept, "NumOfRetryPackets", "FPGA1", "5", replaced},
      {"replacing keeps the file's spelling of the key", "[s]\nfpga1=3\n", "S", "FPGA1", "4",
       "[s]\nfpga1=4\n"},
      {"quoted old value replaced", "[A]\nk=\"1\"\n", "A", "k", "2", "[A]\nk=2\n"},
      {"new key after the section's last non-blank line", "[A]\nx=1\n\n[B]\ny=2\n", "A", "z", "3",
       "[A]\nx=1\nz=3\n\n[B]\ny=2\n"},
      {"a trailing comment counts as non-blank", "[A]\nx=1\n; about B\n[B]\n", "A", "z", "3",
       "[A]\nx=1\n; about B\nz=3\n[B]\n"},
      {"empty section: key right after its header", "[A]\n\n[B]\n", "A", "z", "3",
       "[A]\nz=3\n\n[B]\n"},
      {"new section at the end, no blank line added", "[A]\r\nx=1\r\n\r\n", "N", "k", "v",
       "[A]\r\nx=1\r\n\r\n[N]\r\nk=v\r\n"},
      {"unended last line ended before a new section", "[A]\nx=1", "N", "k", "v",
       "[A]\nx=1\n[N]\nk=v\n"},
      {"unended last line ended before a new key", "[A]\nx=1", "A", "z", "3", "[A]\nx=1\nz=3\n"},
      {"unended header only", "[A]", "A", "z", "3", "[A]\r\nz=3\r\n"},
      {"unended replaced line stays unended", "[A]\nx=1", "A", "x", "2", "[A]\nx=2"},
      {"lone CR file keeps CR", "[A]\rx=1\r", "A", "z", "3", "[A]\rx=1\rz=3\r"},
      {"the first line end decides", "[A]\nx=1\r\n", "N", "k", "v", "[A]\nx=1\r\n[N]\nk=v\n"},
      {"first of duplicate keys replaced", "[A]\nx=1\nx=2\n", "A", "x", "9", "[A]\nx=9\nx=2\n"},
      {"new key goes to the first of duplicate sections", "[A]\nx=1\n[B]\n[A]\ny=2\n", "A", "y",
       "9", "[A]\nx=1\ny=9\n[B]\n[A]\ny=2\n"},
      {"key before any section is not the section's", "k=1\n[A]\n", "A", "k", "2",
       "k=1\n[A]\nk=2\n"},
      {"comment that looks like the key stays", "[A]\n;k=1\n", "A", "k", "2", "[A]\n;k=1\nk=2\n"},
      {"tabs and 0x1A on other lines kept", "[A]\t\nx=1\x1A\n", "A", "y", "2",
       "[A]\t\nx=1\x1A\ny=2\n"},
      {"names trimmed on write", "", " N\t", "  k ", "v", "[N]\r\nk=v\r\n"},
      {"value written as given, no quotes added", "[A]\n", "A", "k", "\"q\" x;#%",
       "[A]\nk=\"q\" x;#%\n"},
      {"empty value", "", "N", "k", "", "[N]\r\nk=\r\n"},
  };
  for (const WriteCase& c : cases) {
    std::string edited = "unchanged";
    ASSERT_TRUE(WriteProfileValue(c.before, c.section, c.key, c.value, edited)) << c.what;
    EXPECT_EQ(edited, c.after) << c.what;
    bool found = false;
    std::string expected = c.value;
    if (expected.size() >= 2 && expected.front() == '"' && expected.back() == '"') {
      expected = expected.substr(1, expected.size() - 2);
    }
    EXPECT_EQ(ReadProfileValue(edited, c.section, c.key, &found), expected) << c.what;
    EXPECT_TRUE(found) << c.what;
  }
}

// Each of these would put a line into the file other than the one meant, or a
// line that does not read back as written.
TEST(WriteProfileValueTest, RefusesNamesAndValuesThatBreakLines) {
  const struct {
    const char* what;
    std::string section;
    std::string key;
    std::string value;
  } cases[] = {
      {"CR in value", "S", "k", "a\rb"},
      {"LF in value", "S", "k", "a\n[X]"},
      {"CR LF ending the value", "S", "k", "a\r\n"},
      {"NUL in value", "S", "k", std::string("a\0b", 3)},
      {"']' in section", "a]b", "k", "v"},
      {"LF in section", "a\nb", "k", "v"},
      {"empty section", "", "k", "v"},
      {"blank section", " \t", "k", "v"},
      {"'=' in key", "S", "a=b", "v"},
      {"CR in key", "S", "a\rb", "v"},
      {"empty key", "S", "", "v"},
      {"key that reads as a section", "S", "[X]", "v"},
      {"key that reads as a comment", "S", ";x", "v"},
  };
  const std::string before = "[S]\r\nk=1\r\n";
  for (const auto& c : cases) {
    std::string edited = "unchanged";
    EXPECT_FALSE(WriteProfileValue(before, c.section, c.key, c.value, edited)) << c.what;
    EXPECT_EQ(edited, "unchanged") << c.what;

    ScratchDir dir;
    WriteFileText("old.ini", before);
    EXPECT_FALSE(WritePrivateProfileString(c.section, c.key, c.value, "old.ini")) << c.what;
    EXPECT_EQ(ReadFileText("old.ini"), before) << c.what;
    EXPECT_FALSE(WritePrivateProfileString(c.section, c.key, c.value, "new.ini")) << c.what;
    EXPECT_FALSE(FileExists("new.ini")) << c.what;
  }
}

// ---------------------------------------------------------------- the file

TEST(WritePrivateProfileStringTest, FirstWritesCreateTheRetrySection) {
  ScratchDir dir;
  for (const char* key : {"FPGA1", "FPGA2", "Firm(Appl)", "Firm(Boot)"}) {
    ASSERT_TRUE(WritePrivateProfileString("NumOfRetryPackets", key, "0", "DERadori.ini")) << key;
  }
  EXPECT_EQ(ReadFileText("DERadori.ini"),
            "[NumOfRetryPackets]\r\nFPGA1=0\r\nFPGA2=0\r\nFirm(Appl)=0\r\nFirm(Boot)=0\r\n");
  EXPECT_EQ(ListWorkingDirectory(), std::vector<std::string>{"DERadori.ini"});
}

// A hand-written LF file: the counts go in and change, every other byte stays.
TEST(WritePrivateProfileStringTest, RetryCountsLeaveAHandWrittenFileAlone) {
  ScratchDir dir;
  WriteFileText("DERadori.ini", "; by hand\n[Behavior]\nMode = 3\n\n");
  for (const char* key : {"FPGA1", "FPGA2", "Firm(Appl)", "Firm(Boot)"}) {
    ASSERT_TRUE(WritePrivateProfileString("NumOfRetryPackets", key, "0", "DERadori.ini"));
  }
  ASSERT_TRUE(WritePrivateProfileString("NumOfRetryPackets", "FPGA2", "1", "DERadori.ini"));
  ASSERT_TRUE(WritePrivateProfileString("NumOfRetryPackets", "FPGA2", "2", "DERadori.ini"));
  EXPECT_EQ(ReadFileText("DERadori.ini"),
            "; by hand\n[Behavior]\nMode = 3\n\n"
            "[NumOfRetryPackets]\nFPGA1=0\nFPGA2=2\nFirm(Appl)=0\nFirm(Boot)=0\n");
  EXPECT_EQ(GetPrivateProfileInt("Behavior", "Mode", 0, "DERadori.ini"), 3u);
  EXPECT_EQ(GetPrivateProfileInt("NumOfRetryPackets", "FPGA2", 0, "DERadori.ini"), 2u);
}

// The new contents replace the file by rename: a second name for the old file
// keeps the old bytes, the mode carries over, no temporary file stays behind.
TEST(WritePrivateProfileStringTest, ReplacesTheFileAtomically) {
  ScratchDir dir;
  WriteFileText("DERadori.ini", "[A]\nx=1\n");
  ASSERT_EQ(chmod("DERadori.ini", 0640), 0);
  ASSERT_EQ(link("DERadori.ini", "old-name"), 0);
  ASSERT_TRUE(WritePrivateProfileString("A", "x", "2", "DERadori.ini"));
  EXPECT_EQ(ReadFileText("DERadori.ini"), "[A]\nx=2\n");
  EXPECT_EQ(ReadFileText("old-name"), "[A]\nx=1\n");
  struct stat info {};
  ASSERT_EQ(stat("DERadori.ini", &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(ListWorkingDirectory(), (std::vector<std::string>{"DERadori.ini", "old-name"}));
}

// Writing what the file already holds leaves the file itself in place: the
// update dialog resets its four counts on every opening, mostly to what
// they are already.
TEST(WritePrivateProfileStringTest, UnchangedValueIsNotRewritten) {
  ScratchDir dir;
  WriteFileText("DERadori.ini", "[A]\nx=1\n");
  ASSERT_EQ(link("DERadori.ini", "same-file"), 0);
  ASSERT_TRUE(WritePrivateProfileString("a", "X", "1", "DERadori.ini"));
  struct stat written {}, linked {};
  ASSERT_EQ(stat("DERadori.ini", &written), 0);
  ASSERT_EQ(stat("same-file", &linked), 0);
  EXPECT_EQ(written.st_ino, linked.st_ino);  // not replaced
  ASSERT_TRUE(WritePrivateProfileString("A", "x", "2", "DERadori.ini"));
  ASSERT_EQ(stat("DERadori.ini", &written), 0);
  EXPECT_NE(written.st_ino, linked.st_ino);
  EXPECT_EQ(ReadFileText("DERadori.ini"), "[A]\nx=2\n");
}

TEST(WritePrivateProfileStringTest, FailsWhenTheFileCannotBeReadOrWritten) {
  ScratchDir dir;
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", "no-folder/DERadori.ini"));
  EXPECT_FALSE(FileExists("no-folder"));

  ASSERT_EQ(mkdir("folder.ini", 0755), 0);  // there, but not readable as a file
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", "folder.ini"));

  WriteFileText("plain", "x");  // a path through a plain file
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", "plain/DERadori.ini"));
  EXPECT_EQ(ReadFileText("plain"), "x");
  EXPECT_EQ(ListWorkingDirectory(), (std::vector<std::string>{"folder.ini", "plain"}));
}

// A UTF-16 file: a lone surrogate in it (which an editor may leave) comes
// back where it stood; a write of what the file already holds leaves it in
// place; a value that is not UTF-8 cannot go into it, and a file with a byte
// left over is not replaced at all.
TEST(WritePrivateProfileStringTest, Utf16FileKeepsEveryCodeUnit) {
  ScratchDir dir;
  // "; \xD83D x" / "[A]" / "k=1", little-endian, with the mark.
  const std::vector<std::uint8_t> before = {
      0xFF, 0xFE, ';', 0, ' ',  0, 0x3D, 0xD8, ' ', 0, 'x', 0, '\r', 0, '\n', 0, '[',  0,
      'A',  0,    ']', 0, '\r', 0, '\n', 0,    'k', 0, '=', 0, '1',  0, '\r', 0, '\n', 0};
  kx::testing::WriteFileBytes("DERadori.ini", before);
  ASSERT_EQ(link("DERadori.ini", "same-file"), 0);
  EXPECT_EQ(WritePrivateProfileString("A", "k", "1", "DERadori.ini").problem, FileProblem::kNone);
  struct stat written {}, linked {};
  ASSERT_EQ(stat("DERadori.ini", &written), 0);
  ASSERT_EQ(stat("same-file", &linked), 0);
  EXPECT_EQ(written.st_ino, linked.st_ino);  // not replaced

  const FileStatus notUtf8 = WritePrivateProfileString("A", "k", "\xE6\x97", "DERadori.ini");
  EXPECT_EQ(notUtf8.problem, FileProblem::kWriteError);
  EXPECT_EQ(notUtf8.error, EINVAL);
  EXPECT_EQ(kx::testing::ReadFileBytes("DERadori.ini"), before);

  ASSERT_TRUE(WritePrivateProfileString("A", "k", "2", "DERadori.ini"));
  std::vector<std::uint8_t> after = before;
  after[after.size() - 6] = '2';
  EXPECT_EQ(kx::testing::ReadFileBytes("DERadori.ini"), after);
  EXPECT_EQ(GetPrivateProfileInt("A", "k", 0, "DERadori.ini"), 2u);

  std::vector<std::uint8_t> odd = after;
  odd.push_back(0);
  kx::testing::WriteFileBytes("odd.ini", odd);
  EXPECT_EQ(GetPrivateProfileInt("A", "k", 0, "odd.ini"), 2u);  // still read
  EXPECT_EQ(WritePrivateProfileString("A", "k", "3", "odd.ini").problem, FileProblem::kOddUtf16);
  EXPECT_EQ(kx::testing::ReadFileBytes("odd.ini"), odd);
  EXPECT_EQ(ListWorkingDirectory(),
            (std::vector<std::string>{"DERadori.ini", "odd.ini", "same-file"}));
}

// The same text in a plain file, and the value the UTF-16 file refused:
// bytes go in as they stand.
TEST(WritePrivateProfileStringTest, PlainAndUtf8FilesTakeBytesAsTheyStand) {
  ScratchDir dir;
  WriteFileText("plain.ini", "[A]\nk=1\n");
  WriteFileText("marked.ini", "\xEF\xBB\xBF[A]\nk=1\n");
  ASSERT_TRUE(WritePrivateProfileString("A", "k", "\xE6\x97", "plain.ini"));
  ASSERT_TRUE(WritePrivateProfileString("A", "k", "\xE6\x97", "marked.ini"));
  EXPECT_EQ(ReadFileText("plain.ini"), "[A]\nk=\xE6\x97\n");
  EXPECT_EQ(ReadFileText("marked.ini"), "\xEF\xBB\xBF[A]\nk=\xE6\x97\n");
  EXPECT_EQ(GetPrivateProfileString("A", "k", "", "marked.ini"), "\xE6\x97");
}

// A settings file that is a FIFO, a folder or a link to a device: reading
// gives the defaults at once, writing is refused and leaves it what it was.
// In a child whose alarm guards against a read that waits for a writer.
TEST(PrivateProfileFileTest, SettingsFileThatIsNoFileIsNeitherWaitedForNorReplaced) {
  struct Case {
    const char* what;
    std::function<int()> make;
    mode_t type;
  };
  const Case cases[] = {
      {"FIFO", [] { return mkfifo("DERadori.ini", 0644); }, S_IFIFO},
      {"folder", [] { return mkdir("DERadori.ini", 0755); }, S_IFDIR},
      {"link to a device", [] { return symlink("/dev/zero", "DERadori.ini"); }, S_IFLNK},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    ASSERT_EQ(c.make(), 0) << c.what;
    const int result = kx::testing::RunInChild([] {
      if (GetPrivateProfileInt("Behavior", "Mode", 3, "DERadori.ini") != 3) return 1;
      if (GetPrivateProfileString("Behavior", "Mode", "d", "DERadori.ini") != "d") return 2;
      if (WritePrivateProfileString("NumOfRetryPackets", "FPGA1", "0", "DERadori.ini")) return 3;
      return 0;
    });
    EXPECT_EQ(result, 0) << c.what;
    struct stat after {};
    ASSERT_EQ(lstat("DERadori.ini", &after), 0) << c.what;
    EXPECT_EQ(after.st_mode & S_IFMT, c.type) << c.what;
    EXPECT_EQ(ListWorkingDirectory(), std::vector<std::string>{"DERadori.ini"}) << c.what;
  }
}

// ---------------------------------------------------------------- outside judge

struct Entry {
  std::string section;
  std::string key;
  std::string value;
};

std::string AsLines(const std::vector<Entry>& entries) {
  std::string lines;
  for (const Entry& e : entries) lines += e.section + "\t" + e.key + "\t" + e.value + "\n";
  return lines;
}

std::string JudgeCommand(const std::string& mode, const std::string& file) {
  return "python3 '" + SourceDir() + "/tests/ini_judge.py' " + mode + " '" + file + "'";
}

// The judge must be there: a missing python3 fails the test rather than skip it.
void RequireJudge() {
  ASSERT_EQ(RunCommand("python3 -c 'import configparser' >/dev/null 2>&1"), 0)
      << "python3 with configparser is needed to judge the INI files";
}

// Python's configparser reads what our writer wrote, whether we start from no
// file (CR LF) or from a hand-written LF file with comments and blank lines.
TEST(PrivateProfileJudgeTest, ConfigparserReadsWhatWeWrite) {
  RequireJudge();
  const struct {
    const char* what;
    std::string start;
    std::vector<Entry> before;  // what the start file already holds
  } starts[] = {
      {"no file", "", {}},
      {"hand-written LF file",
       "; hand-written\n[Behavior]\nMode = 4\n\n; retries follow\n[Other]\nName = x\n\n",
       {{"Behavior", "Mode", "4"}, {"Other", "Name", "x"}}},
  };
  const std::vector<Entry> writes = {
      {"NumOfRetryPackets", "FPGA1", "0"},       {"NumOfRetryPackets", "FPGA2", "0"},
      {"NumOfRetryPackets", "Firm(Appl)", "0"},  {"NumOfRetryPackets", "Firm(Boot)", "0"},
      {"NumOfRetryPackets", "FPGA2", "2"},       {"Behavior", "Mode", "3"},
      {"Behavior", "Extra", "a b;c #d %e"},      {"Other", "Name", "\xE6\x97\xA5\xE6\x9C\xAC"},
      {"numofretrypackets", "firm(boot)", "-1"},
  };
  for (const auto& start : starts) {
    ScratchDir dir;
    if (!start.start.empty()) WriteFileText("DERadori.ini", start.start);
    for (const Entry& w : writes) {
      ASSERT_TRUE(WritePrivateProfileString(w.section, w.key, w.value, "DERadori.ini"))
          << start.what << ": " << w.key;
    }
    // Sections in first-appearance order; keys keep the spelling of their first write.
    std::vector<Entry> expected = {
        {"Behavior", "Mode", "3"},
        {"Behavior", "Extra", "a b;c #d %e"},
        {"Other", "Name", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"NumOfRetryPackets", "FPGA1", "0"},
        {"NumOfRetryPackets", "FPGA2", "2"},
        {"NumOfRetryPackets", "Firm(Appl)", "0"},
        {"NumOfRetryPackets", "Firm(Boot)", "-1"},
    };
    if (start.before.empty()) {  // written from nothing: the retry section comes first
      expected = {expected[3], expected[4], expected[5], expected[6],
                  expected[0], expected[1], expected[2]};
    }
    int status = -1;
    std::string judged = CaptureCommand(JudgeCommand("read", "DERadori.ini"), &status);
    ASSERT_EQ(status, 0) << start.what << "\n" << ReadFileText("DERadori.ini");
    EXPECT_EQ(judged, AsLines(expected)) << start.what;
  }
}

// The other way round: a file that configparser writes ("key = value", LF, a
// blank line after each section) reads right with our reader, and after our
// writes configparser still reads it as we meant.
TEST(PrivateProfileJudgeTest, WeReadAndEditWhatConfigparserWrites) {
  RequireJudge();
  ScratchDir dir;
  const std::vector<Entry> entries = {
      {"Behavior", "Mode", "2"},
      {"NumOfRetryPackets", "FPGA1", "7"},
      {"NumOfRetryPackets", "Firm(Appl)", "x = y"},
  };
  WriteFileText("entries.txt", AsLines(entries));
  ASSERT_EQ(RunCommand(JudgeCommand("write", "cp.ini") + " < entries.txt"), 0);
  for (const Entry& e : entries) {
    EXPECT_EQ(GetPrivateProfileString(e.section, e.key, "missing", "cp.ini"), e.value) << e.key;
  }
  EXPECT_EQ(GetPrivateProfileInt("behavior", "mode", 0, "cp.ini"), 2u);

  ASSERT_TRUE(WritePrivateProfileString("Behavior", "Mode", "4", "cp.ini"));
  ASSERT_TRUE(WritePrivateProfileString("Behavior", "New", "1", "cp.ini"));
  ASSERT_TRUE(WritePrivateProfileString("NumOfRetryPackets", "FPGA1", "8", "cp.ini"));
  ASSERT_TRUE(WritePrivateProfileString("Last", "k", "v", "cp.ini"));
  int status = -1;
  std::string judged = CaptureCommand(JudgeCommand("read", "cp.ini"), &status);
  ASSERT_EQ(status, 0) << ReadFileText("cp.ini");
  EXPECT_EQ(judged, AsLines({{"Behavior", "Mode", "4"},
                             {"Behavior", "New", "1"},
                             {"NumOfRetryPackets", "FPGA1", "8"},
                             {"NumOfRetryPackets", "Firm(Appl)", "x = y"},
                             {"Last", "k", "v"}}));
}

}  // namespace
}  // namespace kx::platform
