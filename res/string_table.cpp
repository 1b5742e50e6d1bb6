// The English and Japanese string tables.
#include "res/string_table.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace kx {
namespace {

// Ids without an entry (402, 407 and 409 among the message ids) are shown by
// no dialog; LoadString gives the empty string for them.
constexpr StringEntry kStrings[] = {
    // Start dialog: the About entry of its system menu and its text lines; the
    // leading spaces of 103 to 105 (ideographic spaces in Japanese) indent the
    // list items. 107 is the message that ends a completed update.
    {101, "Version info DERadori(&A)...", "バージョン情報 DERadori(&A)..."},
    {102, "Starts update for KX58. Please note the following before starting update.",
     "KX58のアップデートを開始します。\n"
     "アップデートを開始する前に次のことに注意してください。"},
    {103,
     " - Please do not end update on the way, and do not operate other application. It might cause "
     "the breakdown of the PCI-board.",
     "　- アップデートを途中で終了したり、他のアプリケーションを操作しないでください。\n"
     "　　PCIボードの故障の原因になる場合があります。"},
    {104, " - Please exit all Application under execution.",
     "　- 実行中のすべてのアプリケーションを終了してください。"},
    {105, " - After complete update, it is necessary to reboot the computer.",
     "　- アップデート完了後、コンピュータを再起動する必要があります。"},
    {106, "Please click [Next] to make update continue.",
     "アップデートを続行するには［次へ］をクリックしてください。"},
    {107,
     "KX58 update completed.\n"
     "Please reboot the computer to make update effective.",
     "KX58アップデートは正常に終了しました。\n"
     "アップデートを有効にするにはコンピュータを再起動してください。"},

    // Status lines of the update dialog and the board selection's prompt.
    {204, "Please click [Start] to make update start.",
     "アップデートを開始するには［スタート］をクリックしてください。"},
    {205, "It is updating. Please do not turn off power.",
     "アップデートしています。電源を切らないで下さい。"},
    {206, "Please select updated the PCI-board.", "アップデートするPCIボードを選択してください。"},
    {207, "Update is canceled.", "アップデートはキャンセルされました。"},

    // Button texts.
    {301, "Next", "次へ"},
    {302, "Cancel", "キャンセル"},
    {303, "Start", "スタート"},

    // Message boxes. The two-digit error code closes each failure message.
    {401,
     "PCI-board does not insert, or PCI-board is not recognized. \n"
     "Update is exited.\n"
     "(Error Code:01)",
     "PCIボードが挿さっていないかPCIボードを認識していません。\n"
     "アップデートを終了します。\n"
     "（ｴﾗｰｺｰﾄﾞ:01）"},
    {403,
     "Update file does not open.\n"
     " Exits update.\n"
     "(Error Code:03)",
     "アップデートファイルが開けません。\n"
     "アップデートを終了します。\n"
     "（ｴﾗｰｺｰﾄﾞ:03）"},
    {404,
     "Update file is wrong. Exits update.\n"
     "(Error Code:04)",
     "アップデートファイルが正しくありません。アップデートを終了します。\n"
     "（ｴﾗｰｺｰﾄﾞ:04）"},
    {405, "Version that will update from now becomes the one older than now version.",
     "これからアップデートするバージョンは現在のバージョンより以前のものになります。\n"
     "アップデートを続けますか？"},
    {406,
     "Failed update.\n"
     "Please contact support whether it updates again after reboot.\n"
     "(Error Code:06)",
     "アップデートに失敗しました。\n"
     "再起動後に再度アップデートするかサポートに連絡して下さい。\n"
     "（ｴﾗｰｺｰﾄﾞ:06)"},
    {408,
     "The file name of load module file is not corresponding to the kind of file.\n"
     "Please confirm the file name and the kind of file.\n"
     "(Error Code:08)",
     "ロードモジュールファイルのファイル名とファイルの種類が一致しません。\n"
     "ファイル名とファイルの種類を確認してください。\n"
     "（ｴﾗｰｺｰﾄﾞ:08）"},
    {410, "It is not necessary to update it. Update is exited. ",
     "アップデートする必要はありません。アップデートを終了します。"},
    // Our own additions: one update per board at a time, and the optional
    // limit on how long the run waits for the driver. {board}, {pid} and
    // {seconds} are filled in where they are shown.
    {411,
     "The PCI-board {board} is being updated by another program (process {pid}).\n"
     "Update is exited.\n(Error Code:01)",
     "PCIボード{board}は他のプログラム（プロセス{pid}）がアップデートしています。\n"
     "アップデートを終了します。\n（ｴﾗｰｺｰﾄﾞ:01）"},
    {412, "No event from the driver for {seconds} seconds.",
     "ドライバから{seconds}秒間イベントがありません。"},
    // Our own additions: why a board was not opened when the updater's own
    // rules, not the driver, decided it: the board's lock (its folder {folder},
    // its file {file}, the system's {error} text) and the board choice.
    {413,
     "The PCI-board {board} is being updated by another program.\n"
     "Update is exited.\n(Error Code:01)",
     "PCIボード{board}は他のプログラムがアップデートしています。\n"
     "アップデートを終了します。\n（ｴﾗｰｺｰﾄﾞ:01）"},
    {414,
     "The lock folder {folder} for the PCI-boards does not exist.\n"
     "It is made when the updater is installed, or when root runs the update.\n"
     "Update is exited.\n(Error Code:01)",
     "PCIボードのロックフォルダ{folder}がありません。\n"
     "アップデートプログラムのインストール時、またはrootでアップデートを実行したときに作成されます。\n"
     "アップデートを終了します。\n（ｴﾗｰｺｰﾄﾞ:01）"},
    {415,
     "The lock folder {folder} for the PCI-boards is not safe.\n"
     "It must be a folder, not a link, that belongs to root and that no other user can write to.\n"
     "Update is exited.\n(Error Code:01)",
     "PCIボードのロックフォルダ{folder}は安全ではありません。\n"
     "リンクではなく、rootが所有し、他のユーザが書き込めないフォルダである必要があります。\n"
     "アップデートを終了します。\n（ｴﾗｰｺｰﾄﾞ:01）"},
    {416,
     "The lock file {file} is not safe.\n"
     "It must be a regular file with one name, not a link, that belongs to you or to root and "
     "that no other user can open.\n"
     "Update is exited.\n(Error Code:01)",
     "ロックファイル{file}は安全ではありません。\n"
     "リンクではない名前が一つだけの通常のファイルで、あなたまたはrootが所有し、"
     "他のユーザが開けないファイルである必要があります。\n"
     "アップデートを終了します。\n（ｴﾗｰｺｰﾄﾞ:01）"},
    {417,
     "You may not update the PCI-board {board}: the lock file cannot be made in {folder}.\n"
     "Updating the PCI-boards needs the rights of root.\n"
     "Update is exited.\n(Error Code:01)",
     "PCIボード{board}をアップデートする権限がありません。{folder}にロックファイルを作成できません。\n"
     "PCIボードのアップデートにはrootの権限が必要です。\n"
     "アップデートを終了します。\n（ｴﾗｰｺｰﾄﾞ:01）"},
    {418,
     "The lock file {file} cannot be made or opened ({error}).\n"
     "Update is exited.\n(Error Code:01)",
     "ロックファイル{file}を作成または開くことができません（{error}）。\n"
     "アップデートを終了します。\n（ｴﾗｰｺｰﾄﾞ:01）"},
    {419,
     "The PCI-board {board} is not present.\n"
     "Update is exited.\n(Error Code:01)",
     "PCIボード{board}が見つかりません。\n"
     "アップデートを終了します。\n（ｴﾗｰｺｰﾄﾞ:01）"},
    {420,
     "Several PCI-boards are present: {boards}.\n"
     "A PCI-board must be chosen (--board ID).\n"
     "Update is exited.\n(Error Code:01)",
     "複数のPCIボードがあります: {boards}\n"
     "PCIボードを選択する必要があります（--board ID）。\n"
     "アップデートを終了します。\n（ｴﾗｰｺｰﾄﾞ:01）"},
    // A line of the update log after a write of the settings file failed.
    {421, "The retry counts could not be stored in DERadori.ini.",
     "リトライ回数をDERadori.iniに保存できませんでした。"},
    // Our own: the update dialog's line under the log that names the board
    // it opened.
    {430, "Board: {board}", "ボード: {board}"},
    // Our own: the terminal tool's words around the dialog's texts. The
    // headings above its messages, by the icon the dialog asks for; the
    // notice an interrupt gets while a component ({label}) is written; the
    // board choice's prompt and why an answer chose no board ({answer} as
    // typed, {count} boards to choose from).
    {440, "Question:", "確認:"},
    {441, "Warning:", "警告:"},
    {442, "Error:", "エラー:"},
    {443, "Information:", "情報:"},
    {444, "Writing {label}: interrupting now could leave a board that does not start; the update goes on.",
     "{label}を書き込んでいます。いま中断するとボードが起動しなくなるおそれがあります。アップデートは続きます。"},
    {445, "Choose a PCI-board (1 to {count}) [1]: ", "PCIボードを選択してください（1～{count}）[1]: "},
    {446, "There is no PCI-board {answer}: choose 1 to {count}.",
     "PCIボード{answer}はありません。1～{count}を選択してください。"},
    {447, "'{answer}' is not a number: choose 1 to {count}.",
     "「{answer}」は番号ではありません。1～{count}を選択してください。"},

    // Log lines: a step's text ends in ".....", then the completion or failure mark.
    {501, "Completed\r\n", "完了\r\n"},
    {502, "Initializing.....", "初期化しています....."},
    {503, "Checking the file.....", "ファイルをチェックしています....."},
    {504, "Opens the file.....", "ファイルを開いています....."},
    {505, "Updates FPGA1.....", "FPGA1のアップデートをしています....."},
    {506, "Updates FPGA2.....", "FPGA2のアップデートをしています....."},
    {507, "Updates Firm(Appl).....", "Firm(Appl)のアップデートをしています....."},
    {508, "Failuer.", "失敗"},
    {509, "Cancel", "キャンセル"},
    {510, "Updates Firm(Boot).....", "Firm(Boot)のアップデートをしています....."},

    // Caption of the board selection dialog.
    {601, "Select the PCI-board", "PCIボード選択"},
};

constexpr bool IdsAscend() {
  for (std::size_t i = 1; i < std::size(kStrings); ++i) {
    if (kStrings[i - 1].id >= kStrings[i].id) {
      return false;
    }
  }
  return true;
}
static_assert(IdsAscend(), "kStrings must be sorted by id without duplicates");

}  // namespace

const StringEntry* FindString(int id) {
  const auto* it =
      std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                       [](const StringEntry& entry, int key) { return entry.id < key; });
  return it != std::end(kStrings) && it->id == id ? it : nullptr;
}

std::string LoadString(int id, Language language) {
  const StringEntry* entry = FindString(id);
  return entry == nullptr ? std::string() : std::string(entry->Text(language));
}

std::span<const StringEntry> AllStrings() { return kStrings; }

}  // namespace kx
