// The real desktop, through Qt.
#pragma once

#include "Desktop.h"

namespace rowtick {

class QtDesktop final : public Desktop {
public:
    int exec(QDialog& dialog) override;
    void openUrl(const QUrl& url) override;
};

}  // namespace rowtick
