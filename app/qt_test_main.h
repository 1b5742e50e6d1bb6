// Test helper: the main function of the wizard's QtTest executables.
#pragma once

#include <QApplication>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace kx::app::testing {

// A fresh private runtime folder (XDG_RUNTIME_DIR) for the whole test run,
// made before Qt starts and removed afterwards, so neither Qt nor the locks
// ever use the user's. The test functions' scratch folders put their own in
// front of it.
class RuntimeFolder {
 public:
  RuntimeFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kx-qt-runtime-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) != nullptr) {
      path_ = tmpl;
      ::setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    }
  }
  ~RuntimeFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  RuntimeFolder(const RuntimeFolder&) = delete;
  RuntimeFolder& operator=(const RuntimeFolder&) = delete;

 private:
  std::string path_;
};

}  // namespace kx::app::testing

#define KX_QTEST_MAIN(TestClass)             \
  int main(int argc, char** argv) {          \
    kx::app::testing::RuntimeFolder runtime; \
    QApplication application(argc, argv);    \
    TestClass test;                          \
    return QTest::qExec(&test, argc, argv);  \
  }
