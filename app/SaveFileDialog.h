// Qt's save dialog, with its questions and refusals asked through Desktop so
// that they can be answered without a screen.
#pragma once

#include <QFileDialog>

namespace rowtick {

class Desktop;

class SaveFileDialog : public QFileDialog {
    Q_OBJECT
public:
    SaveFileDialog(Desktop& desktop, QWidget* parent);

public slots:
    void accept() override;

private:
    Desktop& desktop_;
};

}  // namespace rowtick
