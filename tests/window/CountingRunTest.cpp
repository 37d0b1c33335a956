// The counting button on long runs: rows in target order from the workers,
// the progress dialog and its cancel button, input refused mid-run, the busy
// cursor, and closing the window in the middle of a run.
//
// A run is made to last by holding one target in the counter until the test
// lets it go, so nothing here depends on how fast the machine counts.
#include <QAbstractButton>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "CountingRun.h"
#include "LineCounter.h"
#include "WindowTestSupport.h"

using namespace rowtick::testing;

namespace {

// Counts as the program does, but stops at one target until released.
class HeldTarget {
public:
    explicit HeldTarget(std::filesystem::path held) { state_->held = std::move(held); }
    ~HeldTarget() { release(); }

    rowtick::CountingJob::Counter counter() const
    {
        return [state = state_](const std::filesystem::path& path) {
            const bool held = path == state->held;
            if (held)
                state->waitFor(state->open);
            rowtick::LineCount count = rowtick::CountLines(path);
            if (held)
                state->set(state->left);
            return count;
        };
    }
    void release() { state_->set(state_->open); }
    // Waits until the worker holding the target has counted it and moved on.
    void waitUntilLeft() { state_->waitFor(state_->left); }

private:
    struct State {
        std::filesystem::path held;
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
        bool left = false;

        void set(bool& flag)
        {
            std::lock_guard lock(mutex);
            flag = true;
            changed.notify_all();
        }
        void waitFor(const bool& flag)
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return flag; });
        }
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Records every progress dialog that is shown.
class ProgressShowSpy final : public QObject {
public:
    ProgressShowSpy() { qApp->installEventFilter(this); }
    ~ProgressShowSpy() override { qApp->removeEventFilter(this); }
    int shown = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QProgressDialog*>(watched))
            ++shown;
        return false;
    }
};

QString Native(const std::filesystem::path& path)
{
#ifdef _WIN32
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

}  // namespace

class CountingRunTest : public QObject, WindowFixture {
    Q_OBJECT

private slots:
    void init() { openWindow(); }
    void cleanup()
    {
        hold_.reset();  // lets a held worker finish before its files go
        closeWindow();
    }

    void rowsMatchOneWorkerRun_data();
    void rowsMatchOneWorkerRun();
    void cancelKeepsRowsBeforeFirstUncounted_data();
    void cancelKeepsRowsBeforeFirstUncounted();
    void inputIsRefusedMidRun_data();
    void inputIsRefusedMidRun();
    void closingMidRunEndsProgram_data();
    void closingMidRunEndsProgram();

private:
    QProgressDialog* visibleProgress() const
    {
        auto* dialog = form_->findChild<QProgressDialog*>();
        return dialog && dialog->isVisible() ? dialog : nullptr;
    }
    bool progressShowsRows(int rows) const { return visibleProgress() && results()->count() == rows; }

    // Files, a folder, a missing file, an empty file and a duplicate.
    QStringList mixedTargets(int files) const;
    // The rows and tooltips a one-at-a-time run gives for the window's targets.
    rowtick::ResultList expectedRows(QStringList& rows, QStringList& toolTips) const;

    // Presses the count button; `action` runs once inside the run, as soon as
    // `ready` holds (the click does not return before the run ends, so this
    // polls from a timer). Returns whether the action ran.
    bool countWhile(const std::function<bool()>& ready, const std::function<void()>& action);
    // Holds the target at `index`, which must be that path's first place in
    // the list: the counter holds a path, and the run stops at its first row.
    void hold(int index)
    {
        const std::vector<std::filesystem::path>& all = form_->targets().targets();
        const std::filesystem::path& path = all.at(static_cast<std::size_t>(index));
        QCOMPARE(std::find(all.begin(), all.end(), path) - all.begin(), index);
        hold_ = std::make_unique<HeldTarget>(path);
        form_->setLineCounter(hold_->counter());
    }

    std::unique_ptr<HeldTarget> hold_;
};

QStringList CountingRunTest::mixedTargets(int files) const
{
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        paths.append(file(QStringLiteral("f%1.c").arg(i), QByteArray("x\r\ny\n").repeated(i % 7)));
        if (i % 5 == 1)
            paths.append(dir_->filePath(QStringLiteral("missing%1.c").arg(i)));
        if (i % 5 == 3)
            paths.append(dir_->path());
        if (i % 9 == 4)
            paths.append(paths.first());
    }
    return paths;
}

rowtick::ResultList CountingRunTest::expectedRows(QStringList& rows, QStringList& toolTips) const
{
    rowtick::ResultList expected;
    rowtick::RunCount(form_->targets(), expected);
    for (const rowtick::ResultRow& row : expected.rows()) {
        rows.append(QString::fromStdString(row.countText()) + QStringLiteral(",\t") + Native(row.path));
        toolTips.append(QString::fromStdString(row.reason));
    }
    return expected;
}

