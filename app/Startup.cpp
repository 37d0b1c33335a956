#include "Startup.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>
#include <QWidget>
#include <QWindow>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "Pictures.h"

namespace rowtick {

namespace {

QtMessageHandler gBeforeGuard = nullptr;

// Qt's end when no platform can be started is a fatal message; it is answered
// here, before Qt aborts.
void EndWithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        std::_Exit(1);
    }
    if (gBeforeGuard)
        gBeforeGuard(type, context, message);
}

}  // namespace

bool DisplayNamed(bool namedOnCommandLine)
{
#ifdef _WIN32
    // A Windows session always has its desktop to show the window on.
    return true;
#endif
    return namedOnCommandLine || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

NoDisplayGuard::NoDisplayGuard()
{
    gBeforeGuard = qInstallMessageHandler(EndWithoutDisplay);
}

NoDisplayGuard::~NoDisplayGuard()
{
    qInstallMessageHandler(gBeforeGuard);
}

bool SetUpApplication(QApplication& app)
{
    QApplication::setApplicationName(QStringLiteral("Rowtick"));
    QApplication::setApplicationVersion(QStringLiteral(ROWTICK_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Halvern"));
    QApplication::setWindowIcon(QIcon(pictures::Program()));
    QGuiApplication::setDesktopFileName(QStringLiteral(ROWTICK_APP_ID));

    // The user interface is Japanese whatever the desktop's language, so the
    // file dialog and the message-box buttons must be too.
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    auto* translator = new QTranslator(&app);
#ifdef _WIN32
    // A Windows program carries its own files: the translation lies beside it.
    const QString folder = QCoreApplication::applicationDirPath();
#else
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#endif
    const bool found = translator->load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"), folder);
    if (found)
        QApplication::installTranslator(translator);
    else
        delete translator;
    return found;
}

void CentreWithFrame(QWidget& window)
{
    QWindow* handle = window.windowHandle();
    const QScreen* screen = window.screen();
    if (!handle || !screen)
        return;
#ifdef _WIN32
    // Windows frames the window as it creates it: the frame is known at once.
    window.move(screen->availableGeometry().center() - QRect(QPoint(), window.frameGeometry().size()).center());
#else
    // The frame is added around the client area, which moves by the frame's
    // top-left margins; the first such move is answered by centring the
    // frame. Any later one is the user's.
    const QPoint placed = window.pos();
    auto connections = std::make_shared<std::array<QMetaObject::Connection, 2>>();
    const auto centre = [&window, screen, placed, connections] {
        const QRect frame = window.frameGeometry();
        if (frame == window.geometry())
            return;  // not framed yet
        for (const QMetaObject::Connection& connection : *connections)
            QObject::disconnect(connection);
        if (window.pos() == placed)
            window.move(screen->availableGeometry().center() - QRect(QPoint(), frame.size()).center());
    };
    (*connections)[0] = QObject::connect(handle, &QWindow::xChanged, &window, centre);
    (*connections)[1] = QObject::connect(handle, &QWindow::yChanged, &window, centre);
#endif
}

}  // namespace rowtick
