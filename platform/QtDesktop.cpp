#include "QtDesktop.h"

#include <QDesktopServices>
#include <QDialog>
#include <QUrl>

namespace rowtick {

int QtDesktop::exec(QDialog& dialog)
{
    return dialog.exec();
}

void QtDesktop::openUrl(const QUrl& url)
{
    // QDesktopServices passes the URL as a single argument to the desktop's
    // opener (xdg-open, ShellExecute, ...), never through a shell command line.
    QDesktopServices::openUrl(url);
}

}  // namespace rowtick