bool CountingRunTest::countWhile(const std::function<bool()>& ready,
                                 const std::function<void()>& action)
{
    bool ran = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (ran || !ready())
            return;
        ran = true;
        poll.stop();
        action();
    });
    poll.start(5);
    click("Command2");
    return ran;
}

void CountingRunTest::rowsMatchOneWorkerRun_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("held");  // index of the held target; -1: none
    QTest::addColumn<bool>("progressShown");
    QTest::newRow("mixed targets: quick, no dialog") << 60 << -1 << false;
    QTest::newRow("long run: rows before, under and after the dialog") << 300 << 150 << true;
    QTest::newRow("long run held at the first target") << 40 << 0 << true;
}

void CountingRunTest::rowsMatchOneWorkerRun()
{
    QFETCH(int, files);
    QFETCH(int, held);
    QFETCH(bool, progressShown);
    const QStringList paths = mixedTargets(files);
    dropFiles(paths);
    if (held >= 0)
        hold(held);
    if (QTest::currentTestFailed())
        return;

    const ProgressShowSpy spy;
    bool busy = false;
    const bool ran = countWhile([&] { return visibleProgress() != nullptr; }, [&] {
        busy = BusyCursorShows();
        if (hold_)
            hold_->release();
    });
    QCOMPARE(ran, progressShown);
    QCOMPARE(busy, progressShown);
    QCOMPARE(spy.shown > 0, progressShown);
    QCOMPARE(visibleProgress(), nullptr);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    QStringList rows, toolTips;
    const rowtick::ResultList oneAtATime = expectedRows(rows, toolTips);
    QCOMPARE(rows.size(), paths.size());
    QCOMPARE(Rows(results()), rows);
    QCOMPARE(Rows(results(), Qt::ToolTipRole), toolTips);
    QVERIFY(toolTips.count(QString()) < toolTips.size());  // the list holds uncountable targets
    QCOMPARE(form_->results().rowCount(), oneAtATime.rowCount());
    for (std::int64_t i = 0; i < oneAtATime.rowCount(); ++i)
        QCOMPARE(form_->results().row(i).bytes(), oneAtATime.row(i).bytes());
}

void CountingRunTest::cancelKeepsRowsBeforeFirstUncounted_data()
{
    QTest::addColumn<int>("held");
    QTest::addColumn<bool>("earlierRun");
    QTest::newRow("held at the first target: nothing is appended") << 0 << false;
    QTest::newRow("held in the middle: the rows before it stay") << 6 << false;
    QTest::newRow("held at the last target") << -1 << false;
    QTest::newRow("rows of an earlier run stay untouched") << 4 << true;
}

