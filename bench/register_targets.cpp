// rowtick-register-targets [COUNT]: the window's own share of a big drop and
// how the list paints afterwards. Builds the window offscreen, hands it COUNT
// entries (default 1,000,000) as a parsed drop does, and prints the time of
// Form1::RegisterTargets with the first paint after it, the peak resident
// memory, and the paint times of the target list while it is scrolled to the
// end and back in 100 steps.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QListView>
#include <QScrollBar>
#include <QWindow>

#include "NoDesktop.h"
#include "Form1.h"

namespace {


double ResidentMiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::atof(line.c_str() + std::string(field).size()) / 1024.0;
    return -1;
}

double Milliseconds(const QElapsedTimer& clock)
{
    return clock.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long count = argc > 1 ? std::atol(argv[1]) : 1000000;

    NoDesktop desktop;
    rowtick::Form1 window(desktop);
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    auto* list = window.findChild<QListView*>(QStringLiteral("lstFileName"));

    // Paths as long as those of a typical source tree (about 50 bytes).
    std::vector<rowtick::DroppedTarget> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i) {
        char name[96];
        std::snprintf(name, sizeof name, "/home/user/projects/rowtick/src/module%03ld/f%06ld.cpp",
                      i / 1000, i);
        entries.push_back({name, {}});
    }
    std::printf("entries built            %9.1f MiB resident\n", ResidentMiB("VmRSS:"));
    std::ofstream("/proc/self/clear_refs") << "5";

    QElapsedTimer clock;
    clock.start();
    window.RegisterTargets(entries);
    const double registered = Milliseconds(clock);
    list->viewport()->repaint();
    window.repaint();
    std::printf("RegisterTargets          %9.1f ms\n", registered);
    std::printf("  with the first paint   %9.1f ms  peak %7.1f MiB  %d rows\n", Milliseconds(clock),
                ResidentMiB("VmHWM:"), list->model()->rowCount());

    QScrollBar* bar = list->verticalScrollBar();
    std::vector<double> paints;
    const int steps = 100;
    for (int i = 0; i <= 2 * steps; ++i) {
        const int step = i <= steps ? i : 2 * steps - i;
        bar->setValue(static_cast<int>(static_cast<long long>(bar->maximum()) * step / steps));
        clock.restart();
        list->viewport()->repaint();
        paints.push_back(Milliseconds(clock));
    }
    std::sort(paints.begin(), paints.end());
    std::printf("scroll to the end and back: %zu paints  median %.2f ms  longest %.2f ms\n",
                paints.size(), paints[paints.size() / 2], paints.back());
    return 0;
}
