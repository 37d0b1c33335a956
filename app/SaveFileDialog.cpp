#include "SaveFileDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include "Desktop.h"
#include "WindowTexts.h"

namespace rowtick {

SaveFileDialog::SaveFileDialog(Desktop& desktop, QWidget* parent)
    : QFileDialog(parent), desktop_(desktop)
{
    // Qt's own dialog everywhere: the same look on every desktop, and one that
    // runs modally inside this process, where Desktop can stand in for the user.
    setOption(QFileDialog::DontUseNativeDialog);
    // The replace question is asked below, in the same words Qt uses.
    setOption(QFileDialog::DontConfirmOverwrite);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
}

void SaveFileDialog::accept()
{
    const QStringList files = selectedFiles();
    if (files.isEmpty())
        return;
    const QFileInfo chosen(files.first());
    if (chosen.isDir()) {
        QFileDialog::accept();  // opens the folder
        return;
    }
    if (!chosen.absoluteDir().exists()) {
        QMessageBox refusal(QMessageBox::Warning, windowTitle(),
                            texts::FolderMissing(QDir::toNativeSeparators(chosen.absolutePath())),
                            QMessageBox::Ok, this);
        desktop_.exec(refusal);
        return;
    }
    if (chosen.exists()) {
        QMessageBox question(
            QMessageBox::Warning, windowTitle(),
            QCoreApplication::translate("QFileDialog",
                                        "%1 already exists.\nDo you want to replace it?")
                .arg(chosen.fileName()),
            QMessageBox::Yes | QMessageBox::No, this);
        // A slip of the mouse must not replace a file: No is the default.
        question.setDefaultButton(QMessageBox::No);
        if (desktop_.exec(question) != QMessageBox::Yes)
            return;
    }
    QFileDialog::accept();
}

}  // namespace rowtick
