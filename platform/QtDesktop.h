// The real desktop, through Qt.
#pragma once

#include "Desktop.h"

namespace rowtick {

class QtDesktop final : public Desktop {
public:
    int exec(QDialog& dialog) override;
    bool openUrl(const QUrl& url) override;
};

}  // namespace rowtick
