#include "SystemError.h"

#include <cerrno>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace rowtick {

std::string SystemErrorReason(int error)
{
#ifdef _WIN32
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return "ファイルが見つかりません";
    case ERROR_PATH_NOT_FOUND: return "フォルダが見つかりません";
    case ERROR_ACCESS_DENIED: return "アクセスが拒否されました";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "他のプログラムが使用中です";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "ディスクの空き容量が足りません";
    case ERROR_FILENAME_EXCED_RANGE: return "ファイル名が長すぎます";
    case ERROR_WRITE_PROTECT: return "書き込み禁止です";
    default: break;
    }
    return "システムエラー " + std::to_string(error);
#else
    switch (error) {
    case ENOENT: return "ファイルまたはフォルダが見つかりません";
    case ENOTDIR: return "パスの途中がフォルダではありません";
    case EACCES:
    case EPERM: return "アクセスが拒否されました";
    case EISDIR: return "フォルダです";
    case ENOSPC: return "ディスクの空き容量が足りません";
#ifdef EDQUOT
    case EDQUOT: return "ディスク使用量の上限を超えました";
#endif
    case EFBIG: return "ファイルが大きすぎます";
    case EROFS: return "読み取り専用のファイルシステムです";
    case ENAMETOOLONG: return "ファイル名またはパスが長すぎます";
    case ELOOP: return "シンボリックリンクが循環しています";
    case EIO: return "入出力エラーが発生しました";
    case EMFILE:
    case ENFILE: return "開いているファイルが多すぎます";
    case ENOMEM: return "メモリが足りません";
    case ETXTBSY:
    case EBUSY: return "使用中です";
    default: break;
    }
    return "システムエラー: " + std::generic_category().message(error);
#endif
}

}  // namespace rowtick
