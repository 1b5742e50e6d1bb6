// The update dialog's board choice: a board named in the options, and
// several boards with nobody to choose.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "camera/next_dlg.h"
#include "camera/text_fields.h"
#include "tests/fake_driver.h"
#include "tests/package_fixture.h"
#include "tests/recording_window.h"
#include "tests/scratch_dir.h"

namespace kx {
namespace {

std::string Text(int id, const std::vector<std::pair<std::string, std::string>>& fields = {}) {
  return FillTextFields(LoadString(id, Language::kEnglish), fields);
}

TEST(BoardChoiceTest, NamedBoardMustBePresentAndSeveralNeedAChooser) {
  struct Case {
    const char* what;
    std::vector<std::string> slots;
    bool enumerateFails;
    std::optional<std::string> boardId;
    bool canChoose;
    std::string opened;   // the board the camera is created for; "": none
    std::string message;  // the message shown when none is opened
    BoardOpenProblem problem;
    bool asked = false;  // the window was asked to choose
  };
  const std::vector<std::string> several = {"KX58-B", "ZX10-1", "KX58-A"};
  const Case cases[] = {
      {"named among several: taken without asking", several, false, "KX58-A", true, "KX58-A", "",
       BoardOpenProblem::kNone},
      {"named and the only one",
       {"KX58-0001"},
       false,
       "KX58-0001",
       false,
       "KX58-0001",
       "",
       BoardOpenProblem::kNone},
      {"named but another is present",
       {"KX58-0001"},
       false,
       "KX58-0002",
       true,
       "",
       Text(419, {{"board", "KX58-0002"}}),
       BoardOpenProblem::kBoardNotPresent},
      {"named, of another model", several, false, "ZX10-1", true, "",
       Text(419, {{"board", "ZX10-1"}}), BoardOpenProblem::kBoardNotPresent},
      {"named in the wrong letter case",
       {"KX58-0001"},
       false,
       "kx58-0001",
       true,
       "",
       Text(419, {{"board", "kx58-0001"}}),
       BoardOpenProblem::kBoardNotPresent},
      {"named, no board at all",
       {},
       false,
       "KX58-0002",
       true,
       "",
       Text(419, {{"board", "KX58-0002"}}),
       BoardOpenProblem::kBoardNotPresent},
      {"named, the enumeration fails",
       {"KX58-0002"},
       true,
       "KX58-0002",
       true,
       "",
       Text(419, {{"board", "KX58-0002"}}),
       BoardOpenProblem::kBoardNotPresent},
      {"several, nobody to choose: the ids, sorted, of the model", several, false, std::nullopt,
       false, "", Text(420, {{"boards", "KX58-A, KX58-B"}}), BoardOpenProblem::kBoardNotChosen},
      {"several, a chooser", several, false, std::nullopt, true, "KX58-B", "",
       BoardOpenProblem::kNone, true},
      {"one, nobody to choose: nothing to choose",
       {"KX58-0001"},
       false,
       std::nullopt,
       false,
       "KX58-0001",
       "",
       BoardOpenProblem::kNone},
      {"none, nothing named",
       {},
       false,
       std::nullopt,
       false,
       "",
       Text(401),
       BoardOpenProblem::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScratchDir dir;
    testing::WriteFileBytes("DERadori.kx",
                            testing::StoredPackage({{{"01_02_00", testing::PatternBytes(40, 1)},
                                                     {},
                                                     {"01_02_00", testing::PatternBytes(20, 3)},
                                                     {}}},
                                                   3));
    testing::FakeDriver driver;
    driver.slots = c.slots;
    driver.enumerateFails = c.enumerateFails;
    driver.versions = {{3, "V01.01.00"}, {5, "V01.01.00"}, {9, "V01.00.00"}};
    testing::RecordingWindow window;
    window.boardChoice = "KX58-B";
    NextDlgOptions options;
    options.language = Language::kEnglish;
    options.boardLock = BoardLockRule::InFolder(dir.path());
    options.boardId = c.boardId;
    options.canChooseBoard = c.canChoose;
    CNextDlg dialog(driver, window, options);
    dialog.OnInitDialog();

    EXPECT_EQ(dialog.OpenProblem(), c.problem);
    EXPECT_EQ(window.boardLists.size(), c.asked ? 1u : 0u);
    const bool created =
        std::count(driver.calls.begin(), driver.calls.end(), "CAM_CreateCameraEx") != 0;
    if (!c.opened.empty()) {
      EXPECT_EQ(driver.createdWith, c.opened);
      EXPECT_EQ(dialog.State(), DialogState::kReady) << dialog.Log();
      EXPECT_TRUE(window.messages.empty());
      continue;
    }
    EXPECT_EQ(dialog.State(), DialogState::kStopped);
    EXPECT_EQ(dialog.ErrorCode(), 1);
    EXPECT_TRUE(dialog.BoardId().empty());
    EXPECT_FALSE(created) << "nothing is sent to the driver: " << driver.createdWith;
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, c.message);
    EXPECT_EQ(window.messages[0].icon, MessageIcon::kError);
  }
}

}  // namespace
}  // namespace kx
