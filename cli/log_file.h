// kxupdate update --log-file: the file the run's log is appended to.
#pragma once

#include <memory>
#include <string>

namespace kx::cli {

// Opened once, before the run touches anything, so that a name that cannot
// be used is a usage error rather than a log that silently goes nowhere.
// Only a regular file is taken (made when missing, mode 0666 less the
// umask); a symbolic link, a folder, a FIFO or a device at the name is
// refused without waiting on it and without writing to it.
class LogFile {
 public:
  // The open file, or null with `problem` saying why not: "cannot append to
  // the log file NAME: CAUSE".
  static std::unique_ptr<LogFile> Open(const std::string& path, std::string& problem);
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Appends `text` as it stands. After a write fails nothing more is
  // written; WriteProblem() then says why.
  void Append(const std::string& text);
  const std::string& path() const { return path_; }
  // "" while every write went through, else the first failure's cause.
  const std::string& WriteProblem() const { return writeProblem_; }

 private:
  LogFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  std::string path_;
  int fd_;
  std::string writeProblem_;
};

}  // namespace kx::cli
