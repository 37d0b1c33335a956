// rowtick-first-paint [LIST] [REPEAT]: how soon the window paints again after
// the count button is pressed, during a long run. Builds the window offscreen,
// drops the paths listed in LIST (one per line; default every file under
// /usr/include) on the target list, presses the count button REPEAT times
// (default 3) and prints, per run: the run's length, the time from the press
// to the first paint of the window while the run is still going, the number
// of such paints and the longest gap between two of them.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDropEvent>
#include <QFile>
#include <QListView>
#include <QMimeData>
#include <QUrl>
#include <QWindow>

#include "NoDesktop.h"
#include "Form1.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}


// Paint events of the window and its controls while a run is in progress
// (the busy cursor shows exactly as long as the run lasts).
class PaintClock final : public QObject {
public:
    explicit PaintClock(const QWidget& window) : window_(window) {}

    Clock::time_point pressed;
    std::vector<Clock::time_point> paints;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && QGuiApplication::overrideCursor()) {
            const auto* widget = qobject_cast<const QWidget*>(watched);
            if (widget && widget->window() == &window_)
                paints.push_back(Clock::now());
        }
        return false;
    }

private:
    const QWidget& window_;
};

QString PathText(const std::filesystem::path& path)
{
#ifdef _WIN32
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

QList<QUrl> Targets(const char* listFile)
{
    QList<QUrl> urls;
    if (listFile) {
        std::ifstream list(listFile, std::ios::binary);
        for (std::string line; std::getline(list, line);)
            if (!line.empty())
                urls.append(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(line))));
        return urls;
    }
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it("/usr/include", error), end;
         !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error))
            urls.append(QUrl::fromLocalFile(PathText(it->path())));
    }
    return urls;
}

void Drop(QWidget* viewport, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint pos = viewport->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const char* listFile = argc > 1 && std::string(argv[1]) != "-" ? argv[1] : nullptr;
    const int repeat = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    NoDesktop desktop;
    rowtick::Form1 window(desktop);
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    const QList<QUrl> urls = Targets(listFile);
    Drop(window.findChild<QListView*>(QStringLiteral("lstFileName"))->viewport(), urls);
    QCoreApplication::processEvents();
    auto* button = window.findChild<QAbstractButton*>(QStringLiteral("Command2"));

    PaintClock clock(window);
    app.installEventFilter(&clock);
    for (int run = 0; run < repeat; ++run) {
        clock.paints.clear();
        clock.pressed = Clock::now();
        button->click();
        const Clock::time_point ended = Clock::now();

        double longestGap = 0;
        Clock::time_point previous = clock.pressed;
        for (const Clock::time_point paint : clock.paints) {
            longestGap = std::max(longestGap, Milliseconds(paint - previous));
            previous = paint;
        }
        longestGap = std::max(longestGap, Milliseconds(ended - previous));
        char firstPaint[64] = "none during the run";
        if (!clock.paints.empty())
            std::snprintf(firstPaint, sizeof firstPaint, "%.1f ms after the press",
                          Milliseconds(clock.paints.front() - clock.pressed));
        std::printf("run %d: %lld targets  run %.3f s  first paint %s  paints %zu  longest gap %.1f ms\n",
                    run + 1, static_cast<long long>(urls.size()),
                    Milliseconds(ended - clock.pressed) / 1000, firstPaint, clock.paints.size(),
                    longestGap);
        QCoreApplication::processEvents();
    }
    return 0;
}
