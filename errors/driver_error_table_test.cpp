#include "errors/driver_error_table.h"
#include "tests/text_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace kx {
namespace {
using testing::IsValidUtf8;

constexpr std::int32_t kLanguages[] = {DriverErrorTable::kJapanese, DriverErrorTable::kEnglish};

// Codes next to the ranges and far away from them; none has a row.
constexpr std::int32_t kCodesWithoutRow[] = {149,
                                             999,
                                             1029,
                                             9999,
                                             10004,
                                             -1,
                                             std::numeric_limits<std::int32_t>::min(),
                                             std::numeric_limits<std::int32_t>::max()};

struct CodeRange {
  std::int32_t first;
  std::int32_t last;
};
constexpr CodeRange kRanges[] = {{0, 148}, {1000, 1028}, {10000, 10003}};

bool InSomeRange(std::int32_t code) {
  return std::any_of(std::begin(kRanges), std::end(kRanges), [code](const CodeRange& range) {
    return code >= range.first && code <= range.last;
  });
}


// A caller's buffer, filled beforehand with a marker byte so that bytes the
// table did not write, and bytes it zeroed, can be told apart.
class Buffer {
 public:
  static constexpr char kMarker = '#';

  explicit Buffer(std::size_t size) : bytes_(size, kMarker) {}

  char* data() { return bytes_.data(); }
  std::int32_t size() const { return static_cast<std::int32_t>(bytes_.size()); }

  // The string up to the first zero byte.
  std::string Text() const {
    return std::string(bytes_.data(), ::strnlen(bytes_.data(), bytes_.size()));
  }

  bool Untouched() const {
    return std::all_of(bytes_.begin(), bytes_.end(), [](char b) { return b == kMarker; });
  }

  // True when every byte from `from` to the end is zero (the string's end and its padding).
  bool ZeroFrom(std::size_t from) const {
    return from < bytes_.size() && std::all_of(bytes_.begin() + static_cast<std::ptrdiff_t>(from),
                                               bytes_.end(), [](char b) { return b == '\0'; });
  }

