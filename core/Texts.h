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
inline constexpr std::string_view kReadEndedEarly = "読み込みエラー: ファイルの大きさに届く前に読み込みが終わりました";
inline constexpr std::string_view kChanged = "数えている間にファイルが変更されました";
inline constexpr std::string_view kNoMemory = "メモリが足りません";
inline constexpr std::string_view kStopped = "カウントを中止しました";

// Reasons a save was refused.
inline constexpr std::string_view kNoSavePath = "保存先が指定されていません";
inline constexpr std::string_view kFolderOfThatName = "同じ名前のフォルダがあります";
inline constexpr std::string_view kReadOnlyFile = "読み取り専用のファイルです";
inline constexpr std::string_view kCannotCreate = "保存先のファイルを作成できません";
inline constexpr std::string_view kWriteFailed = "書き込みに失敗しました";
inline constexpr std::string_view kPlantedLink =
    "共有フォルダにある他のユーザーのシンボリックリンクです。リンク先には保存しません";
inline constexpr std::string_view kSwapped = "保存先のファイルが確認の直後に別のものに置き換えられました";
inline constexpr std::string_view kOldBytesUnreadable = "元のファイルを読めないため、その内容を控えてから上書きすることができません";
inline constexpr std::string_view kSavingElsewhere =
    "別の保存がこのファイルを書き換えている最中です。しばらくしてからやり直してください";
// Added to the reason of a save that stopped for a full disk before it touched the file, with the room it needs.
inline constexpr std::string_view kOldFileUntouched = "。元のファイルはそのままです";
inline constexpr std::string_view kRoomNeeded = "。保存には ";
inline constexpr std::string_view kRoomNeededEnd = " バイトの空きが必要です";
// Added to the reason of a save that failed while writing the file in place.
inline constexpr std::string_view kOldBytesRestored = " (元の内容に戻しました)";
inline constexpr std::string_view kOldBytesLost = " (元の内容に戻せませんでした。元の内容の控え: ";
inline constexpr std::string_view kOldBytesLostEnd = ")";
// Shown with the confirmation of a save whose folder could not be flushed to disk.
inline constexpr std::string_view kNameMayNotSurvive =
    "保存しましたが、フォルダの更新をディスクに書き込めませんでした。停電などの際はファイル名が元に戻ることがあります";

// Reasons a dropped entry is never read.
inline constexpr std::string_view kOtherComputer = "別のコンピューターのファイルです";
inline constexpr std::string_view kImpossibleName = "ファイル名に使えない文字が含まれています";
inline constexpr std::string_view kRelativePath = "相対パスです";
inline constexpr std::string_view kNotPlainFileUrl = "ファイルの場所だけを表す URL ではありません";
inline constexpr std::string_view kPathTooLong = "パスが長すぎるため、ファイルを指していません";

// System errors (errno values on POSIX, GetLastError values on Windows).
inline constexpr std::string_view kErrNotFound = "ファイルが見つかりません";
inline constexpr std::string_view kErrFolderNotFound = "フォルダが見つかりません";
inline constexpr std::string_view kErrNotFoundEither = "ファイルまたはフォルダが見つかりません";
inline constexpr std::string_view kErrNotAFolder = "パスの途中がフォルダではありません";
inline constexpr std::string_view kErrAccessDenied = "アクセスが拒否されました";
inline constexpr std::string_view kErrIsFolder = "フォルダです";
inline constexpr std::string_view kErrInUse = "使用中です";
inline constexpr std::string_view kErrInUseByOther = "他のプログラムが使用中です";
inline constexpr std::string_view kErrDiskFull = "ディスクの空き容量が足りません";
inline constexpr std::string_view kErrQuota = "ディスク使用量の上限を超えました";
inline constexpr std::string_view kErrTooLarge = "ファイルが大きすぎます";
inline constexpr std::string_view kErrReadOnlyFs = "読み取り専用のファイルシステムです";
inline constexpr std::string_view kErrWriteProtected = "書き込み禁止です";
inline constexpr std::string_view kErrNameTooLong = "ファイル名またはパスが長すぎます";
inline constexpr std::string_view kErrFileNameTooLong = "ファイル名が長すぎます";
inline constexpr std::string_view kErrLinkLoop = "シンボリックリンクが循環しています";
inline constexpr std::string_view kErrIo = "入出力エラーが発生しました";
inline constexpr std::string_view kErrTooManyOpen = "開いているファイルが多すぎます";
inline constexpr std::string_view kErrNoMemory = "メモリが足りません";
inline constexpr std::string_view kErrTryLater = "一時的に使用できません。しばらくしてからやり直してください";
inline constexpr std::string_view kErrInterrupted = "処理が中断されました";
inline constexpr std::string_view kErrNoDevice = "装置が見つからないか、準備ができていません";
inline constexpr std::string_view kErrInvalid = "この操作はこのファイルに対して行えません";
inline constexpr std::string_view kErrNotSupported = "この操作はサポートされていません";
inline constexpr std::string_view kErrTimedOut = "応答がないまま時間切れになりました";
inline constexpr std::string_view kErrStale = "ネットワーク上のファイルが無効になりました";
inline constexpr std::string_view kErrCrossDevice = "別のドライブやファイルシステムをまたいで操作できません";
inline constexpr std::string_view kErrNetwork = "ネットワークのエラーが発生しました";
// Any other code: this text, then the code and the system's own text as a detail.
inline constexpr std::string_view kErrOther = "予期しないシステムエラーが発生しました";

}  // namespace rowtick
