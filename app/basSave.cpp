#include "basSave.h"

#include "Desktop.h"
#include "SaveFileDialog.h"

namespace rowtick {

QString ShowSaveDialog(Desktop& desktop, QWidget* ownerWindow, const QString& filter,
                       const QString& initialDirectory)
{
    SaveFileDialog dialog(desktop, ownerWindow);
    dialog.setNameFilter(filter);
    dialog.setDirectory(initialDirectory);
    if (desktop.exec(dialog) != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace rowtick
