// A desktop for the measuring tools: it never opens a dialog or another application.
#pragma once

#include <QDialog>
#include <QUrl>

#include "Desktop.h"

class NoDesktop final : public rowtick::Desktop {
public:
    int exec(QDialog& dialog) override
    {
        dialog.reject();
        return QDialog::Rejected;
    }
    bool openUrl(const QUrl&) override { return true; }
};
