// User-visible texts of the counting core, UTF-8: the one home of every
// Japanese text the core produces.
#pragma once

#include <string_view>

namespace rowtick {

// Row 0 of the target list: a hint, never a target.
inline constexpr std::string_view kHintRow = "ここにファイルを投げて下さい！";
// Prefix of the registered-count text in the status bar.
inline constexpr std::string_view kRegisteredCountPrefix = "登録数=";
// Stands in for the count of a target that could not be counted.
inline constexpr std::string_view kUncountedMark = "-";

// Reasons shown beside a target that was not counted.
inline constexpr std::string_view kMissing = "ファイルが見つかりません";
inline constexpr std::string_view kFolder = "フォルダです";
inline constexpr std::string_view kHidden = "隠しファイルです";
inline constexpr std::string_view kSystemFile = "システムファイルです";
inline constexpr std::string_view kFifo = "名前付きパイプ (FIFO) です";
inline constexpr std::string_view kDevice = "デバイスです";
inline constexpr std::string_view kSocket = "ソケットです";
inline constexpr std::string_view kNotRegular = "通常のファイルではありません";
inline constexpr std::string_view kDanglingLink = "リンク先が見つかりません";
inline constexpr std::string_view kLinkLoop = "シンボリックリンクが循環しています";
inline constexpr std::string_view kReadError = "読み込みエラー: ";
inline constexpr std::string_view kChanged = "数えている間にファイルが変更されました";
inline constexpr std::string_view kNoMemory = "メモリが足りません";
inline constexpr std::string_view kStopped = "カウントを中止しました";

// Reasons a save was refused.
inline constexpr std::string_view kNoSavePath = "保存先が指定されていません";
inline constexpr std::string_view kFolderOfThatName = "同じ名前のフォルダがあります";
inline constexpr std::string_view kReadOnlyFile = "読み取り専用のファイルです";
inline constexpr std::string_view kCannotCreate = "保存先のファイルを作成できません";
inline constexpr std::string_view kWriteFailed = "書き込みに失敗しました";

}  // namespace rowtick
