// Test fixture: kxupdate run as a script runs it, its standard output,
// standard error and exit status kept apart, its --json output read with
// nlohmann/json.
#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kx::testing {

// How one run ended and what it printed.
struct KxupdateRun {
  int status = -1;        // the exit status; 128 + the signal that ended it; -1: it never ran
  bool timedOut = false;  // the guard ended it (status is then 128 + SIGKILL)
  std::string out;        // standard output
  std::string err;        // standard error

  // Standard output as one JSON value. Output that is not exactly one JSON
  // value (blanks and line ends around it aside) fails the test and gives
  // a discarded value, which equals nothing a test expects.
  nlohmann::json Json() const;
};

// A command line for kxupdate and the surroundings it runs in. The child
// gets the test's environment with these changes: the texts in English
// (LC_ALL=C; LANGUAGE, LC_MESSAGES and LANG unset) and no driver or board
// file chosen from outside (KXUPDATE_DRIVER and KXSIM_BOARD unset), then
// what Set and Unset say. It runs in the test's working directory unless In
// names another, reads an empty standard input unless Input gives one, and
// is killed should it still run after the guard's time (a hang, not a
// measure: 120 seconds unless Guard says otherwise).
class KxupdateRunner {
 public:
  explicit KxupdateRunner(std::string program);

  KxupdateRunner& Set(const std::string& name, const std::string& value);
  KxupdateRunner& Unset(const std::string& name);
  KxupdateRunner& In(std::string folder);
  KxupdateRunner& Input(std::string text);
  // Words that go before the program: a tool that runs it (setpriv, strace).
  KxupdateRunner& Through(std::vector<std::string> words);
  KxupdateRunner& Guard(unsigned seconds);

  // kxupdate with these arguments, each passed as it stands.
  KxupdateRun Run(const std::vector<std::string>& args) const;
  // The same with `words` split at blanks: no quoting, no empty words (use
  // the vector form for arguments with blanks or empty ones).
  KxupdateRun operator()(std::string_view words) const;

 private:
  std::string program_;
  std::map<std::string, std::optional<std::string>> environment_;
  std::string folder_;
  std::string input_;
  bool hasInput_ = false;
  std::vector<std::string> through_;
  unsigned guardSeconds_ = 120;
};

// `text` as one JSON value; text that is not fails the test (naming
// `what`) and gives a discarded value.
nlohmann::json ParseJson(const std::string& text, const std::string& what = "");

// `words` split at blanks.
std::vector<std::string> SplitWords(std::string_view words);

// The values of `keys` in a JSON object, as an array in the order of the
// keys; of an array of objects, one such array per object. A key that is
// missing, or a value that is not an object, fails the test and stands as
// null. Lets a test compare several fields at once:
//   EXPECT_EQ(Fields(run.Json(), {"outcome", "error_code"}), json::parse(R"(["failed", 3])"));
nlohmann::json Fields(const nlohmann::json& value, const std::vector<std::string>& keys);

// The value of one key, by the same rules.
nlohmann::json Field(const nlohmann::json& value, const std::string& key);

}  // namespace kx::testing
