#include "basSave.h"

#include <QSettings>
#include <QTemporaryDir>

#include "Desktop.h"
#include "SaveFileDialog.h"

namespace rowtick {

QString ShowSaveDialog(Desktop& desktop, QWidget* ownerWindow, const QString& filter,
                       const QString& initialDirectory)
{
    // Qt's dialog keeps the folders it visited in the user's settings and may
    // open one of them in a later run; this program keeps nothing between runs,
    // so the dialog's settings go to a folder that is removed again.
    QTemporaryDir throwaway;
    const QString place = throwaway.isValid() ? throwaway.path() : QStringLiteral("/nonexistent");
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, place);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, place);
    SaveFileDialog dialog(desktop, ownerWindow);
    dialog.setNameFilter(filter);
    dialog.setDirectory(initialDirectory);
    if (desktop.exec(dialog) != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace rowtick
