// The window's only way to the desktop: modal dialogs and the associated
// application of a file or address.
#pragma once

class QDialog;
class QUrl;

namespace rowtick {

class Desktop {
public:
    virtual ~Desktop() = default;

    // Shows `dialog` modally and returns its result (QDialog::Accepted,
    // QDialog::Rejected or a QMessageBox::StandardButton).
    virtual int exec(QDialog& dialog) = 0;

    // Hands `url` (a file, an https page or a mailto address) to the desktop,
    // which starts the associated application. Nothing waits for it; false
    // when nothing on this system could be started to open it.
    virtual bool openUrl(const QUrl& url) = 0;

protected:
    Desktop() = default;
    Desktop(const Desktop&) = default;
    Desktop& operator=(const Desktop&) = default;
};

}  // namespace rowtick
