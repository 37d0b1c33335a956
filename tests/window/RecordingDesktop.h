// Stands in for the desktop: records what the window asks for and answers
// dialogs as a scripted user would, without showing anything.
#pragma once

#include <functional>

#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "Desktop.h"

namespace rowtick::testing {

struct ShownMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

class RecordingDesktop final : public Desktop {
public:
    // The scripted user: gets every dialog that is not a message box and
    // returns its result. Unset: the user cancels.
    std::function<int(QDialog&)> answerDialog;
    // The scripted answer to a message box with Yes and No.
    QMessageBox::StandardButton answerQuestion = QMessageBox::Yes;

    QList<QUrl> openedUrls;
    QList<ShownMessage> messages;
    int dialogsShown = 0;

    int exec(QDialog& dialog) override
    {
        ++dialogsShown;
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            messages.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                             box->standardButton(box->defaultButton())});
            return box->standardButtons().testFlag(QMessageBox::Yes) ? answerQuestion
                                                                     : QMessageBox::Ok;
        }
        if (answerDialog)
            return answerDialog(dialog);
        dialog.reject();
        return QDialog::Rejected;
    }

    void openUrl(const QUrl& url) override { openedUrls.append(url); }
};

}  // namespace rowtick::testing
