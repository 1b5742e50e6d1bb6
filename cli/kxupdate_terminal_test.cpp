// kxupdate as a person at a terminal finds it: the log file, outside text on
// the screen, the progress line around a question, the board choice, the
// language of the headings, interrupts while the board is written, and the
// log's lines in --json. Runs work in a scratch folder against the simulated
// board (KXSIM_BOARD, XDG_RUNTIME_DIR), on files or on a pseudo-terminal
// that is the run's controlling terminal, as a shell's would be.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/terminal_screen_for_tests.h"
#include "platform/file_lock.h"
#include "platform/private_profile.h"
#include "tests/package_fixture.h"
#include "tests/scratch_dir.h"
#include "tests/wait_until.h"

namespace kx {
namespace {

using cli::testing::ScreenLines;
using testing::CaptureCommand;
using testing::FileExists;
using testing::FixturePackage;
using testing::PatternBytes;
using testing::ReadFileText;
using testing::ScratchDir;
using testing::StoredPackage;
using testing::WriteFileBytes;
using testing::WriteFileText;

const char* const kLabels[] = {"FPGA1", "FPGA2", "Firm(Appl)", "Firm(Boot)"};
const char* const kSteps[] = {"Updates FPGA1.....", "Updates FPGA2.....", "Updates Firm(Appl).....",
                              "Updates Firm(Boot)....."};

// The board installs V01.01.00 (FPGA), V01.01.00 (Firm(Appl)), V01.00.00
// (Firm(Boot)); the package's components are those whose version is given.
void Package(const char* fpga1, const char* fpga2, const char* appl, const char* boot) {
  const char* versions[] = {fpga1, fpga2, appl, boot};
  FixturePackage parts;
  for (std::size_t c = 0; c < 4; ++c) {
    if (versions[c] != nullptr) parts[c] = {versions[c], PatternBytes(1000 + 100 * c, static_cast<std::uint32_t>(c + 1))};
  }
  WriteFileBytes("DERadori.kx", StoredPackage(parts, 20261211));
}
void AllNewer() { Package("1_2_0", "1_2_0", "1_2_0", "1_1_0"); }
void BootEqual() { Package("1_2_0", "1_2_0", "1_2_0", "1_0_0"); }     // asked last
void Fpga1Older() { Package("1_0_0", nullptr, "1_2_0", "1_1_0"); }    // asked first

const std::string kFastBoard = "[Driver]\nDelayMs=0\nStepPercent=25\n[Boards]\nBoard1=KX58-0001\n";

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// The variables that point a run at this folder's board and lock files.
std::vector<std::pair<std::string, std::string>> RunVariables() {
  const std::string dir = std::filesystem::current_path().string();
  return {{"KXSIM_BOARD", dir + "/board.ini"}, {"XDG_RUNTIME_DIR", dir}, {"LANGUAGE", "en"}};
}

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// kxupdate ARGS through the shell, on files, without a terminal. ARGS may
// use the shell's quoting and $(printf ...) for bytes a test needs.
Result Kxupdate(const std::string& args) {
  std::string variables;
  for (const auto& [name, value] : RunVariables()) variables += name + "=" + Quoted(value) + " ";
  Result run;
  run.out = CaptureCommand(variables + "timeout 60 " + KXUPDATE_PATH + " " + args +
                               " </dev/null 2>stderr.txt",
                           &run.status);
  run.err = ReadFileText("stderr.txt");
  return run;
}

// Python answers each expression: `d` the JSON object `json`, ini(path) a
// file as configparser reads it; one answer per expression.
std::vector<std::string> Ask(const std::string& json, const std::vector<std::string>& expressions) {
  WriteFileText("out.json", json);
  std::string program =
      "import configparser, json, sys\n"
      "def ini(path):\n"
      "    c = configparser.ConfigParser(interpolation=None, strict=False)\n"
      "    c.optionxform = str\n"
      "    c.read(path)\n"
      "    return c\n"
      "d = json.load(open('out.json')) if open('out.json').read().strip() else None\n"
      "answers = [\n";
  for (const std::string& expression : expressions) program += "    str(" + expression + "),\n";
  program += "]\nsys.stdout.write('\\0'.join(answers))\n";
  WriteFileText("judge.py", program);
  int status = -1;
  const std::string out = CaptureCommand("python3 judge.py", &status);
  EXPECT_EQ(status, 0) << json << "\n" << program;
  std::vector<std::string> answers;
  for (std::size_t from = 0;;) {
    const std::size_t end = out.find('\0', from);
    answers.push_back(out.substr(from, end == std::string::npos ? std::string::npos : end - from));
    if (end == std::string::npos) break;
    from = end + 1;
  }
  answers.resize(expressions.size());
  return answers;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A value of the board file as the board reads it.
std::string BoardValue(const std::string& section, const std::string& key) {
  return platform::ReadProfileValue(ReadFileText("board.ini"), section, key, nullptr);
}

// A run of kxupdate --simulate started without a shell, so that its process
// id is kxupdate's own: on files (standard input /dev/null, standard output
// out.txt), or on a new pseudo-terminal that is its controlling terminal,
// standard input and output, in the mode a terminal starts in (echo, line
// editing, Ctrl-C as SIGINT). Standard error goes to err.txt. A run still
// going when the object ends is killed.
class LiveRun {
 public:
  LiveRun(const std::vector<std::string>& args, bool onTerminal) {
    std::vector<std::string> argv = {KXUPDATE_PATH, "--simulate"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      bool replaced = false;
      for (const auto& [name, value] : RunVariables()) replaced = replaced || entry.rfind(name + "=", 0) == 0;
      if (!replaced) env.push_back(entry);
    }
    for (const auto& [name, value] : RunVariables()) env.push_back(name + "=" + value);
    std::vector<char*> argp, envp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string follower;
    if (onTerminal) {
      leader_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
      if (leader_ < 0 || grantpt(leader_) != 0 || unlockpt(leader_) != 0 || ptsname(leader_) == nullptr) return;
      follower = ptsname(leader_);
      // Kept open here too, so that the run's last output stays readable.
      held_ = open(follower.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
      termios mode{};
      if (held_ < 0 || tcgetattr(held_, &mode) != 0) return;
      mode.c_lflag |= NOFLSH;  // Ctrl-C must not drop output the test has not read yet
      if (tcsetattr(held_, TCSANOW, &mode) != 0) return;
    }
    const int err = open("err.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int in = onTerminal ? -1 : open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = onTerminal ? -1 : open("out.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls from here to the exec.
      int terminal = -1;
      if (onTerminal) {
        setsid();
        terminal = open(follower.c_str(), O_RDWR);  // the first terminal a session leader opens is its own
        if (terminal < 0 || ioctl(terminal, TIOCSCTTY, 0) != 0) _exit(126);
      }
      dup2(onTerminal ? terminal : in, STDIN_FILENO);
      dup2(onTerminal ? terminal : out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      execve(argp[0], argp.data(), envp.data());
      _exit(127);
    }
    for (int fd : {err, in, out}) {
      if (fd >= 0) close(fd);
    }
  }
  ~LiveRun() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (held_ >= 0) close(held_);
    if (leader_ >= 0) close(leader_);
  }
  LiveRun(const LiveRun&) = delete;
  LiveRun& operator=(const LiveRun&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // What the run wrote to its terminal so far.
  const std::string& Output() {
    pollfd ready{leader_, POLLIN, 0};
    char buffer[4096];
    while (leader_ >= 0 && poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN) != 0) {
      const ssize_t n = read(leader_, buffer, sizeof buffer);
      if (n <= 0) break;
      output_.append(buffer, static_cast<std::size_t>(n));
    }
    return output_;
  }
  // Waits until the terminal has shown `text` `times` times.
  bool WaitForOutput(const std::string& text, std::size_t times = 1) {
    return testing::WaitUntil([&] { return Count(Output(), text) >= times || Ended(); }) &&
           Count(Output(), text) >= times;
  }
  static bool WaitForError(const std::string& text, std::size_t times = 1) {
    return testing::WaitUntil([&] { return Count(ReadFileText("err.txt"), text) >= times; });
  }
  bool Type(const std::string& text) {
    return write(leader_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  // How the run ended: its exit status, or 128 + the signal that ended it;
  // none when it does not end within the hang guard.
  std::optional<int> End() {
    testing::WaitUntil([&] {
      Output();
      return Ended();
    });
    Output();
    if (!status_) return std::nullopt;
    return WIFEXITED(*status_) ? WEXITSTATUS(*status_) : 128 + WTERMSIG(*status_);
  }

 private:
  bool Ended() {
    int status = 0;
    if (!status_ && pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    return status_.has_value();
  }

  pid_t pid_ = -1;
  int leader_ = -1;
  int held_ = -1;
  std::string output_;
  std::optional<int> status_;
};

// ---------------------------------------------------------------------------
// The log file is opened before anything else: a name that cannot take the
// log is a usage error, and the driver is not even loaded.

TEST(KxupdateLogFileTest, ANameThatCannotTakeTheLogStopsTheRunFirst) {
  ScratchDir dir;
  WriteFileText("board.ini", kFastBoard);
  AllNewer();
  ASSERT_EQ(mkdir("folder", 0755), 0);
  ASSERT_EQ(mkfifo("fifo", 0644), 0);
  WriteFileText("kept.log", "kept\n");
  ASSERT_EQ(symlink("kept.log", "link.log"), 0);
  struct Case {
    const char* name;
    const char* cause;
  };
  const Case cases[] = {
      {"/nonexistent/x.log", "its folder does not exist"},
      {"folder", "it is a folder"},
      {"fifo", "it is a FIFO, not a regular file"},  // and no wait for a reader
      {"link.log", "it is a symbolic link (name the file itself)"},
  };
  for (const Case& c : cases) {
    const Result run = Kxupdate(std::string("--simulate update --log-file ") + c.name);
    EXPECT_EQ(run.status, 64) << c.name << "\n" << run.err;
    EXPECT_EQ(run.out, "") << c.name;
    const std::string message = std::string("kxupdate: cannot append to the log file ") + c.name + ": " + c.cause + "\n";
    EXPECT_EQ(run.err.rfind(message + "usage: kxupdate update", 0), 0u) << run.err;
    EXPECT_EQ(ReadFileText("board.ini"), kFastBoard) << c.name << ": the board was reached";
    EXPECT_FALSE(FileExists("DERadori.ini")) << c.name << ": the dialog ran";
  }
  EXPECT_EQ(ReadFileText("kept.log"), "kept\n");
  // A file that can take it gets the run's lines.
  const Result run = Kxupdate("--simulate update --log-file kept.log");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileText("kept.log").rfind("kept\n", 0), 0u);
  EXPECT_NE(ReadFileText("kept.log").find(" Updates Firm(Boot).....Completed\n"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Versions, board ids and file names from outside reach the terminal
// escaped; --json keeps them exact.

TEST(KxupdateOutsideTextTest, ReachesTheTerminalEscapedAndJsonExact) {
  ScratchDir dir;
  // $(printf ...) puts the bytes on the command line: ESC [ 2 J clears the
  // screen, ESC ] 0 ; ... BEL retitles the window, C2 9B is the C1 CSI.
  const std::string kBoard = "KX58-\x1b[31m1";
  const std::string kVersion = "V01.00.00\x1b]0;owned\x07";
  const std::string board = kFastBoard.substr(0, kFastBoard.find("[Boards]")) + "[Boards]\nBoard1=" + kBoard +
                            "\n[Board " + kBoard + "]\nVersion5=" + kVersion + "\n";
  struct Case {
    const char* name;
    std::string args;
    std::string shown;  // the escaped form the terminal gets
    std::string json;   // with --json: an expression, and the value it must have
    std::string jsonValue;
  };
  const Case cases[] = {
      {"Boards", "--simulate boards", "KX58-\\x1b[31m1\n", "d['boards'][0] == " + std::string("'KX58-\\x1b[31m1'"), "True"},
      {"Versions", "--simulate versions", "Firm(Appl): V01.00.00\\x1b]0;owned\\x07\n",
       "d['versions']['5'] == 'V01.00.00\\x1b]0;owned\\x07'", "True"},
      {"CheckPlan", "--simulate update --check", "installed V01.00.00\\x1b]0;owned\\x07 -> write", "", ""},
      {"BoardNotPresent", "--simulate update --board \"$(printf 'KX58-\\033[2J')\"",
       "The PCI-board KX58-\\x1b[2J is not present.", "d['problem']",
       "no board KX58-\x1b[2J among those present (KX58-\x1b[31m1); nothing was sent to the driver"},
      {"PackageFile", "package inspect \"$(printf 'a\\033]0;x\\007.kx')\"", "no package file a\\x1b]0;x\\x07.kx", "", ""},
      {"PackageVersion", "package inspect", "version 1_2_0\\xc2\\x9b2J", "", ""},
      {"SRecordFile", "srec \"$(printf 'in\\302\\2332J.s')\" -o out.bin", "cannot read in\\xc2\\x9b2J.s: no such file", "", ""},
  };
  for (const Case& c : cases) {
    WriteFileText("board.ini", board);
    Package("1_2_0", nullptr, "1_2_0", nullptr);
    if (std::string(c.name) == "PackageVersion") {
      WriteFileBytes("DERadori.kx", StoredPackage({{{"1_2_0\xc2\x9b" "2J", PatternBytes(100, 1)}, {}, {}, {}}}, 7));
    }
    const Result run = Kxupdate(c.args);
    const std::string shown = run.out + run.err;
    EXPECT_NE(shown.find(c.shown), std::string::npos) << c.name << ":\n" << shown;
    for (const char raw : {'\x1b', '\x07', '\x9b'}) {
      EXPECT_EQ(shown.find(raw), std::string::npos) << c.name << ": a raw control byte reached the terminal:\n"
                                                    << ::testing::PrintToString(shown);
    }
    if (c.json.empty()) continue;
    const Result json = Kxupdate(c.args + " --json");
    EXPECT_EQ(Ask(json.out, {c.json})[0], c.jsonValue) << c.name << ":\n" << json.out;
  }
}

// ---------------------------------------------------------------------------
// On a terminal the progress line starts afresh below a question and its
// answer: no line shows a step's text twice.

// The screen's lines; a failure names the first that shows a step twice.
void ExpectEachStepOncePerLine(const std::vector<std::string>& screen, const std::string& context) {
  for (const std::string& line : screen) {
    for (const char* step : kSteps) {
      EXPECT_LE(Count(line, step), 1u) << context << ": the line reads '" << line << "'";
    }
  }
}

bool HasLine(const std::vector<std::string>& screen, const std::string& line) {
  return std::find(screen.begin(), screen.end(), line) != screen.end();
}

struct QuestionCase {
  const char* name;
  void (*package)();
  std::vector<std::string> args;
  std::string typed;  // at the question ("" when a flag answers)
  int status;
  std::vector<std::string> lines;  // lines the screen must show
  std::string errHas = "";
};

std::ostream& operator<<(std::ostream& out, const QuestionCase& c) { return out << c.name; }

class KxupdateQuestionTest : public ::testing::TestWithParam<QuestionCase> {};

TEST_P(KxupdateQuestionTest, TheProgressLineStartsAfreshAfterTheAnswer) {
  const QuestionCase& c = GetParam();
  ScratchDir dir;
  WriteFileText("board.ini", kFastBoard);
  c.package();
  std::vector<std::string> args = {"update"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  LiveRun run(args, true);
  ASSERT_TRUE(run.started());
  if (!c.typed.empty()) {
    ASSERT_TRUE(run.WaitForOutput("[y/N] ")) << run.Output();
    ASSERT_TRUE(run.Type(c.typed));
  }
  EXPECT_EQ(run.End(), c.status) << run.Output() << ReadFileText("err.txt");
  const auto screen = ScreenLines(run.Output());
  ExpectEachStepOncePerLine(screen, c.name);
  for (const std::string& line : c.lines) {
    EXPECT_TRUE(HasLine(screen, line)) << "no line '" << line << "' in:\n" << ::testing::PrintToString(screen);
  }
  EXPECT_NE(ReadFileText("err.txt").find(c.errHas), std::string::npos) << ReadFileText("err.txt");
  if (c.errHas.empty()) {
    EXPECT_EQ(ReadFileText("err.txt"), "");
  }
}

const QuestionCase kQuestionCases[] = {
    {"LastAskedAnsweredYes", BootEqual, {}, "y\n", 0,
     {"Updates Firm(Appl).....Completed", "[y/N] y", "Updates Firm(Boot).....Completed"}},
    {"FirstAskedAnsweredYes", Fpga1Older, {}, "yes\n", 0,
     {"Updates FPGA1.....", "[y/N] yes", "Updates FPGA1.....Completed", "Updates Firm(Boot).....Completed"}},
    {"AnsweredNo", BootEqual, {}, "n\n", 10, {"[y/N] n", "Updates Firm(Boot).....Cancel"}},
    {"AnsweredByFlag", BootEqual, {"--yes"}, "", 0,
     {"[y/N] y (answered by --yes)", "Updates Firm(Boot).....Completed"}},
    // Ctrl-C at the question is the answer No, at once; no notice, as
    // nothing is being written.
    {"CtrlCAnswersNo", BootEqual, {}, "\x03", 10,
     {"n (interrupted)", "Updates Firm(Boot).....Cancel", "Updates Firm(Appl).....Completed"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, KxupdateQuestionTest, ::testing::ValuesIn(kQuestionCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The board choice on a terminal: a wrong answer says why and asks again,
// three wrong ones end the run with error 01, as the end of the input does.

TEST(KxupdateBoardChoiceTest, WrongAnswersAreAskedAgainThreeTimes) {
  const std::string prompt = "Choose a PCI-board (1 to 3) [1]: ";
  const std::string none = "There is no PCI-board ";
  struct Case {
    std::vector<std::string> typed;  // one a prompt; "\x04" ends the input
    int status;
    std::string created;  // the board the driver was asked for ("" none)
    std::size_t reasons;  // wrong answers told
    std::string errHas;
  };
  const Case cases[] = {
      {{"2\n"}, 0, "KX58-0002", 0, ""},
      {{"\n"}, 0, "KX58-0001", 0, ""},
      {{"0\n", "x\n", "3\n"}, 0, "KX58-0003", 2, ""},
      {{"0\n", "4\n", "x\n"}, 1, "", 3, "kxupdate: no board was chosen: 3 answers named none of the 3 boards\n"},
      {{"\x04"}, 1, "", 0, "kxupdate: the board choice was cancelled\n"},
      {{"9\n", "\x04"}, 1, "", 1, "kxupdate: the board choice was cancelled\n"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    WriteFileText("board.ini", "[Driver]\nDelayMs=0\n[Boards]\nBoard1=KX58-0002\nBoard2=ZX10-0001\n"
                               "Board3=KX58-0001\nBoard4=KX58-0003\n");
    AllNewer();
    const std::string context = ::testing::PrintToString(c.typed);
    LiveRun run({"update", "--check"}, true);
    ASSERT_TRUE(run.started());
    for (std::size_t i = 0; i < c.typed.size(); ++i) {
      ASSERT_TRUE(run.WaitForOutput(prompt, i + 1)) << context << "\n" << run.Output();
      ASSERT_TRUE(run.Type(c.typed[i]));
    }
    EXPECT_EQ(run.End(), c.status) << context << "\n" << run.Output();
    const std::string shown = run.Output();
    EXPECT_NE(shown.find("Select the PCI-board\r\n  1) KX58-0001\r\n  2) KX58-0002\r\n  3) KX58-0003\r\n"),
              std::string::npos)
        << shown;
    EXPECT_EQ(Count(shown, prompt), std::min<std::size_t>(c.reasons + 1, 3)) << context << "\n" << shown;
    EXPECT_EQ(Count(shown, none) + Count(shown, "is not a number: choose 1 to 3."), c.reasons) << context;
    const std::string err = ReadFileText("err.txt");
    EXPECT_EQ(err, c.errHas) << context;
    EXPECT_EQ(BoardValue("Record", "CreatedBoard"), c.created) << context;
    if (c.status == 1) {
      EXPECT_NE(shown.find("Error:\r\nPCI-board does not insert, or PCI-board is not recognized. \r\nUpdate is exited.\r\n"
                           "(Error Code:01)"),
                std::string::npos)
          << shown;
    }
  }
}

// ---------------------------------------------------------------------------
// --lang reaches every text of every command: the headings above the
// dialog's messages, and the messages of the package tool.

TEST(KxupdateLanguageTest, HeadingsAndMessagesFollowLang) {
  struct Case {
    const char* name;
    void (*setup)();
    std::string args;
    int status;
    std::string shown;    // in standard output or standard error
    std::string notShown;
  };
  const auto nothing = [] {};
  const auto wrongKind = [] { WriteFileText("KXFPGA1v01_02_00.rbf", "S00600004844521B\n"); };
  const Case cases[] = {
      {"Question", Fpga1Older, "--lang ja --simulate update", 10, "\n確認:\nこれからアップデートするバージョンは",
       "Question:"},
      {"Warning", [] { Package("1_2_0", nullptr, "1_1_0", nullptr); }, "--simulate update --lang=ja", 0,
       "\n警告:\nアップデートする必要はありません。", "Warning:"},
      {"Information", AllNewer, "--simulate --lang ja update", 0, "\n情報:\nKX58アップデートは正常に終了しました。",
       "Information:"},
      {"Error", nothing, "--lang ja --simulate update", 3, "\nエラー:\nアップデートファイルが開けません。", "Error:"},
      {"ErrorInEnglishWhateverTheLocale", nothing, "--lang en --simulate update", 3,
       "\nError:\nUpdate file does not open.", "エラー"},
      {"PackageBuild", wrongKind, "--lang ja package build", 1,
       "ロードモジュールファイルのファイル名とファイルの種類が一致しません。", "The file name of load module"},
      {"PackageBuildAfterTheCommand", wrongKind, "package build --lang ja", 1,
       "ロードモジュールファイルのファイル名とファイルの種類が一致しません。", "The file name of load module"},
      {"Errors", nothing, "errors 0 --lang ja", 0, "0\tkCAM_NO_ERROR\tエラーなし\n", "No error."},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    WriteFileText("board.ini", kFastBoard);
    c.setup();
    // The environment says English (or, for the English case, Japanese):
    // --lang decides.
    const std::string locale = std::string(c.name).find("English") != std::string::npos ? "LANGUAGE=ja " : "";
    int status = -1;
    std::string variables;
    for (const auto& [name, value] : RunVariables()) variables += name + "=" + Quoted(value) + " ";
    const std::string out = CaptureCommand(variables + locale + "timeout 60 " + KXUPDATE_PATH + " " + c.args +
                                               " </dev/null 2>stderr.txt",
                                           &status);
    const std::string shown = out + ReadFileText("stderr.txt");
    EXPECT_EQ(status, c.status) << c.name << "\n" << shown;
    EXPECT_NE(shown.find(c.shown), std::string::npos) << c.name << ":\n" << shown;
    EXPECT_EQ(shown.find(c.notShown), std::string::npos) << c.name << ":\n" << shown;
  }
}

// ---------------------------------------------------------------------------
// Interrupts while the board is written: the run goes on, and says once
// why. The board is held in the middle of a write: it records each
// completed write under its board file's lock before it sends the write's
// last event, so while the test holds that lock the run waits for that
// event, inside the writing, for as long as the test needs.

struct InterruptCase {
  const char* name;
  int first;           // the signal sent first
  bool firstIsTold;    // false: it is ignored, and a SIGINT follows for the notice
  bool typed = false;  // Ctrl-C typed on the run's terminal instead of a signal sent
};

std::ostream& operator<<(std::ostream& out, const InterruptCase& c) { return out << c.name; }

class KxupdateInterruptTest : public ::testing::TestWithParam<InterruptCase> {};

// The labels the board has recorded as written, from its [Written] section.
std::vector<std::string> WrittenOrder() {
  const std::string order = BoardValue("Written KX58-0001", "Order");
  std::vector<std::string> labels;
  for (std::size_t from = 0; !order.empty();) {
    const std::size_t comma = order.find(',', from);
    labels.push_back(order.substr(from, comma - from));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return labels;
}

TEST_P(KxupdateInterruptTest, TheWriteGoesOnAndTheInterruptIsToldOnce) {
  const InterruptCase& c = GetParam();
  ScratchDir dir;
  // Paced, so that the lock is taken well before the last write completes;
  // the pace is lifted once the run is held.
  WriteFileText("board.ini", "[Driver]\nDelayMs=100\nStepPercent=50\n[Boards]\nBoard1=KX58-0001\n");
  AllNewer();
  const std::string notice = ": interrupting now could leave a board that does not start; the update goes on.";
  LiveRun run(c.typed ? std::vector<std::string>{"update"} : std::vector<std::string>{"update", "--json"}, c.typed);
  ASSERT_TRUE(run.started());
  // The first progress of the first write: the writing has begun.
  if (c.typed) {
    ASSERT_TRUE(run.WaitForOutput("[%]")) << run.Output();
  } else {
    ASSERT_TRUE(testing::WaitUntil([] { return ReadFileText("err.txt").find("[%]") != std::string::npos; }));
  }
  platform::FileLock board;
  ASSERT_EQ(board.Acquire("board.ini"), platform::FileLockStatus::kLocked);
  const std::vector<std::string> done = WrittenOrder();
  ASSERT_LT(done.size(), 4u) << "the run ended its writing before the board was held";
  const std::string writing = kLabels[done.size()];

  if (c.typed) {
    ASSERT_TRUE(run.Type("\x03"));
  } else {
    ASSERT_EQ(kill(run.pid(), c.first), 0);
    if (!c.firstIsTold) {
      ASSERT_EQ(kill(run.pid(), SIGINT), 0);
    }
  }
  ASSERT_TRUE(LiveRun::WaitForError(notice)) << c.name << ": no notice\n" << ReadFileText("err.txt");
  EXPECT_EQ(WrittenOrder(), done) << "the board was held while the notice came";
  // More interrupts are not told again.
  ASSERT_EQ(kill(run.pid(), SIGINT), 0);
  ASSERT_EQ(kill(run.pid(), SIGTERM), 0);
  // The pace lifted (the file replaced whole: the board reads it afresh on
  // every call), then the board let go.
  std::string paced = ReadFileText("board.ini");
  const std::size_t delay = paced.find("DelayMs=100\n");
  ASSERT_NE(delay, std::string::npos) << paced;
  WriteFileText("board.tmp", paced.replace(delay, 12, "DelayMs=0\n"));
  ASSERT_EQ(std::rename("board.tmp", "board.ini"), 0);
  board.Release();

  EXPECT_EQ(run.End(), 0) << ReadFileText("err.txt");
  const std::string err = ReadFileText("err.txt");
  EXPECT_EQ(Count(err, notice), 1u) << err;
  EXPECT_NE(err.find("Writing " + writing + notice + "\n"), std::string::npos)
      << "the notice names the component being written, " << writing << ":\n" << err;
  EXPECT_EQ(WrittenOrder(), (std::vector<std::string>{"FPGA1", "FPGA2", "Firm(Appl)", "Firm(Boot)"}));
  if (c.typed) {
    const auto screen = ScreenLines(run.Output());
    ExpectEachStepOncePerLine(screen, c.name);
    for (const char* step : kSteps) {
      EXPECT_TRUE(HasLine(screen, std::string(step) + "Completed")) << ::testing::PrintToString(screen);
    }
  } else {
    EXPECT_EQ(Ask(ReadFileText("out.txt"), {"d['outcome']"})[0], "completed");
  }
}

const InterruptCase kInterruptCases[] = {
    {"Sigint", SIGINT, true},
    {"Sigterm", SIGTERM, true},
    {"Sigquit", SIGQUIT, true},
    {"Sigtstp", SIGTSTP, true},
    {"SighupIgnored", SIGHUP, false},
    {"SigpipeIgnored", SIGPIPE, false},
    {"CtrlCTyped", SIGINT, true, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, KxupdateInterruptTest, ::testing::ValuesIn(kInterruptCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// --json: the log as the dialog keeps it, CR LF included, and beside it the
// same log as lines without their ends.

TEST(KxupdateJsonTest, LogLinesAreTheLogSplitAtItsLineEnds) {
  struct Case {
    const char* name;
    std::string board;
    void (*package)();
    std::string args;
    std::string lastLine;
  };
  const Case cases[] = {
      {"Completed", kFastBoard, AllNewer, "", "Updates Firm(Boot).....Completed"},
      {"Refused", kFastBoard + "[Fault FPGA2]\nRefuse=1\n", AllNewer, "", "(kCAM_NO_ERROR)"},
      {"Declined", kFastBoard, Fpga1Older, "--no", "Updates FPGA1.....Cancel"},
      {"NoFiles", kFastBoard, [] {}, "", "Checking the file.....Failuer."},
      {"NoBoard", "[Driver]\nDelayMs=0\n", AllNewer, "", "(kCAM_NO_ERROR)"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    WriteFileText("board.ini", c.board);
    c.package();
    const Result run = Kxupdate("--simulate update --json " + c.args);
    const auto answers = Ask(run.out, {
        "d['log_lines'] == [l for l in d['log'].replace('\\r\\n', '\\n').split('\\n')][:len(d['log_lines'])]",
        "'\\r\\n'.join(d['log_lines']) + ('\\r\\n' if d['log'].endswith('\\r\\n') else '') == d['log']",
        "any('\\r' in l or '\\n' in l for l in d['log_lines'])",
        "d['log_lines'][0].startswith('Initializing.....')",
        "d['log_lines'][-1]",
        "'\\r\\n' in d['log']",
    });
    EXPECT_EQ(answers, (std::vector<std::string>{"True", "True", "False", "True",
                                                 c.lastLine, "True"}))
        << c.name << ":\n" << run.out;
  }
}

}  // namespace
}  // namespace kx
