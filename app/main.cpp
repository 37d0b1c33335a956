#include <QApplication>
#include <QTimer>

#include <cstdlib>
#include <iostream>
#include <optional>

#include "CommandLine.h"
#include "Form1.h"
#include "QtDesktop.h"
#include "Startup.h"
#include "Utf8Arguments.h"
#ifdef ROWTICK_WITH_DBUS
#include "ApplicationService.h"
#include "SessionBus.h"
#endif

namespace {

// How long a second start waits for the open window to take its files.
constexpr int kHandOverTimeoutMs = 500;

}  // namespace

int main(int argc, char* argv[])
{
    // Questions and mistakes are answered before anything needs a display.
    rowtick::Utf8Arguments arguments(argc, argv);
    rowtick::CommandLine commandLine(arguments.argc(), arguments.argv());
    if (commandLine.answerQuestion(std::cout))
        return 0;
    if (commandLine.refuseMistake(std::cerr))
        return 2;

    // With no display, the files can still go to a window open already: the
    // hand-over needs the session bus only.
    if (!rowtick::DisplayNamed(commandLine.namesDisplay())) {
        bool handedOver = false;
#ifdef ROWTICK_WITH_DBUS
        QCoreApplication core(commandLine.toolkitArgc(), commandLine.toolkitArgv());
        handedOver = commandLine.hasFiles() && rowtick::SessionBusNamed()
            && rowtick::ApplicationService::handOver(QDBusConnection::sessionBus(),
                                                     commandLine.targets(rowtick::CurrentFolder()), kHandOverTimeoutMs);
#endif
        if (!handedOver)
            std::cerr << rowtick::kNoDisplay << std::flush;
        // Ended here, without the exit's destructors: the bus's own thread may
        // still deliver what it received to an application that is gone, and
        // Qt would say so on the error output.
        std::_Exit(handedOver ? 0 : 1);
    }

    std::optional<rowtick::NoDisplayGuard> guard(std::in_place);
    QApplication app(commandLine.toolkitArgc(), commandLine.toolkitArgv());
    guard.reset();
    rowtick::SetUpApplication(app);
#ifdef ROWTICK_WITH_DBUS
    const bool bus = rowtick::SessionBusNamed();
    if (!bus)
        rowtick::ForgoSessionBus();
    if (bus && commandLine.hasFiles()
        && rowtick::ApplicationService::handOver(QDBusConnection::sessionBus(),
                                                 commandLine.targets(rowtick::CurrentFolder()), kHandOverTimeoutMs))
        return 0;
#endif

    rowtick::QtDesktop desktop;
    rowtick::Form1 window(desktop);
    commandLine.openIn(window);
    window.show();
    rowtick::CentreWithFrame(window);
#ifdef ROWTICK_WITH_DBUS
    // Reached over the bus once the window is on the screen.
    if (bus) {
        auto* service = new rowtick::ApplicationService(window);
        QTimer::singleShot(0, service, [service] { service->publish(QDBusConnection::sessionBus()); });
    }
#endif
    return app.exec();
}
