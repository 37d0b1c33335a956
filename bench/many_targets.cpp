// rowtick-many-targets FOLDER [COUNT]: the window's whole path over COUNT
// targets (default 100,000). Makes COUNT small files in FOLDER (kept for the
// next run), builds the window offscreen, drops all of them on the target list
// at once as the raw URI list an X11 drop delivers, presses the count button,
// then the save button (the save dialog is answered with FOLDER/result.csv),
// and prints for each step its time and the process's peak resident memory
// during that step.
// rowtick-many-targets --list LIST FOLDER: the same over the paths listed in
// LIST (one per line, in that order), without making any file.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include <sys/resource.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <QWindow>

#include "Desktop.h"
#include "Form1.h"

namespace {

// Answers the save dialog with one path and every message box with OK, and
// keeps the last message so the run can say whether the save was confirmed.
class ScriptedDesktop final : public rowtick::Desktop {
public:
    explicit ScriptedDesktop(QString savePath) : savePath_(std::move(savePath)) {}
    QString lastMessage;

    int exec(QDialog& dialog) override
    {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            lastMessage = box->text();
            return box->standardButtons().testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
        }
        if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
            files->selectFile(savePath_);
            dialog.accept();  // as the OK button does
            return dialog.result();
        }
        dialog.reject();
        return QDialog::Rejected;
    }
    bool openUrl(const QUrl&) override { return true; }

private:
    QString savePath_;
};

// Dropped data as an X11 drop delivers it: the raw bytes of the URI list, read
// when asked for. A plain QMimeData would parse a set "text/uri-list" into a
// list of URLs at once, memory and time no real drop spends.
class RawDropData final : public QMimeData {
public:
    explicit RawDropData(QByteArray uriList) : uriList_(std::move(uriList)) {}
    QStringList formats() const override { return {QStringLiteral("text/uri-list")}; }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType) const override
    {
        return mimeType == QLatin1String("text/uri-list") ? QVariant(uriList_) : QVariant();
    }

private:
    QByteArray uriList_;
};

// Peak resident memory (VmHWM) in MiB, and a fresh start for it, so that each
// step's peak is its own.
double PeakMiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return -1;
}

// Processor time of the whole process so far, and at the start of the step.
double ProcessorSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
double gStepStart = 0;

// Processor time of the window's own thread so far, and at the start of the
// step: what the window spends beside the workers.
double WindowThreadSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
double gWindowStepStart = 0;

// A fresh start for the step's peak memory and processor time.
void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
    gStepStart = ProcessorSeconds();
    gWindowStepStart = WindowThreadSeconds();
}

// The highest of the steps' peaks: the whole run's peak.
double gRunPeak = 0;

void Report(const char* step, const QElapsedTimer& clock, const std::string& detail)
{
    const double peak = PeakMiB();
    gRunPeak = std::max(gRunPeak, peak);
    const double processor = ProcessorSeconds();
    const double window = WindowThreadSeconds();
    std::printf("%-22s %9.3f s  processor %7.3f s  peak %7.1f MiB  %s  (window's thread %.3f s)\n", step,
                clock.nsecsElapsed() / 1e9, processor - gStepStart, peak, detail.c_str(), window - gWindowStepStart);
    gStepStart = processor;
    gWindowStepStart = window;
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[])
{
    const bool listed = argc > 1 && std::string(argv[1]) == "--list";
    if (argc < 2 || (listed && argc < 4)) {
        std::fprintf(stderr, "usage: %s FOLDER [COUNT]\n       %s --list LIST FOLDER\n", argv[0], argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::filesystem::path folder = listed ? argv[3] : argv[1];
    long count = 0;
    QByteArray uriList;
    const auto add = [&](const std::filesystem::path& file) {
        uriList += QUrl::fromLocalFile(QString::fromStdString(file.native())).toEncoded();
        uriList += "\r\n";
        ++count;
    };
    if (listed) {
        std::ifstream list(argv[2], std::ios::binary);
        for (std::string line; std::getline(list, line);)
            if (!line.empty())
                add(line);
    } else {
        const long wanted = argc > 2 ? std::atol(argv[2]) : 100000;
        std::filesystem::create_directories(folder / "targets");
        for (long i = 0; i < wanted; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "f%06ld.c", i);
            const auto file = folder / "targets" / name;
            if (!std::filesystem::exists(file))
                std::ofstream(file) << "int x;\n" << std::string(i % 40, '\n');
            add(file);
        }
    }
    const QString savePath = QString::fromStdString((folder / "result.csv").native());
    std::filesystem::remove(folder / "result.csv");

    ScriptedDesktop desktop(savePath);
    rowtick::Form1 window(desktop);
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    auto* targets = window.findChild<QListView*>(QStringLiteral("lstFileName"));
    auto* results = window.findChild<QListView*>(QStringLiteral("List1"));
    std::printf("%-22s %9.1f MiB resident before the drop\n", "window shown", PeakMiB());

    QElapsedTimer clock;
    ResetPeak();
    clock.start();
    {
        RawDropData data(std::exchange(uriList, QByteArray()));
        QWidget* viewport = targets->viewport();
        const QPoint pos = viewport->rect().center();
        QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        QCoreApplication::processEvents();
    }
    Report("drop", clock, std::to_string(targets->model()->rowCount() - 1) + " targets");

    ResetPeak();
    clock.restart();
    window.findChild<QAbstractButton*>(QStringLiteral("Command2"))->click();
    QCoreApplication::processEvents();
    Report("counting run", clock, std::to_string(results->model()->rowCount()) + " rows");

    ResetPeak();
    clock.restart();
    window.findChild<QAbstractButton*>(QStringLiteral("Command3"))->click();
    QCoreApplication::processEvents();
    std::error_code error;
    const auto size = std::filesystem::file_size(folder / "result.csv", error);
    Report("save", clock,
           std::to_string(error ? 0 : size) + " bytes, told: " + desktop.lastMessage.split('\n').last().toStdString());
    std::printf("%-22s %9s    peak %7.1f MiB\n", "whole run", "", gRunPeak);
    return results->model()->rowCount() == count && !error ? 0 : 1;
}