void CountingRunTest::cancelKeepsRowsBeforeFirstUncounted()
{
    QFETCH(int, held);
    QFETCH(bool, earlierRun);
    const QStringList paths = mixedTargets(12);
    dropFiles(paths);
    if (held < 0)
        held = static_cast<int>(paths.size()) - 1;
    QStringList all, allTips;
    expectedRows(all, allTips);

    QStringList before;
    if (earlierRun) {
        click("Command2");
        before = Rows(results());
        QCOMPARE(before, all);
    }
    const qsizetype first = before.size();

    hold(held);
    if (QTest::currentTestFailed())
        return;
    QString label;
    QString cancelText;
    bool busy = false;
    const bool ran = countWhile([&] { return progressShowsRows(first + held); }, [&] {
        QProgressDialog* dialog = visibleProgress();
        label = dialog->labelText();
        busy = BusyCursorShows();
        auto* cancel = dialog->findChild<QPushButton*>();
        QVERIFY(cancel);
        cancelText = cancel->text();
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    QVERIFY(ran);
    QCOMPARE(label, QStringLiteral("カウント中… %1 / %2\n%3").arg(held).arg(paths.size()).arg(QDir::toNativeSeparators(paths.at(held))));
    QCOMPARE(cancelText, QStringLiteral("キャンセル"));
    QVERIFY(busy);

    const QStringList kept = before + all.mid(0, held);
    QCOMPARE(Rows(results()), kept);
    QCOMPARE(form_->results().rowCount(), kept.size());
    QCOMPARE(Rows(results(), Qt::ToolTipRole).mid(first), allTips.mid(0, held));
    QCOMPARE(visibleProgress(), nullptr);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // The held target is counted after all: its row must not turn up late.
    hold_->release();
    hold_->waitUntilLeft();
    QCoreApplication::processEvents();
    QCOMPARE(Rows(results()), kept);
    QCOMPARE(form_->results().rowCount(), kept.size());
}

void CountingRunTest::inputIsRefusedMidRun_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<bool>("underDialog");
    QTest::newRow("drop on the target list, before the dialog shows") << "drop" << false;
    QTest::newRow("drop on the target list, under the dialog") << "drop" << true;
    QTest::newRow("count button clicked again, before the dialog") << "count" << false;
    QTest::newRow("count button clicked again, under the dialog") << "count" << true;
    QTest::newRow("count button pressed by accessibility") << "count pressed" << true;
    QTest::newRow("space key on the focused count button") << "space" << false;
    QTest::newRow("save button") << "save" << true;
    QTest::newRow("exit button clicked") << "exit" << true;
    QTest::newRow("target heading: mode switch") << "heading" << true;
    QTest::newRow("status panel click and double click") << "panel" << true;
    QTest::newRow("double click on a target") << "target" << true;
    QTest::newRow("diamond: minimise") << "diamond" << false;
    QTest::newRow("mail address") << "mail" << true;
}

void CountingRunTest::inputIsRefusedMidRun()
{
    QFETCH(QString, gesture);
    QFETCH(bool, underDialog);
    const QStringList paths = mixedTargets(4);
    dropFiles(paths);
    statusBar()->setPanelText(0, QStringLiteral("before"));
    statusBar()->setPanelText(1, QStringLiteral("before"));
    QStringList all, allTips;
    expectedRows(all, allTips);
    const QStringList targetRows = Rows(targets());
    const QSize size = form_->size();
    const QList<QUrl> another = FileUrls({file(QStringLiteral("another.c"), "1\n")});

    hold(1);
    if (QTest::currentTestFailed())
        return;
    int dropAccepted = -1;
    const bool ran = countWhile([&] { return !underDialog || visibleProgress(); }, [&] {
        // Let go first: the run still lasts until the window has taken its
        // rows, and a handler that wrongly runs now ends instead of hanging.
        hold_->release();
        if (gesture == "drop") {
            dropAccepted = Drop(targets()->viewport(), another);
        } else if (gesture == "count") {
            click("Command2");
        } else if (gesture == "count pressed") {
            control<QAbstractButton>("Command2")->click();
        } else if (gesture == "space") {
            QTest::keyClick(control("Command2"), Qt::Key_Space);
        } else if (gesture == "save") {
            click("Command3");
        } else if (gesture == "exit") {
            click("cmdEnd");
        } else if (gesture == "heading") {
            click("Label1");
        } else if (gesture == "panel") {
            const QPoint panel = statusBar()->panelRect(0).center();
            QTest::mouseClick(statusBar(), Qt::LeftButton, {}, panel);
            QTest::mouseDClick(statusBar(), Qt::LeftButton, {}, panel);
        } else if (gesture == "target") {
            doubleClickRow(targets(), 1);
        } else if (gesture == "diamond") {
            click("Image1");
        } else if (gesture == "mail") {
            click("Label5");
        }
    });
    QVERIFY(ran);

    if (gesture == "drop")
        QCOMPARE(dropAccepted, 0);
    QCOMPARE(Rows(targets()), targetRows);
    QCOMPARE(form_->targets().registeredCount(), paths.size());
    QCOMPARE(Rows(results()), all);  // one run's rows, once
    QCOMPARE(form_->size(), size);
    QVERIFY(form_->isVisible());
    QVERIFY(!(form_->windowState() & Qt::WindowMinimized));
    QCOMPARE(statusBar()->panelText(0), QStringLiteral("before"));
    QCOMPARE(statusBar()->panelText(1), QStringLiteral("before"));
    QCOMPARE(targets()->currentRow(), -1);
    QCOMPARE(desktop_->dialogsShown, 0);
    QVERIFY(desktop_->openedUrls.isEmpty());

    // Once the run is over the window takes input again.
    QCOMPARE(Drop(targets()->viewport(), another), 3);
    QCOMPARE(form_->targets().registeredCount(), paths.size() + 1);
}

void CountingRunTest::closingMidRunEndsProgram_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("underDialog");
    QTest::newRow("frame's close button, before the dialog shows") << "close" << false;
    QTest::newRow("frame's close button, under the dialog") << "close" << true;
    QTest::newRow("exit button pressed by accessibility, under the dialog") << "exit" << true;
}

void CountingRunTest::closingMidRunEndsProgram()
{
    QFETCH(QString, how);
    QFETCH(bool, underDialog);
    const QStringList paths = mixedTargets(6);
    dropFiles(paths);
    // Held for good: closing must not wait for this worker.
    hold(3);
    if (QTest::currentTestFailed())
        return;

    // The application's own event loop, as the program runs it: it must end
    // when the window closes, with the run's loop inside it unwound.
    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
    int rowsAtClose = -1;
    bool ran = false;
    bool busy = false;
    QTimer::singleShot(0, this, [&] {
        ran = countWhile([&] { return !underDialog || progressShowsRows(3); }, [&] {
            rowsAtClose = results()->count();
            busy = BusyCursorShows();
            if (how == "close")
                form_->close();
            else
                control<QAbstractButton>("cmdEnd")->click();
        });
    });
    QCOMPARE(QApplication::exec(), 0);

    QVERIFY(ran);
    QVERIFY(busy);
    QVERIFY(!form_->isVisible());
    QCOMPARE(lastWindowClosed.count(), 1);
    QCOMPARE(results()->count(), rowsAtClose);
    QCOMPARE(form_->results().rowCount(), rowsAtClose);
    QCOMPARE(visibleProgress(), nullptr);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

ROWTICK_WINDOW_TEST_MAIN(CountingRunTest)

#include "CountingRunTest.moc"