 private:
  std::vector<char> bytes_;
};

std::string Name(std::int32_t code) {
  Buffer buffer(256);
  EXPECT_EQ(DriverErrorTable().DriverErrorName(code, buffer.data(), buffer.size()), 1) << code;
  return buffer.Text();
}

std::string Text(std::int32_t code, std::int32_t language) {
  Buffer buffer(256);
  EXPECT_EQ(DriverErrorTable().DriverErrorText(code, buffer.data(), buffer.size(), language), 1)
      << code;
  return buffer.Text();
}

TEST(DriverErrorTableTest, CodeZeroGivesNoError) {
  EXPECT_EQ(Name(0), "kCAM_NO_ERROR");
  EXPECT_EQ(Text(0, DriverErrorTable::kEnglish), "No error.");
  EXPECT_EQ(Text(0, DriverErrorTable::kJapanese), "エラーなし");
}

TEST(DriverErrorTableTest, CodeWithoutRowGivesZeroAndLeavesBufferUntouched) {
  const DriverErrorTable table;
  for (std::int32_t code : kCodesWithoutRow) {
    EXPECT_EQ(FindDriverError(code), nullptr) << code;
    Buffer name(32);
    EXPECT_EQ(table.DriverErrorName(code, name.data(), name.size()), 0) << code;
    EXPECT_TRUE(name.Untouched()) << code;
    for (std::int32_t language : kLanguages) {
      Buffer text(32);
      EXPECT_EQ(table.DriverErrorText(code, text.data(), text.size(), language), 0) << code;
      EXPECT_TRUE(text.Untouched()) << code << " language " << language;
    }
  }
}

TEST(DriverErrorTableTest, LanguageOtherThanJapaneseOrEnglishGivesZeroForEveryCode) {
  const DriverErrorTable table;
  std::vector<std::int32_t> codes(std::begin(kCodesWithoutRow), std::end(kCodesWithoutRow));
  for (const DriverErrorRow& row : AllDriverErrors()) {
    codes.push_back(row.code);
  }
  for (std::int32_t language : {2, -1, 100}) {
    for (std::int32_t code : codes) {
      Buffer buffer(32);
      EXPECT_EQ(table.DriverErrorText(code, buffer.data(), buffer.size(), language), 0)
          << code << " language " << language;
      EXPECT_TRUE(buffer.Untouched()) << code << " language " << language;
    }
  }
}

TEST(DriverErrorTableTest, SizeBelowOneOrNullBufferGivesZeroAndLeavesBufferUntouched) {
  const DriverErrorTable table;
  for (std::int32_t size : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
    Buffer name(8);
    EXPECT_EQ(table.DriverErrorName(0, name.data(), size), 0) << size;
    EXPECT_TRUE(name.Untouched()) << size;
    Buffer text(8);
    EXPECT_EQ(table.DriverErrorText(0, text.data(), size, DriverErrorTable::kEnglish), 0) << size;
    EXPECT_TRUE(text.Untouched()) << size;
  }
  EXPECT_EQ(table.DriverErrorName(0, nullptr, 16), 0);
  EXPECT_EQ(table.DriverErrorText(0, nullptr, 16, DriverErrorTable::kJapanese), 0);
}

// The whole buffer is written: the string, then zeros up to the last byte,
// whether the string is short, fits exactly or has to be cut.
TEST(DriverErrorTableTest, FillsWholeBufferWithStringAndZeros) {
  const DriverErrorTable table;
  const std::string name = "kCAM_NO_ERROR";  // 13 bytes
  struct Case {
    std::int32_t size;
    std::string expected;
  };
  const Case cases[] = {
      {64, name},                // short: long zero padding
      {14, name},                // fits with its terminating zero exactly
      {13, name.substr(0, 12)},  // one byte too long: cut, last byte zeroed
      {10, "kCAM_NO_E"},
      {1, ""},
  };
  for (const Case& c : cases) {
    Buffer buffer(static_cast<std::size_t>(c.size));
    EXPECT_EQ(table.DriverErrorName(0, buffer.data(), buffer.size()), 1) << c.size;
    EXPECT_EQ(buffer.Text(), c.expected) << c.size;
    EXPECT_TRUE(buffer.ZeroFrom(c.expected.size())) << c.size;
  }

  Buffer text(64);
  ASSERT_EQ(table.DriverErrorText(0, text.data(), text.size(), DriverErrorTable::kJapanese), 1);
  EXPECT_EQ(text.Text(), "エラーなし");
  EXPECT_TRUE(text.ZeroFrom(std::string("エラーなし").size()));
}

TEST(DriverErrorTableTest, NameIsCutToBufferSize) {
  Buffer buffer(10);
  ASSERT_EQ(DriverErrorTable().DriverErrorName(1, buffer.data(), buffer.size()), 1);
  EXPECT_EQ(buffer.Text(), "kCAM_API_");
  EXPECT_TRUE(buffer.ZeroFrom(9));
}

// Every size from 1 to past the end: the result is the longest prefix that
// ends on a character boundary and fits in size - 1 bytes, zero-padded.
TEST(DriverErrorTableTest, CutNeverSplitsACharacter) {
  struct Case {
    std::int32_t code;
    std::int32_t language;
  };
  const Case cases[] = {
      {104, DriverErrorTable::kJapanese},  // ASCII and three-byte characters mixed
      {4, DriverErrorTable::kJapanese},    // includes the full-width comma
      {1005, DriverErrorTable::kEnglish},  // one full-width bracket among ASCII
  };
  const DriverErrorTable table;
  for (const Case& c : cases) {
    const std::string full = Text(c.code, c.language);
    ASSERT_TRUE(IsValidUtf8(full));
    for (std::size_t size = 1; size <= full.size() + 2; ++size) {
      Buffer buffer(size);
      ASSERT_EQ(table.DriverErrorText(c.code, buffer.data(), buffer.size(), c.language), 1);
      const std::string got = buffer.Text();
      SCOPED_TRACE(::testing::Message() << "code " << c.code << " size " << size);
      EXPECT_TRUE(IsValidUtf8(got));
      EXPECT_EQ(full.compare(0, got.size(), got), 0) << "not a prefix: " << got;
      EXPECT_LE(got.size(), size - 1);
      if (got.size() < full.size()) {
        // The next character must not have fitted.
        std::size_t next_end = got.size() + 1;
        while (next_end < full.size() &&
               (static_cast<unsigned char>(full[next_end]) & 0xC0) == 0x80) {
          ++next_end;
        }
        EXPECT_GT(next_end, size - 1) << "cut shorter than needed: " << got;
      }
      EXPECT_TRUE(buffer.ZeroFrom(got.size()));
    }
  }
}

TEST(DriverErrorTableTest, CutBeforeFullWidthBracketDropsItWhole) {
  const DriverErrorTable table;
  struct Case {
    std::int32_t size;
    std::string expected;
  };
  // "LUT area allocation" is 19 bytes; the bracket U+FF3B takes 3 more.
  const Case cases[] = {{20, "LUT area allocation"},
                        {21, "LUT area allocation"},
                        {22, "LUT area allocation"},
                        {23, "LUT area allocation\xEF\xBC\xBB"}};
  for (const Case& c : cases) {
    Buffer buffer(static_cast<std::size_t>(c.size));
    ASSERT_EQ(table.DriverErrorText(1005, buffer.data(), buffer.size(), DriverErrorTable::kEnglish),
              1);
    EXPECT_EQ(buffer.Text(), c.expected) << c.size;
    EXPECT_TRUE(buffer.ZeroFrom(c.expected.size())) << c.size;
  }
}

TEST(DriverErrorRowsTest, OddNamesAreKeptAsTheDriverSpellsThem) {
  struct Case {
    std::int32_t code;
    const char* name;
  };
  const Case cases[] = {
      {115, "KCAM_CAMERA_NO_ZORAD"},           {103, "kCAM_IFCARD_COMMINUCATION_ERROR"},
      {123, "kCAM_CAMARA_FROM1_VERITY_ERROR"}, {124, "kCAM_CAMARA_FROM2_VERITY_ERROR"},
      {80, "kCAM_SIA_INVALID_PRECAPTUE_MODE"}, {145, "kCAM_CAMERA_FW_ERROR"},
      {2, "kCAM_API_INVALID_PARAM"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Name(c.code), c.name) << c.code;
  }
}

TEST(DriverErrorRowsTest, EveryCodeOfTheRangesHasAllThreeStrings) {
  for (const CodeRange& range : kRanges) {
    for (std::int32_t code = range.first; code <= range.last; ++code) {
      const DriverErrorRow* row = FindDriverError(code);
      ASSERT_NE(row, nullptr) << code;
      EXPECT_EQ(row->code, code);
      EXPECT_FALSE(Name(code).empty()) << code;
      EXPECT_FALSE(Text(code, DriverErrorTable::kJapanese).empty()) << code;
      EXPECT_FALSE(Text(code, DriverErrorTable::kEnglish).empty()) << code;
    }
  }
}

TEST(DriverErrorRowsTest, ListingHoldsOnlyTheRangesInAscendingOrder) {
  std::int64_t previous = std::numeric_limits<std::int64_t>::min();
  for (const DriverErrorRow& row : AllDriverErrors()) {
    EXPECT_TRUE(InSomeRange(row.code)) << row.code;
    EXPECT_GT(row.code, previous);
    EXPECT_EQ(FindDriverError(row.code), &row) << row.code;
    previous = row.code;
  }
}

TEST(DriverErrorRowsTest, NamesAreAsciiAndTextsValidUtf8) {
  for (const DriverErrorRow& row : AllDriverErrors()) {
    const std::string_view name = row.name;
    EXPECT_TRUE(std::all_of(name.begin(), name.end(), [](char ch) {
      return ch > ' ' && ch < 0x7F;
    })) << row.code;
    EXPECT_TRUE(IsValidUtf8(row.japanese)) << row.code;
    EXPECT_TRUE(IsValidUtf8(row.english)) << row.code;
    // Japanese texts are phrases without a final full stop.
    EXPECT_FALSE(std::string_view(row.japanese).ends_with("。")) << row.code;
  }
}

// The rows whose texts are fixed, as the driver words them (including the
// blank after the full stop of code 9 and the bracket in code 1005).
TEST(DriverErrorRowsTest, FixedRowsHaveTheirExactTexts) {
  const DriverErrorRow fixed[] = {
      {0, "kCAM_NO_ERROR", "エラーなし", "No error."},
      {1, "kCAM_API_INVALID_OBJECT", "不正なカメラオブジェクト", "Camera object invalid."},
      {2, "kCAM_API_INVALID_PARAM", "無効なパラメータ", "Parameter invalid."},
      {3, "kCAM_API_PARAM_OUT_OF_RANGE", "パラメータが範囲外", "Parameter out of range."},
      {4, "kCAM_API_CALLED_IN_INVALID_STATE", "関数は、動作不可能なときに呼ばれた",
       "Function called while its execution is impossible."},
      {5, "kCAM_API_LIB_INITIALIZE_ERROR", "ライブラリ初期化エラー",
       "Library initialization error."},
      {6, "kCAM_API_INTERNAL_ERROR", "ライブラリ内部エラー", "Library internal error."},
      {9, "kCAM_WINAPI_CANNOT_START_TIMEOUT_TIMER", "タイムアウト通知用タイマーの作成に失敗した",
       "It failed in making the timer for the time-out notification. "},
      {102, "kCAM_COM_TIMEOUT", "通信タイムアウト", "Communication time-out."},
      {103, "kCAM_IFCARD_COMMINUCATION_ERROR", "(PCI)I/Fカード通信ステータスエラー",
       "(PCI)I/F card communication status error."},
      {104, "kCAM_COM_BUFFER_FULL", "(PCI)I/Fカードの通信用のコマンドバッファがいっぱいになった",
       "(PCI) Command buffer for I/F card communication is full."},
      {105, "kCAM_CAMERA_ERROR", "カメラ動作のエラー", "Camera operation error."},
      {106, "kCAM_CAMERA_NOHEAD", "カメラヘッド未接続", "Camera head not connected."},
      {107, "kCAM_CAMERA_WRONG_HEAD", "異機種カメラヘッド接続カメラIDエラー",
       "Different camera head model connected. Camera ID error."},
      {113, "kCAM_CAMERA_DEVICE_ERROR", "カメラデバイス異常", "Camera device error."},
      {114, "kCAM_CAMERA_POWER_ERROR", "カメラ電源異常", "Camera power error."},
      {115, "KCAM_CAMERA_NO_ZORAD", "ZORADボード未接続", "ZORAD board not connected."},
      {118, "kCAM_IFCARD_ERROR", "(PCI) I/Fカード動作エラー", "(PCI) I/F card operation error."},
      {119, "kCAM_IFCARD_DEVICE_ERROR", "(PCI)I/Fカードデバイスエラー",
       "(PCI) I/F card device error."},
      {120, "kCAM_IFCARD_CONFIGURATION_ERROR", "(PCI)I/Fカードコンフィグレーションエラー",
       "(PCI) I/F card configuration error."},
      {121, "kCAM_IFCARD_UNDEFINED_PARAM_ERROR", "(PCI)I/Fカード未定義パラメータ",
       "(PCI) I/F card undefined parameter."},
      {122, "kCAM_IFCARD_CONFIGURATION_NOT_COMPLETED",
       "(PCI)I/Fカードのコンフィグレーションが完了していない",
       "(PCI) I/F card configuration not completed."},
      {123, "kCAM_CAMARA_FROM1_VERITY_ERROR", "(カメラヘッド)EEPROM書込みエラー",
       "(Camera head) EEPROM write error."},
      {124, "kCAM_CAMARA_FROM2_VERITY_ERROR", "(カメラヘッド)EEPROM書込みエラー",
       "(Camera head) EEPROM write error."},
      {125, "kCAM_EST_CANNOT_GET_DEVICE_VERSION", "デバイスバージョンを取得できなかった",
       "The device version was not able to be acquired."},
      {130, "kCAM_EST_INVALID_DEVICE_ID", "無効なデバイスID", "Invalid device ID."},
      {131, "kCAM_EST_ERROR_DATAWRITE", "データ書き込みエラー", "Data writing error."},
      {137, "kCAM_CAMERA_HEAD_POWER_ERROR", "カメラヘッド電源未接続状態",
       "Camera head power supply unconnected state."},
      {143, "kCAM_CAMERA_ROM_ERASE_ERROR", "ROMアップデート対象領域の消去エラー",
       "Deletion error in area for ROM update."},
      {144, "kCAM_CAMERA_ROM_WRITE_ERROR", "ROMアップデート対象領域への書込エラー",
       "Writing error in area for ROM update."},
      {145, "kCAM_CAMERA_FW_ERROR", "ROM上のF/Wアプリ領域が異常の場合",
       "The F/W application program area on ROM is abnormal."},
      {146, "kCAM_EST_INVALID_UPDATE_DATA", "不正なアップデートデータ", "Illegal update data."},
      {147, "kCAM_CAMERA_OS_REBOOT", "アップデート後の再起動未実行エラー",
       "Reactivation unexecution after it updates it"},
      {148, "kCAM_UPDATE_ERROR", "アップデートが完了していない", "The update is not completed."},
      {1000, "kCAM_NO_DETAIL_ERROR", "詳細エラーはない", "No detailed error."},
      {1005, "kCAM_API_CANNOT_ALLOCATE_LUT", "LUT領域確保失敗", "LUT area allocation［ failure."},
  };
  for (const DriverErrorRow& row : fixed) {
    EXPECT_EQ(Name(row.code), row.name) << row.code;
    EXPECT_EQ(Text(row.code, DriverErrorTable::kJapanese), row.japanese) << row.code;
    EXPECT_EQ(Text(row.code, DriverErrorTable::kEnglish), row.english) << row.code;
  }
}

}  // namespace
}  // namespace kx
