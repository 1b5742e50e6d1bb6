// kxupdate boards, versions and errors as a person or a script runs them:
// boards and versions against the simulated board, whose board file each
// case writes into its scratch folder; errors against the driver's table.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/kxupdate_runner.h"
#include "tests/scratch_dir.h"

namespace kx {
namespace {

using nlohmann::json;
using testing::Field;
using testing::Fields;
using testing::KxupdateRun;
using testing::KxupdateRunner;
using testing::ReadFileText;
using testing::ScratchDir;
using testing::WriteFileText;

// kxupdate with the board file board.ini of the working directory.
KxupdateRunner Kxupdate() {
  return KxupdateRunner(KXUPDATE_PATH)
      .Set("KXSIM_BOARD", std::filesystem::current_path().string() + "/board.ini");
}

// The board the simulated board last made a camera for, as its board file
// records it ("" none).
std::string CreatedBoard() {
  const std::string board = ReadFileText("board.ini");
  const std::string key = "\nCreatedBoard=";
  const std::size_t at = board.find(key);
  if (at == std::string::npos) return "";
  const std::size_t from = at + key.size();
  return board.substr(from, board.find_first_of("\r\n", from) - from);
}

const std::string kDriver = "[Driver]\nDelayMs=0\n";
// Two boards of the model between one of another model and one whose id is
// the model's name in lower case, which is another model too.
const std::string kSeveral =
    kDriver + "[Boards]\nBoard1=ZX10-0001\nBoard2=KX58-0002\nBoard3=kx58-0003\nBoard4=KX58-0001\n";

// --- boards ---

TEST(BoardsCommandTest, ListsTheModelsBoardsInTheDriversOrder) {
  struct Case {
    const char* what;
    std::string board;
    int status;
    std::string out;  // the plain list
    const char* json;
    std::string err;  // the same with and without --json
  };
  const std::string noBoard = "kxupdate: the driver found no board (or its enumeration failed)\n";
  const Case cases[] = {
      {"several boards and other models", kSeveral, 0, "KX58-0002\nKX58-0001\n",
       R"({"enumerated": true, "boards": ["KX58-0002", "KX58-0001"]})", ""},
      {"one board", kDriver + "[Boards]\nBoard1=KX58-0001\n", 0, "KX58-0001\n",
       R"({"enumerated": true, "boards": ["KX58-0001"]})", ""},
      {"boards of other models only", kDriver + "[Boards]\nBoard1=ZX10-0001\nBoard2=kx58-0003\n", 1,
       "", R"({"enumerated": true, "boards": []})", "kxupdate: no board of the KX58 model\n"},
      {"no board at all", kDriver, 1, "", R"({"enumerated": false, "boards": []})", noBoard},
      {"the enumeration fails", kDriver + "EnumFails=1\n[Boards]\nBoard1=KX58-0001\n", 1, "",
       R"({"enumerated": false, "boards": []})", noBoard},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    WriteFileText("board.ini", c.board);
    const KxupdateRun plain = Kxupdate()("--simulate boards");
    EXPECT_EQ(plain.status, c.status);
    EXPECT_EQ(plain.out, c.out);
    EXPECT_EQ(plain.err, c.err);
    const KxupdateRun asJson = Kxupdate()("--simulate boards --json");
    EXPECT_EQ(asJson.status, c.status);
    EXPECT_EQ(asJson.Json(), json::parse(c.json));
    EXPECT_EQ(asJson.err, c.err);
  }
}

// --- versions ---

TEST(VersionsCommandTest, ShowsTheBoardsVersionsAndTheDriversLastError) {
  struct Case {
    const char* what;
    std::string board;
    std::string args;
    std::string out;
    const char* json;
  };
  const std::string versions =
      "[Board KX58-0001]\nVersion3=V01.02.03\nVersion5=V04.05.06\nVersion9=V07.08.09\n";
  const Case cases[] = {
      {"the only board, not named", kDriver + "[Boards]\nBoard1=KX58-0001\n" + versions, "",
       "board:      KX58-0001\n"
       "kind 3 FPGA:       V01.02.03\n"
       "kind 5 Firm(Appl): V04.05.06\n"
       "kind 9 Firm(Boot): V07.08.09\n"
       "last error: kCAM_NO_ERROR (0)\n",
       R"({"board": "KX58-0001", "versions": {"3": "V01.02.03", "5": "V04.05.06", "9": "V07.08.09"},
           "last_error": 0, "last_error_name": "kCAM_NO_ERROR"})"},
      {"one of several, named", kSeveral + versions, "--board KX58-0001",
       "board:      KX58-0001\n"
       "kind 3 FPGA:       V01.02.03\n"
       "kind 5 Firm(Appl): V04.05.06\n"
       "kind 9 Firm(Boot): V07.08.09\n"
       "last error: kCAM_NO_ERROR (0)\n",
       R"({"board": "KX58-0001", "versions": {"3": "V01.02.03", "5": "V04.05.06", "9": "V07.08.09"},
           "last_error": 0, "last_error_name": "kCAM_NO_ERROR"})"},
      // The board's defaults, and the error the driver leaves after reading
      // them: the application firmware area is damaged.
      {"a damaged application area", kSeveral + "[Board KX58-0002]\nVersionError=145\n",
       "--board=KX58-0002",
       "board:      KX58-0002\n"
       "kind 3 FPGA:       V01.01.00\n"
       "kind 5 Firm(Appl): V01.01.00\n"
       "kind 9 Firm(Boot): V01.00.00\n"
       "last error: kCAM_CAMERA_FW_ERROR (145)\n",
       R"({"board": "KX58-0002", "versions": {"3": "V01.01.00", "5": "V01.01.00", "9": "V01.00.00"},
           "last_error": 145, "last_error_name": "kCAM_CAMERA_FW_ERROR"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    WriteFileText("board.ini", c.board);
    const KxupdateRun plain = Kxupdate()("--simulate versions " + c.args);
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, c.out);
    EXPECT_EQ(plain.err, "");
    const KxupdateRun asJson = Kxupdate()("--simulate versions --json " + c.args);
    EXPECT_EQ(asJson.status, 0) << asJson.err;
    EXPECT_EQ(asJson.Json(), json::parse(c.json));
    EXPECT_EQ(asJson.err, "");
    // The board that was read is the one that was opened.
    EXPECT_EQ(CreatedBoard(), Field(json::parse(c.json), "board"));
  }
}

