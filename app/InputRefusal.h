// While it lives, a window takes no input: a click, a key or a drop would start
// another handler in the middle of a counting run. Qt's own modality would do
// that too, but it also swallows the frame's close button (and on Windows
// disables the whole frame), and closing must still end the program at once;
// so the refusal is this filter, and the progress dialog stays modeless.
#pragma once

#include <QObject>

class QWidget;

namespace rowtick {

class InputRefusal final : public QObject {
public:
    explicit InputRefusal(const QWidget& window);
    ~InputRefusal() override;
    InputRefusal(const InputRefusal&) = delete;
    InputRefusal& operator=(const InputRefusal&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const QWidget& window_;
};

}  // namespace rowtick
