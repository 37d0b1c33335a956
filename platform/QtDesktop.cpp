#include "QtDesktop.h"

#include <QDesktopServices>
#include <QDialog>
#include <QUrl>

namespace rowtick {

int QtDesktop::exec(QDialog& dialog)
{
    return dialog.exec();
}

bool QtDesktop::openUrl(const QUrl& url)
{
    // QDesktopServices passes the URL as a single argument to the desktop's
    // opener (xdg-open, ShellExecute, ...), never through a shell command line;
    // it is false when there is no opener to start.
    return QDesktopServices::openUrl(url);
}

}  // namespace rowtick
