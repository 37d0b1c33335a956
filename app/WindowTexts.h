// Texts the window shows, UTF-8. Half-width and full-width katakana are
// deliberate and not interchangeable.
#pragma once

#include <QString>

namespace rowtick::texts {

inline QString ApplicationTitle() { return QStringLiteral("Halvern"); }
inline QString Caption() { return QStringLiteral("Rowtick"); }
inline QString VersionLabel() { return QStringLiteral("Rowtick Ver1.0"); }
inline QString RightsNotice() { return QStringLiteral("Copyright © Halvern. All rights reserved."); }
inline QString TargetsHeading() { return QStringLiteral("対象ファイル"); }
inline QString TargetsToolTip() { return QStringLiteral("ここにﾌｧｲﾙを投げて下さい！"); }
inline QString ResultsHeading() { return QStringLiteral("ファイル・ステップ数"); }
inline QString CountButton() { return QStringLiteral("ｶｳﾝﾄ開始"); }
inline QString SaveButton() { return QStringLiteral("結果保存"); }
inline QString EndButton() { return QStringLiteral("終了"); }
inline QString ProgramName() { return QStringLiteral("Rowtick"); }
inline QString MailToolTip() { return QStringLiteral("質問など、お気軽に"); }
inline QString StatusToolTip() { return QStringLiteral("ｼﾝｸﾞﾙｸﾘｯｸで設定画面、ﾀﾞﾌﾞﾙｸﾘｯｸで戻ります。"); }
inline QString Saved() { return QStringLiteral("保存しました"); }
// Status-bar panel 1 when nothing on the system opens a file or address.
inline QString NothingOpens() { return QStringLiteral("開くためのプログラムが見つかりません"); }
inline QString SaveFilter() { return QStringLiteral("csv(*.csv)"); }
inline QString SaveFailed(const QString& path, const QString& reason)
{
    return QStringLiteral("%1\nに保存できませんでした。\n理由: %2").arg(path, reason);
}
inline QString FolderMissing(const QString& folder)
{
    return QStringLiteral("%1\nフォルダーが見つかりません。\nフォルダー名を確かめてください。").arg(folder);
}

// The progress of a long counting run: targets done out of all, and the file
// being counted on the next line.
inline QString CountingProgress(qint64 done, qint64 total, const QString& file)
{
    return QStringLiteral("カウント中… %1 / %2\n%3").arg(done).arg(total).arg(file);
}
inline QString ProgressBarName() { return QStringLiteral("カウントの進み具合"); }
inline QString CancelButton() { return QStringLiteral("キャンセル"); }

// The maker, reachable from the two labels. Reserved .example names until the
// maker publishes real ones.
inline QString MakerAddress() { return QStringLiteral("mail@hv.example"); }
inline QString HomePage() { return QStringLiteral("https://hv.example/rowtick/"); }

// Accessible names and descriptions for controls whose text alone does not
// say what a click does.
inline QString MinimiseAction() { return QStringLiteral("ウィンドウを最小化"); }
inline QString CompactAction() { return QStringLiteral("クリックで小さい表示に切り替え"); }
inline QString HomePageAction() { return QStringLiteral("クリックでホームページを開く"); }
inline QString MailAction() { return QStringLiteral("クリックでメールを作成"); }
inline QString StatusBarName() { return QStringLiteral("ステータスバー"); }

}  // namespace rowtick::texts
