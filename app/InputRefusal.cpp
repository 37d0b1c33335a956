#include "InputRefusal.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QWidget>

namespace rowtick {

InputRefusal::InputRefusal(const QWidget& window) : window_(window)
{
    QCoreApplication::instance()->installEventFilter(this);
}

InputRefusal::~InputRefusal()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

bool InputRefusal::eventFilter(QObject* watched, QEvent* event)
{
    const auto* widget = qobject_cast<const QWidget*>(watched);
    if (!widget || widget->window() != &window_)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        // Refused, so the drag shows it cannot land and the source keeps its files.
        auto* drop = static_cast<QDropEvent*>(event);
        drop->setDropAction(Qt::IgnoreAction);
        drop->ignore();
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
        event->ignore();
        return true;
    default:
        return false;
    }
}

}  // namespace rowtick