// A board that cannot be chosen or opened: the one reason on standard
// error, nothing on standard output, with and without --json.
TEST(VersionsCommandTest, BoardThatCannotBeReadIsNamedWithTheReason) {
  struct Case {
    const char* what;
    std::string board;
    std::string args;
    int status;
    std::string err;
    bool opened;  // a camera was asked for
  };
  const Case cases[] = {
      {"several boards, none named", kSeveral, "", 64,
       "kxupdate: several boards are present: choose one with --board ID\n"
       "usage: kxupdate versions [--board ID] [--json]\n",
       false},
      {"a board that is not present", kSeveral, "--board KX58-0009", 1,
       "kxupdate: no board KX58-0009 (present: KX58-0002, KX58-0001)\n", false},
      {"a board of another model", kSeveral, "--board ZX10-0001", 1,
       "kxupdate: no board ZX10-0001 (present: KX58-0002, KX58-0001)\n", false},
      {"the id in another letter case", kSeveral, "--board kx58-0001", 1,
       "kxupdate: no board kx58-0001 (present: KX58-0002, KX58-0001)\n", false},
      {"no board at all", kDriver, "", 1, "kxupdate: no board of the KX58 model\n", false},
      {"boards of other models only", kDriver + "[Boards]\nBoard1=ZX10-0001\n", "--board ZX10-0001",
       1, "kxupdate: no board of the KX58 model\n", false},
      {"the camera cannot be created",
       kDriver + "[Boards]\nBoard1=KX58-0001\n[Board KX58-0001]\nCreateError=1001\n", "", 1,
       "kxupdate: the driver could not open KX58-0001 (kCAM_API_CANNOT_CREATE_CAMERA)\n", true},
  };
  for (const Case& c : cases) {
    for (const char* json : {"", "--json "}) {
      SCOPED_TRACE(std::string(c.what) + " " + json);
      ScratchDir dir;
      WriteFileText("board.ini", c.board);
      const KxupdateRun run = Kxupdate()("--simulate versions " + std::string(json) + c.args);
      EXPECT_EQ(run.status, c.status);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, c.err);
      EXPECT_EQ(CreatedBoard().empty(), !c.opened);
    }
  }
}

// --- errors ---

