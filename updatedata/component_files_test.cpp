#include <gtest/gtest.h>

#include "tests/scratch_dir.h"
#include "tests/srecord_fixture.h"
#include "updatedata/update_data_set.h"

namespace kx {
namespace {

using testing::ScratchDir;
using testing::SRecordLine;
using testing::SRecordText;
using testing::WriteFileText;

const std::string kFirmware = SRecordText({1, 2, 3, 4, 5, 6, 7, 8}, 0x100);

TEST(FindUpdateFilesTest, Table) {
  struct Case {
    std::vector<std::string> files;
    int result;
  };
  const Case cases[] = {
      {{}, 0},
      {{"DERadori.kx"}, 1},
      {{"KXFirmv1_0_0.s"}, 2},
      {{"DERadori.kx", "KXFirmv1_0_0.s"}, 3},
      {{"KXFPGA3.rbf"}, 2},  // the loose pattern, though no component's
      {{"KXBoot.s"}, 2},
      {{"deradori.KX", "kxfpga1v1_0_0.RBF"}, 3},
      {{"readme.txt", "KXFirmv1_0_0.s.orig"}, 0},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    for (const auto& name : c.files) WriteFileText(name, "x");
    EXPECT_EQ(UpdateDataSet().FindUpdateFiles(), c.result) << ::testing::PrintToString(c.files);
  }
}

TEST(CheckComponentFileKindsTest, Table) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    int result;
  };
  const Case cases[] = {
      {"nothing", {}, 1},
      {"right kinds",
       {{"KXFPGA1v1_0_0.rbf", "\x01\x02raw"},
        {"KXFPGA2v1_0_0.rbf", "raw"},
        {"KXFirmv1_0_0.s", kFirmware},
        {"KXBootv1_0_0.s", kFirmware}},
       1},
      {"a file no component pattern matches", {{"KXFPGA3.rbf", kFirmware}}, 1},
      {"FPGA file holding S-records", {{"KXFPGA2v1_0_0.rbf", kFirmware}}, 0},
      {"empty FPGA file (loads as S-records)", {{"KXFPGA1v1_0_0.rbf", ""}}, 0},
      {"firmware file holding raw bytes",
       {{"KXFirmv1_0_0.s",
         "\x7f"
         "ELF"}},
       0},
      {"boot file with a bad header", {{"KXBootv1_0_0.s", "S1030000FC\n"}}, 0},
      // S-record text that loads, yet holds not a byte of firmware.
      {"empty firmware file", {{"KXFirmv1_0_0.s", ""}}, 0},
      {"firmware file of a CR alone", {{"KXFirmv1_0_0.s", "\r"}}, 0},
      {"firmware file with Ctrl-Z first", {{"KXFirmv1_0_0.s", "\x1A" + kFirmware}}, 0},
      {"firmware file with a header alone", {{"KXFirmv1_0_0.s", "S0030000FC\n"}}, 0},
      {"boot file of header and end record", {{"KXBootv1_0_0.s", "S0030000FC\nS9030000FC\n"}}, 0},
      {"firmware whose data records carry no data",
       {{"KXFirmv1_0_0.s",
         "S0030000FC\n" + SRecordLine(1, 0x10, {}) + "\n" + SRecordLine(1, 0x20, {}) + "\n"}},
       0},
      {"firmware of a single data byte",
       {{"KXFirmv1_0_0.s", "S0030000FC\n" + SRecordLine(1, 0x10, {0x42}) + "\n"}},
       1},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    for (const auto& [name, text] : c.files) WriteFileText(name, text);
    EXPECT_EQ(UpdateDataSet().CheckComponentFileKinds(), c.result) << c.what;
  }
}

TEST(CheckComponentFileKindsTest, OnlyTheFirstMatchIsTested) {
  ScratchDir dir;
  WriteFileText("KXFPGA1v01_00_00.rbf", "raw");
  WriteFileText("KXFPGA1v02_00_00.rbf", kFirmware);  // wrong kind, but not first
  EXPECT_EQ(UpdateDataSet().CheckComponentFileKinds(), 1);
}

}  // namespace
}  // namespace kx
