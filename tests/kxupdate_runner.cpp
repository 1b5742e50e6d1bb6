#include "tests/kxupdate_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <utility>

extern char** environ;

namespace kx::testing {
namespace {

// A file descriptor closed with its owner.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// An anonymous file in memory, closed on exec (its duplicate on 0, 1 or 2
// stays open in the child).
int MemoryFile(const char* name) { return ::memfd_create(name, MFD_CLOEXEC); }

bool WriteAll(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string ReadAll(int fd) {
  std::string text;
  if (::lseek(fd, 0, SEEK_SET) != 0) return text;
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  return text;
}

int StatusOf(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

// Waits for `child` to end, at most `guardSeconds`; then kills it. Its
// status, and through `timedOut` whether the guard ended it.
int AwaitChild(pid_t child, unsigned guardSeconds, bool& timedOut) {
  int raw = 0;
  const Fd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
  if (pidfd.get() >= 0) {
    pollfd ended{pidfd.get(), POLLIN, 0};
    int ready;
    do {
      ready = ::poll(&ended, 1, static_cast<int>(guardSeconds * 1000));
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) {
      timedOut = true;
      ::kill(child, SIGKILL);
    }
  }
  // Without pidfd_open (an old kernel) the wait is unguarded.
  while (::waitpid(child, &raw, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return StatusOf(raw);
}

// The test's environment with `changes` made: a value sets a variable, none
// removes it.
std::vector<std::string> ChildEnvironment(
    const std::map<std::string, std::optional<std::string>>& changes) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (changes.count(text.substr(0, text.find('='))) == 0) entries.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (value) entries.push_back(name + "=" + *value);
  }
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

nlohmann::json ParseJson(const std::string& text, const std::string& what) {
  nlohmann::json value = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) ADD_FAILURE() << "not one JSON value:\n" << text << "\n" << what;
  return value;
}

nlohmann::json KxupdateRun::Json() const {
  return ParseJson(out, "(standard output; exit status " + std::to_string(status) +
                            "; standard error:\n" + err + ")");
}

KxupdateRunner::KxupdateRunner(std::string program) : program_(std::move(program)) {
  Set("LC_ALL", "C");
  for (const char* name : {"LANGUAGE", "LC_MESSAGES", "LANG", "KXUPDATE_DRIVER", "KXSIM_BOARD"}) {
    Unset(name);
  }
}

KxupdateRunner& KxupdateRunner::Set(const std::string& name, const std::string& value) {
  environment_[name] = value;
  return *this;
}

KxupdateRunner& KxupdateRunner::Unset(const std::string& name) {
  environment_[name] = std::nullopt;
  return *this;
}

KxupdateRunner& KxupdateRunner::In(std::string folder) {
  folder_ = std::move(folder);
  return *this;
}

KxupdateRunner& KxupdateRunner::Input(std::string text) {
  input_ = std::move(text);
  hasInput_ = true;
  return *this;
}

KxupdateRunner& KxupdateRunner::Through(std::vector<std::string> words) {
  through_ = std::move(words);
  return *this;
}

KxupdateRunner& KxupdateRunner::Guard(unsigned seconds) {
  guardSeconds_ = seconds;
  return *this;
}

KxupdateRun KxupdateRunner::operator()(std::string_view words) const {
  return Run(SplitWords(words));
}

KxupdateRun KxupdateRunner::Run(const std::vector<std::string>& args) const {
  KxupdateRun run;
  const Fd out(MemoryFile("kxupdate-stdout"));
  const Fd err(MemoryFile("kxupdate-stderr"));
  const Fd in(hasInput_ ? MemoryFile("kxupdate-stdin") : ::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (out.get() < 0 || err.get() < 0 || in.get() < 0) {
    ADD_FAILURE() << "no files for the child's standard streams: " << std::strerror(errno);
    return run;
  }
  if (hasInput_ && (!WriteAll(in.get(), input_) || ::lseek(in.get(), 0, SEEK_SET) != 0)) {
    ADD_FAILURE() << "the child's standard input could not be written";
    return run;
  }

  std::vector<std::string> argv = through_;
  argv.push_back(program_);
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> envp = ChildEnvironment(environment_);
  std::vector<char*> argvPointers = Pointers(argv);
  std::vector<char*> envpPointers = Pointers(envp);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.get(), STDERR_FILENO);
  if (!folder_.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder_.c_str());
  pid_t child = -1;
  const int spawned = ::posix_spawnp(&child, argv.front().c_str(), &actions, nullptr,
                                     argvPointers.data(), envpPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << argv.front() << " could not be started: " << std::strerror(spawned);
    return run;
  }
  run.status = AwaitChild(child, guardSeconds_, run.timedOut);
  if (run.timedOut)
    ADD_FAILURE() << program_ << " was still running after " << guardSeconds_ << " s";
  run.out = ReadAll(out.get());
  run.err = ReadAll(err.get());
  return run;
}

std::vector<std::string> SplitWords(std::string_view words) {
  std::vector<std::string> split;
  std::size_t from = 0;
  while (from < words.size()) {
    const std::size_t blank = words.find(' ', from);
    const std::size_t end = blank == std::string_view::npos ? words.size() : blank;
    if (end > from) split.emplace_back(words.substr(from, end - from));
    from = end + 1;
  }
  return split;
}

nlohmann::json Fields(const nlohmann::json& value, const std::vector<std::string>& keys) {
  if (value.is_array()) {
    nlohmann::json rows = nlohmann::json::array();
    for (const nlohmann::json& element : value) rows.push_back(Fields(element, keys));
    return rows;
  }
  nlohmann::json row = nlohmann::json::array();
  if (!value.is_object()) {
    ADD_FAILURE() << "not a JSON object: " << value;
    for (std::size_t i = 0; i < keys.size(); ++i) row.push_back(nullptr);
    return row;
  }
  for (const std::string& key : keys) {
    const auto found = value.find(key);
    if (found == value.end()) {
      ADD_FAILURE() << "no key \"" << key << "\" in " << value;
      row.push_back(nullptr);
    } else {
      row.push_back(*found);
    }
  }
  return row;
}

nlohmann::json Field(const nlohmann::json& value, const std::string& key) {
  if (value.is_array()) {
    ADD_FAILURE() << "not a JSON object: " << value;
    return nullptr;
  }
  return Fields(value, {key})[0];
}

}  // namespace kx::testing