TEST(ErrorsCommandTest, OneCodeAsARowOrAnObject) {
  struct Case {
    const char* code;
    const char* name;
    const char* text;
  };
  const Case cases[] = {
      {"0", "kCAM_NO_ERROR", "No error."},
      {"145", "kCAM_CAMERA_FW_ERROR", "The F/W application program area on ROM is abnormal."},
      {"115", "KCAM_CAMERA_NO_ZORAD", "ZORAD board not connected."},
      // A blank after the full stop; a full-width bracket, as UTF-8.
      {"9", "kCAM_WINAPI_CANNOT_START_TIMEOUT_TIMER",
       "It failed in making the timer for the time-out notification. "},
      {"1005", "kCAM_API_CANNOT_ALLOCATE_LUT", "LUT area allocation\xEF\xBC\xBB failure."},
      {"1000", "kCAM_NO_DETAIL_ERROR", "No detailed error."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const KxupdateRun plain = KxupdateRunner(KXUPDATE_PATH).Run({"errors", c.code});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, std::string(c.code) + "\t" + c.name + "\t" + c.text + "\n");
    EXPECT_EQ(plain.err, "");
    const KxupdateRun asJson = KxupdateRunner(KXUPDATE_PATH).Run({"errors", "--json", c.code});
    EXPECT_EQ(asJson.status, 0) << asJson.err;
    EXPECT_EQ(asJson.Json(),
              json({{"code", std::stoi(c.code)}, {"name", c.name}, {"text", c.text}}));
  }
}

TEST(ErrorsCommandTest, CodeWithoutARowOrNoNumberAtAll) {
  struct Case {
    const char* code;
    int status;
    std::string err;
  };
  const std::string usage = "usage: kxupdate errors [CODE] [--json]\n";
  const Case cases[] = {
      // Numbers that the table has no row for.
      {"149", 1, "kxupdate: no driver error has the code 149\n"},
      {"999", 1, "kxupdate: no driver error has the code 999\n"},
      {"1029", 1, "kxupdate: no driver error has the code 1029\n"},
      {"9999", 1, "kxupdate: no driver error has the code 9999\n"},
      {"10004", 1, "kxupdate: no driver error has the code 10004\n"},
      {"-1", 1, "kxupdate: no driver error has the code -1\n"},
      {"-2147483648", 1, "kxupdate: no driver error has the code -2147483648\n"},
      // Words that are no error code: usage errors.
      {"x1", 64, "kxupdate: 'x1' is not an error code\n" + usage},
      {"0x91", 64, "kxupdate: '0x91' is not an error code\n" + usage},
      {"1.5", 64, "kxupdate: '1.5' is not an error code\n" + usage},
      {"145 ", 64, "kxupdate: '145 ' is not an error code\n" + usage},
      {" 145", 64, "kxupdate: ' 145' is not an error code\n" + usage},
      {"", 64, "kxupdate: '' is not an error code\n" + usage},
      {"2147483648", 64, "kxupdate: '2147483648' is not an error code\n" + usage},
      {"-2147483649", 64, "kxupdate: '-2147483649' is not an error code\n" + usage},
      {"99999999999999999999", 64,
       "kxupdate: '99999999999999999999' is not an error code\n" + usage},
  };
  for (const Case& c : cases) {
    for (const char* json : {"", "--json"}) {
      SCOPED_TRACE(std::string("'") + c.code + "' " + json);
      std::vector<std::string> args = {"errors", c.code};
      if (*json != '\0') args.push_back(json);
      const KxupdateRun run = KxupdateRunner(KXUPDATE_PATH).Run(args);
      EXPECT_EQ(run.status, c.status);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, c.err);
    }
  }
}

// The whole table, read by a JSON parser of its own: 182 rows in three
// ranges of codes without gaps, each name once, the names the driver
// spells, every text there; and the plain listing says the same row for row.
TEST(ErrorsCommandTest, WholeTableAsJsonAndAsText) {
  const KxupdateRun run = KxupdateRunner(KXUPDATE_PATH)("errors --json");
  ASSERT_EQ(run.status, 0) << run.err;
  const json table = run.Json();
  ASSERT_TRUE(table.is_array()) << run.out;
  ASSERT_EQ(table.size(), 182u);

  std::vector<int> expectedCodes;
  for (int code = 0; code <= 148; ++code) expectedCodes.push_back(code);
  for (int code = 1000; code <= 1028; ++code) expectedCodes.push_back(code);
  for (int code = 10000; code <= 10003; ++code) expectedCodes.push_back(code);
  std::vector<int> codes;
  std::set<std::string> names;
  std::map<int, std::string> nameOf;
  for (const json& row : table) {
    ASSERT_TRUE(row.is_object() && row.size() == 3) << row;
    ASSERT_TRUE(row.at("code").is_number_integer()) << row;
    ASSERT_TRUE(row.at("name").is_string() && row.at("text").is_string()) << row;
    codes.push_back(row.at("code").get<int>());
    const std::string name = row.at("name").get<std::string>();
    EXPECT_TRUE(names.insert(name).second) << "twice: " << name;
    nameOf[codes.back()] = name;
    EXPECT_FALSE(row.at("text").get<std::string>().empty()) << row;
  }
  EXPECT_EQ(codes, expectedCodes);
  const std::map<int, std::string> spelled = {
      {0, "kCAM_NO_ERROR"},
      {80, "kCAM_SIA_INVALID_PRECAPTUE_MODE"},
      {102, "kCAM_COM_TIMEOUT"},
      {103, "kCAM_IFCARD_COMMINUCATION_ERROR"},
      {115, "KCAM_CAMERA_NO_ZORAD"},
      {123, "kCAM_CAMARA_FROM1_VERITY_ERROR"},
      {124, "kCAM_CAMARA_FROM2_VERITY_ERROR"},
      {144, "kCAM_CAMERA_ROM_WRITE_ERROR"},
      {145, "kCAM_CAMERA_FW_ERROR"},
      {148, "kCAM_UPDATE_ERROR"},
      {1000, "kCAM_NO_DETAIL_ERROR"},
      {1001, "kCAM_API_CANNOT_CREATE_CAMERA"},
      {1028, "kCAM_IFCARD_DEVICE_CAMERA_ERROR"},
      {10000, "kCAM_CANNOT_READ_DEFAULT_LUT"},
      {10003, "kCAM_LV_INVALID_FRAME"},
  };
  for (const auto& [code, name] : spelled) EXPECT_EQ(nameOf[code], name) << code;

  const KxupdateRun plain = KxupdateRunner(KXUPDATE_PATH)("errors");
  ASSERT_EQ(plain.status, 0) << plain.err;
  std::string rows;
  for (const json& row : table) {
    rows += std::to_string(row.at("code").get<int>()) + "\t" + row.at("name").get<std::string>() +
            "\t" + row.at("text").get<std::string>() + "\n";
  }
  EXPECT_EQ(plain.out, rows);
}

// The texts in Japanese with --lang ja, or from the environment; --lang
// wins over the environment.
TEST(ErrorsCommandTest, JapaneseTexts) {
  const std::string fw = "ROM上のF/Wアプリ領域が異常の場合";
  const std::string english = "The F/W application program area on ROM is abnormal.";
  struct Case {
    const char* what;
    const char* language;  // LANGUAGE ("" none)
    std::vector<std::string> args;
    std::string text;
  };
  const Case cases[] = {
      {"--lang ja", "", {"--lang", "ja", "errors", "145"}, fw},
      {"--lang=ja after the command", "", {"errors", "145", "--lang=ja"}, fw},
      {"LANGUAGE=ja", "ja", {"errors", "145"}, fw},
      {"--lang en over LANGUAGE=ja", "ja", {"--lang", "en", "errors", "145"}, english},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KxupdateRunner kxupdate(KXUPDATE_PATH);
    if (*c.language != '\0') kxupdate.Set("LANGUAGE", c.language);
    const KxupdateRun run = kxupdate.Run(c.args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "145\tkCAM_CAMERA_FW_ERROR\t" + c.text + "\n");
  }

  // The whole table: the same codes and names as in English, the Japanese
  // texts, valid UTF-8 to the parser.
  const json ja = KxupdateRunner(KXUPDATE_PATH)("--lang ja errors --json").Json();
  const json en = KxupdateRunner(KXUPDATE_PATH)("--lang en errors --json").Json();
  ASSERT_TRUE(ja.is_array() && en.is_array());
  ASSERT_EQ(ja.size(), en.size());
  EXPECT_EQ(Fields(ja, {"code", "name"}), Fields(en, {"code", "name"}));
  const std::map<int, std::string> texts = {{0, "エラーなし"},
                                            {145, fw},
                                            {1005, "LUT領域確保失敗"},
                                            {107, "異機種カメラヘッド接続カメラIDエラー"}};
  for (const json& row : ja) {
    const auto text = texts.find(row.at("code").get<int>());
    if (text != texts.end()) {
      EXPECT_EQ(row.at("text"), text->second) << row;
    }
  }
}

}  // namespace
}  // namespace kx
