// The main window as the user meets it, headless, on a desktop that only records.
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QAccessible>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <optional>
#include <sstream>
#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <QProcess>
#ifdef ROWTICK_WITH_DBUS
#include <QDBusConnectionInterface>

#include "ApplicationService.h"
#endif
#include "CommandLine.h"
#include "counting/CountingRun.h"
#include "Desktop.h"
#include "Form1.h"
#include "Module1.h"
#include "PanelStatusBar.h"
#include "Startup.h"
#include "TabStopDelegate.h"

using namespace rowtick;

namespace {

const QString kHint = QStringLiteral("ここにファイルを投げて下さい！");

// A path the test made as the window shows it: on Windows with backslashes.
QString Shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QStringList Shown(const QStringList& paths)
{
    QStringList shown;
    for (const QString& path : paths)
        shown.append(Shown(path));
    return shown;
}

// Records URLs and messages, says Yes to questions; the save dialog picks `savePath` or cancels.
struct RecordingDesktop final : Desktop {
    struct Message {
        QString title, text;
        QMessageBox::Icon icon;
        bool operator==(const Message&) const = default;
    };
    QString savePath;
    QString dialogFolder;  // where the save dialog opened
    QList<QUrl> openedUrls;
    QList<Message> messages;

    int exec(QDialog& dialog) override
    {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            if (box->standardButtons().testFlag(QMessageBox::Yes))
                return QMessageBox::Yes;  // replace the existing file
            messages.append({box->windowTitle(), box->text(), box->icon()});
            return QMessageBox::Ok;
        }
        auto& files = static_cast<QFileDialog&>(dialog);
        dialogFolder = files.directory().absolutePath();
        files.selectFile(savePath);
        if (savePath.isEmpty())
            dialog.reject();
        else
            dialog.accept();
        return dialog.result();
    }
    bool opens = true;  // false: as where nothing opens a file or address
    bool openUrl(const QUrl& url) override
    {
        openedUrls.append(url);
        return opens;
    }
};

// The counter stops at `path` until `open` is released, however fast the machine.
struct Hold {
    std::filesystem::path path;
    QSemaphore open, left;
};

// A drag-and-drop of `data` from another application: how many of its 3 events were accepted.
int Drop(QWidget* target, QMimeData& data)
{
    const QPoint pos = target->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDragMoveEvent move(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    for (QEvent* event : std::initializer_list<QEvent*>{&enter, &move, &drop})
        QApplication::sendEvent(target, event);
    return int(enter.isAccepted()) + int(move.isAccepted()) + int(drop.isAccepted());
}

#ifndef _WIN32
// Pointers to the strings' bytes, ending with a null pointer, as `main` and execve take them.
std::vector<char*> Pointers(QByteArrayList& strings)
{
    std::vector<char*> pointers;
    for (QByteArray& string : strings)
        pointers.push_back(string.data());
    pointers.push_back(nullptr);
    return pointers;
}
#endif

int Drop(QWidget* target, const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    QMimeData data;
    if (urls.isEmpty())
        data.setText(QStringLiteral("some text"));
    else
        data.setUrls(urls);
    return Drop(target, data);
}

QStringList Rows(const QListView* list, int role = Qt::DisplayRole)
{
    QStringList rows;
    const QAbstractItemModel* model = list->model();
    for (int i = 0; i < model->rowCount(); ++i)
        rows.append(model->index(i, 0).data(role).toString());
    return rows;
}

// A result list's rows as the core writes them.
QStringList RowTexts(const ResultList& list)
{
    QStringList rows;
    for (std::int64_t i = 0; i < list.rowCount(); ++i)
        rows.append(DisplayText(list.row(i)));
    return rows;
}

// What assistive technology reads from row `row` of a list.
QString AccessibleRowText(QListView* list, int row, QAccessible::Text text)
{
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(list);
    QAccessibleInterface* cell = view->tableInterface()->cellAt(row, 0);
    return cell ? cell->text(text) : QStringLiteral("<no cell>");
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>";
}

#ifndef _WIN32
// The program itself, started in `folder` with the arguments' very bytes and
// the environment changed by `environment` ("NAME=VALUE" sets, "NAME" removes),
// its error output into `errorFile` when one is named.
struct Program {
    pid_t pid = -1;
    int status = -1;

    Program(QByteArrayList arguments, const QByteArray& folder, const QStringList& changes,
            const QByteArray& executable = ROWTICK_PROGRAM, const QByteArray& errorFile = {})
    {
        arguments.prepend(executable);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PWD"), QFile::decodeName(folder));
        for (const QString& change : changes) {
            if (change.contains('='))
                environment.insert(change.section('=', 0, 0), change.section('=', 1));
            else
                environment.remove(change);
        }
        QByteArrayList variables;
        for (const QString& variable : environment.toStringList())
            variables.append(variable.toUtf8());
        const std::vector<char*> argv = Pointers(arguments);
        const std::vector<char*> envp = Pointers(variables);
        pid = ::fork();
        if (pid == 0) {
            if (!errorFile.isEmpty())
                ::dup2(::open(errorFile.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600), 2);
            if (::chdir(folder.constData()) == 0)
                ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
    }
    ~Program()
    {
        if (running()) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
    }
    bool running() { return pid > 0 && status == -1 && ::waitpid(pid, &status, WNOHANG) == 0; }
    // Its exit status once it ended within `ms`, serving this program's events
    // meanwhile; -1 while it still runs, 128 + N when killed by signal N.
    int exitStatus(int ms)
    {
        if (!QTest::qWaitFor([this] { return !running(); }, ms))
            return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

#endif

#ifdef ROWTICK_WITH_DBUS
// A session bus of the test's own, so that no other program's window answers.
struct PrivateBus {
    QTemporaryDir folder;
    QByteArray address = "unix:path=" + QFile::encodeName(folder.filePath(QStringLiteral("bus")));
    // Started by a plain fork, like the program itself: ThreadSanitizer cannot
    // follow QProcess's way of starting a process.
    Program daemon{{"--session", "--nofork", "--address=" + address}, QFile::encodeName(folder.path()), {},
                   "/usr/bin/dbus-daemon"};
    QDBusConnection connection{QString()};

    PrivateBus()
    {
        // The socket's name shows before the daemon listens on it: try until it answers.
        (void)QTest::qWaitFor([this] {  // whoever uses the bus sees whether it answered
            QDBusConnection::disconnectFromBus(QStringLiteral("private"));
            connection = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("private"));
            return connection.isConnected();
        }, 10000);
    }
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("private"));
    }
    bool owned() const { return connection.interface()->isServiceRegistered(QStringLiteral("example.hv.Rowtick")); }
    QString variable() const { return "DBUS_SESSION_BUS_ADDRESS=" + QString::fromUtf8(address); }
    // The windows that hold the name or wait in line for it.
    qsizetype windows() const
    {
        const QDBusMessage reply = connection.call(QDBusMessage::createMethodCall(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListQueuedOwners") << QStringLiteral("example.hv.Rowtick"));
        return reply.arguments().value(0).toStringList().size();
    }
};
#endif

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

    template <class T = QWidget>
    T* control(const QString& name) const { return form_->findChild<T*>(name); }
    QListView* targets() const { return control<QListView>("lstFileName"); }
    QListView* results() const { return control<QListView>("List1"); }
    PanelStatusBar* status() const { return control<PanelStatusBar>("STS"); }
    void click(const QString& name) const { QTest::mouseClick(control(name), Qt::LeftButton); }
    QString file(const QString& name, const QByteArray& content = "x\n") const
    {
        std::ofstream(PathFromText(dir_->filePath(name)), std::ios::binary) << content.toStdString();
        return dir_->filePath(name);
    }
    QByteArray dirBytes() const { return QFile::encodeName(dir_->path()); }
    void dropFiles(const QStringList& paths) const { QCOMPARE(Drop(targets()->viewport(), paths), 3); }
    void clickTarget(int row, bool twice = false) const  // near the left end: long rows overflow
    {
        const QRect rect = targets()->visualRect(targets()->model()->index(row, 0));
        QTest::mouseClick(targets()->viewport(), Qt::LeftButton, {}, {rect.left() + 5, rect.center().y()});
        if (twice)  // as the platform delivers it: after the first click's press
            QTest::mouseDClick(targets()->viewport(), Qt::LeftButton, {}, {rect.left() + 5, rect.center().y()});
    }

    QStringList mixedTargets(int files) const  // files, missing files, the folder, a duplicate
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
    QStringList oneWorkerRows() const  // the rows a one-at-a-time run gives
    {
        ResultList expected;
        RunCount(form_->targets(), expected);
        return RowTexts(expected);
    }
    qsizetype hold(const QStringList& paths, const QString& path)  // returns its place in `paths`
    {
        hold_ = std::make_shared<Hold>();
        hold_->path = PathFromText(path);
        form_->setLineCounter([h = hold_](const std::filesystem::path& p, const std::atomic<bool>* stop) {
            if (p == h->path)
                h->open.acquire();
            LineCount count = CountLines(p, stop);
            if (p == h->path)
                h->left.release();
            return count;
        });
        return paths.indexOf(path);
    }
    QProgressDialog* progress() const
    {
        auto* dialog = form_->findChild<QProgressDialog*>();
        return dialog && dialog->isVisible() ? dialog : nullptr;
    }
    bool countWhile(const std::function<bool()>& ready, const std::function<void()>& action)
    {
        bool ran = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (ran || !ready())
                return;
            ran = true;
            action();
        });
        poll.start(5);
        click("Command2");  // returns when the run is over; `action` ran in it once `ready` held
        return ran;
    }

private slots:
    void init()
    {
        desktop_ = std::make_unique<RecordingDesktop>();
        form_ = std::make_unique<Form1>(*desktop_);
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid() && QDir::setCurrent(dir_->path()));
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup()
    {
        if (hold_)
            hold_->open.release();  // a held worker finishes before its files go
        form_.reset();
        hold_.reset();
        QDir::setCurrent(QDir::tempPath());
        std::error_code ignored;  // by bytes: QDir cannot remove names that are not UTF-8
        std::filesystem::remove_all(PathFromText(dir_->path()), ignored);
    }


    void modes_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<int>("height");
        QTest::newRow("status bar click: expanded") << "click" << 187;
        QTest::newRow("status bar double click ends compact") << "double" << 125;
        QTest::newRow("heading click while maximised: compact at the former place") << "maximised" << 125;
    }
    void modes()
    {
        QFETCH(QString, gesture);
        QFETCH(int, height);
        dropFiles({file("a.txt")});
        status()->setPanelText(1, QString());  // only the mode switch may write it now
        const QPoint position = form_->pos();
        const QPoint panel = status()->panelRect(1).center();

        if (gesture == "maximised") {
            form_->showMaximized();
            QTRY_VERIFY(form_->isMaximized() && form_->width() > 408);
            click("Label1");
        } else {
            QTest::mouseClick(status(), Qt::LeftButton, {}, panel);
        }
        if (gesture == "double")
            QTest::mouseDClick(status(), Qt::LeftButton, {}, panel);

        QTRY_COMPARE(form_->size(), QSize(408, height));
        QCOMPARE(form_->pos(), position);
        QCOMPARE(status()->panelText(1), QStringLiteral("登録数=1"));
        QCOMPARE(status()->geometry().bottom(), height - 1);  // the bar stays in sight
    }
    void startUpAndDrops()
    {
        for (QWidget* widget : form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(widget->isVisible(), qPrintable(widget->objectName()));  // the list is laid out after the map
        QCOMPARE(results()->model()->rowCount(), 0);
        QCOMPARE(status()->panelText(0) + status()->panelText(1), QString());
        QCOMPARE(form_->focusWidget(), control("Command2"));

        Drop(results()->viewport(), {file("a.txt")});
        QCOMPARE(Rows(targets()), QStringList{kHint});
        QCOMPARE(status()->panelText(1), QString());

        QCOMPARE(Drop(targets()->viewport(), {}), 3);  // dragged text: no files, the count still shows
        QCOMPARE(status()->panelText(1), QStringLiteral("登録数=0"));

        const QString folder = QStringLiteral("projects/rowtick-example/src/components/widgets");
        QVERIFY(QDir(dir_->path()).mkpath(folder));
        const QStringList paths{file("c.txt"), file("計算 表 gjpq.bas"), file(folder + "/MainWindow.cpp")};
        dropFiles(paths);
        QCOMPARE(Rows(targets()), QStringList{kHint} + Shown(paths));
        auto* panel1 = status()->findChild<QLabel*>("panel1");
        QCOMPARE(status()->panelText(0), Shown(paths.last()));  // too long: shortened in the middle, whole in the tip
        QVERIFY(panel1->text().contains(QChar(0x2026)));
        QCOMPARE(panel1->toolTip(), Shown(paths.last()));
        QCOMPARE(panel1->accessibleDescription(), Shown(paths.last()));
        QCOMPARE(status()->findChild<QLabel*>("panel2")->text(), QStringLiteral("登録数=3"));
        QVERIFY(status()->rect().contains(status()->panelRect(1)));  // the count still in the bar
        targets()->setFocus(Qt::TabFocusReason);
        QCOMPARE(status()->panelText(0), Shown(paths.last()));  // the focus selects nothing
        clickTarget(2);
        QCOMPARE(status()->panelText(0), QStringLiteral("計算 表 gjpq.bas"));
        QCOMPARE(panel1->text(), status()->panelText(0));  // short: shown whole, no tip
        QCOMPARE(panel1->toolTip(), QString());
        // The bar is one line tall: the text must fit it, descenders and all.
        QVERIFY(panel1->contentsRect().height() - 2 * panel1->margin() >= panel1->fontMetrics().height());
        clickTarget(0);
        QCOMPARE(status()->panelText(0), QString());
    }
    void keysAndPresses_data()
    {
        // `key`: pressed on the control, focused, or 0: the control pressed by assistive technology,
        // which the keyboard never focuses; `outcome`: "counted", "closed", "opened", "compact",
        // "minimised", a URL opened, or "nothing".
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("row");  // the target row clicked first, or -1
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("Return on the count button counts") << "Command2" << -1 << int(Qt::Key_Return) << "counted";
        QTest::newRow("Enter on the count button counts") << "Command2" << -1 << int(Qt::Key_Enter) << "counted";
        QTest::newRow("Return on the end button ends") << "cmdEnd" << -1 << int(Qt::Key_Return) << "closed";
        QTest::newRow("Return on a target row opens it") << "lstFileName" << 1 << int(Qt::Key_Return) << "opened";
        QTest::newRow("Return on the hint row does nothing") << "lstFileName" << 0 << int(Qt::Key_Return) << "nothing";
        QTest::newRow("target heading pressed") << "Label1" << -1 << 0 << "compact";
        QTest::newRow("result heading pressed") << "Label2" << -1 << 0 << "https://hv.example/rowtick/";
        QTest::newRow("mail address pressed") << "Label5" << -1 << 0 << "mailto:mail@hv.example";
        QTest::newRow("diamond pressed") << "Image1" << -1 << 0 << "minimised";
    }
    void keysAndPresses()
    {
        QFETCH(QString, name);
        QFETCH(int, row);
        QFETCH(int, key);
        QFETCH(QString, outcome);
        const QString path = file("a.txt");
        dropFiles({path});
        if (row >= 0)
            clickTarget(row);
        const int height = form_->height();
        QAccessibleActionInterface* actions = QAccessible::queryAccessibleInterface(control(name))->actionInterface();
        if (key == 0) {
            QVERIFY(actions && actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
            QCOMPARE(control(name)->focusPolicy(), Qt::NoFocus);
            actions->doAction(QAccessibleActionInterface::pressAction());
        } else {
            control(name)->setFocus();
            QTest::keyClick(control(name), Qt::Key(key));
        }

        QCOMPARE(Rows(results()), outcome == "counted" ? QStringList{"1,\t" + Shown(path)} : QStringList{});
        const QList<QUrl> opened = outcome == "opened" ? QList{QUrl::fromLocalFile(path)} : outcome.contains(':') ? QList{QUrl(outcome)} : QList<QUrl>{};
        QCOMPARE(desktop_->openedUrls, opened);
        QCOMPARE(form_->isVisible(), outcome != "closed");
        QTRY_COMPARE(form_->height() < height, outcome == "compact");
        QTRY_COMPARE(form_->isMinimized(), outcome == "minimised");
    }
    // A path too long for its list loses its middle: the count and the file's name stay in sight.
    void longPathKeepsItsName()
    {
        const QString path = "/src/" + QString(300, u'x') + "/main.bas";
        const QFontMetricsF metrics(results()->font());
        const QList<qreal> stops = TabStopPixels({20, 50, 70}, results()->font());
        for (const QString& row : {"120,\t" + path, path}) {
            const QString shown = ElidedAfterTab(row, metrics, stops, results()->viewport()->width(), results()->textElideMode());
            QVERIFY2(shown.endsWith("/main.bas") && shown.contains(u'\u2026'), qPrintable(shown));
            QVERIFY(shown.startsWith(row.left(row.indexOf('/') + 5)));
        }
    }
    void nothingOpensTheMailAddress()
    {
        desktop_->opens = false;
        QAccessible::queryAccessibleInterface(control("Label5"))->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(desktop_->openedUrls.size(), 1);
        QCOMPARE(status()->panelText(0), QStringLiteral("開くためのプログラムが見つかりません"));
    }
    void counting()
    {
        const QStringList paths{file("two.txt", "a\r\nb"), dir_->path(), dir_->filePath("gone.txt"), file("five.bas", "1\n2\n3\n4\n5\n")};
        dropFiles(paths);
        click("Command2");
        const QStringList shown = Shown(paths);
        const QStringList once{"2,\t" + shown[0], "-,\t" + shown[1], "-,\t" + shown[2], "5,\t" + shown[3]};
        QCOMPARE(Rows(results()), once);
        const QStringList reasons{"", "フォルダです", "ファイルが見つかりません", ""};
        const QStringList tips{shown[0], shown[1] + "\nフォルダです", shown[2] + "\nファイルが見つかりません", shown[3]};
        QCOMPARE(Rows(results(), Qt::ToolTipRole), tips);
        QCOMPARE(Rows(targets(), Qt::ToolTipRole), QStringList{""} + shown);
        for (int row = 0; row < reasons.size(); ++row)
            QCOMPARE(AccessibleRowText(results(), row, QAccessible::Description), reasons[row]);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        click("Command2");  // the list is never cleared, and follows the newest row
        click("Command2");
        QCOMPARE(Rows(results()), once + once + once);
        QVERIFY(results()->viewport()->rect().contains(results()->visualRect(results()->model()->index(11, 0))));
        results()->scrollToTop();  // the user scrolls away: the list stays there
        click("Command2");
        QVERIFY(results()->viewport()->rect().contains(results()->visualRect(results()->model()->index(0, 0))));
    }
    void runByTheWorkers_data()
    {
        // `heldFile`: the target the count stops at until the run is cancelled, or until it is let go; `handedOver`:
        // during the run a second start of the program hands this window a file, which is added once the run ends.
        QTest::addColumn<int>("files");
        QTest::addColumn<QString>("heldFile");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<bool>("handedOver");
        QTest::newRow("300 targets in batches, the rows of a one-at-a-time run") << 300 << "f150.c" << false << false;
        QTest::newRow("cancelled: the rows before the held target") << 12 << "f6.c" << true << false;
#ifdef ROWTICK_WITH_DBUS
        QTest::newRow("a file handed over by a second start") << 6 << "f3.c" << false << true;
#endif
    }
    void runByTheWorkers()  // a drop during the run is refused
    {
        QFETCH(int, files);
        QFETCH(QString, heldFile);
        QFETCH(bool, cancelled);
        QFETCH(bool, handedOver);
        const QStringList paths = mixedTargets(files);
        dropFiles(paths);
        const QStringList all = oneWorkerRows();
        const qsizetype held = hold(paths, dir_->filePath(heldFile));
        const QStringList expected = cancelled ? all.mid(0, held) : all;
        const QStringList another{file("another.c")};
#ifdef ROWTICK_WITH_DBUS
        PrivateBus bus;
        ApplicationService service(*form_);  // leaves the bus before the bus goes, as the program's window does
        service.publish(bus.connection);
        QTRY_VERIFY(bus.owned());
#endif
        Qt::CursorShape cursor = Qt::ArrowCursor;
        QString barName;
        int accepted = -1;
        QStringList during;
        QVERIFY(countWhile([&] { return progress() && results()->model()->rowCount() == held; }, [&] {
            if (QGuiApplication::overrideCursor())
                cursor = QGuiApplication::overrideCursor()->shape();
            barName = progress()->findChild<QProgressBar*>()->accessibleName();
#ifdef ROWTICK_WITH_DBUS
            if (handedOver)  // answered at once
                accepted = Program({"another.c"}, dirBytes(), {"QT_QPA_PLATFORM=offscreen", bus.variable()}).exitStatus(30000);
#endif
            if (!handedOver)
                accepted = Drop(targets()->viewport(), another);
            during = Rows(targets());
            if (cancelled)
                QTest::mouseClick(progress()->findChild<QPushButton*>(), Qt::LeftButton);
            else
                hold_->open.release();
        }));
        QCOMPARE(cursor, Qt::WaitCursor);
        QCOMPARE(barName, QStringLiteral("カウントの進み具合"));
        QCOMPARE(accepted, 0);
        QCOMPARE(during, QStringList{kHint} + Shown(paths));  // the running count's targets untouched
        QCOMPARE(Rows(targets()), QStringList{kHint} + Shown(paths) + (handedOver ? Shown(another) : QStringList{}));
        QCOMPARE(status()->panelText(0), Rows(targets()).last());
        QCOMPARE(status()->panelText(1), QStringLiteral("登録数=%1").arg(Rows(targets()).size() - 1));
        QCOMPARE(Rows(results()), expected);

        hold_->open.release();  // counted after all, its row must not turn up late
        hold_->left.acquire();
        QCoreApplication::processEvents();
        QCOMPARE(Rows(results()), expected);
        QCOMPARE(RowTexts(form_->results()), expected);  // what a save writes
        QCOMPARE(progress(), nullptr);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QCOMPARE(Drop(targets()->viewport(), another), 3);  // taken again once the run is over
    }
#ifndef _WIN32
    // Names as a POSIX file system holds them: bytes that are not UTF-8, a line
    // break, a NUL. (Windows names are UTF-16: savedInTheSystemCodePage.)
    void namesSavedAndOpenedByteForByte_data()
    {
        // `field`: the path as the window shows and the result file holds it; `reason`: why it is not counted.
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("reason");
        QTest::newRow("plain") << QByteArray("plain.txt") << QByteArray("<dir>/plain.txt") << "";
        QTest::newRow("Shift-JIS bytes, not UTF-8") << QByteArray("\x83\x65\x83\x58\x83\x67.c") << QByteArray("<dir>/\x83\x65\x83\x58\x83\x67.c") << "";
        QTest::newRow("a line break") << QByteArray("two\nlines.c") << QByteArray("$'<dir>/two\\nlines.c'") << "";
        QTest::newRow("a leading dash and $(...)") << QByteArray("-$(touch pwned).c") << QByteArray("<dir>/-$(touch pwned).c") << "";
        QTest::newRow("a raw NUL: kept as dropped, never opened") << (QByteArray("host") + '\0' + ".txt") << QByteArray("$'<dir>/host\\x00.txt'")
                                                                   << "ファイル名に使えない文字が含まれています";
    }
    void namesSavedAndOpenedByteForByte()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, field);
        QFETCH(QString, reason);
        const QByteArray dir = dirBytes();
        const QByteArray path = dir + '/' + name;
        if (reason.isEmpty())
            QVERIFY(bool(std::ofstream(path.toStdString(), std::ios::binary) << "first\r\nsecond\r\n"));
        field.replace("<dir>", dir);
        const QByteArray row = (reason.isEmpty() ? "2,\t" : "-,\t") + field;

        QMimeData data;  // the name's bytes percent-encoded, but a NUL as it comes
        data.setData(QStringLiteral("text/uri-list"), "file://" + path.toPercentEncoding("/" + QByteArray(1, '\0')) + "\r\n");
        QCOMPARE(Drop(targets()->viewport(), data), 3);
        click("Command2");
        QCOMPARE(Rows(targets()), (QStringList{kHint, QString::fromUtf8(field)}));  // what cannot be shown becomes U+FFFD
        QCOMPARE(Rows(results()), QStringList{QString::fromUtf8(row)});
        QCOMPARE(Rows(results(), Qt::AccessibleDescriptionRole), QStringList{reason});
        desktop_->savePath = dir_->filePath("result.csv");
        click("Command3");
        QCOMPARE(ReadAll(desktop_->savePath), row + "\r\n");
        const RecordingDesktop::Message message{"Halvern", desktop_->savePath + QStringLiteral("\n保存しました"), QMessageBox::Information};
        QCOMPARE(desktop_->messages, QList{message});

        clickTarget(1, true);
        QCOMPARE(desktop_->openedUrls.size(), reason.isEmpty() ? 1 : 0);
        QCOMPARE(desktop_->openedUrls.value(0).isLocalFile(), reason.isEmpty());
        QCOMPARE(QByteArray::fromPercentEncoding(desktop_->openedUrls.value(0).path(QUrl::FullyEncoded).toLatin1()), reason.isEmpty() ? path : "");
    }
    void helpInJapaneseUnderAJapaneseLocale()
    {
        const bool wasSet = qEnvironmentVariableIsSet("LC_ALL");
        const QByteArray was = qgetenv("LC_ALL");
        qputenv("LC_ALL", "ja_JP.UTF-8");
        QByteArrayList started{"rowtick", "--help"};
        CommandLine commandLine(int(started.size()), Pointers(started).data());
        std::ostringstream output;
        const bool answered = commandLine.answerQuestion(output);
        if (wasSet)
            qputenv("LC_ALL", was);
        else
            qunsetenv("LC_ALL");
        QVERIFY(answered);
        QVERIFY2(QString::fromStdString(output.str()).startsWith(QStringLiteral("使い方: rowtick [ファイル]...")), output.str().c_str());
    }
    // The arguments' very bytes, as a POSIX system passes them, and the program
    // itself started by fork and exec.
    void commandLine_data()
    {
        // `registered`: the paths registered, as a drop of the same files registers them; `answer`: how standard
        // output begins when the program answers without a window; `error`: what the error output says when it
        // refuses; `handedOver`: given to a second start of the program, which hands them to this window.
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<QByteArrayList>("registered");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("handedOver");
        QTest::newRow("in the order given; Qt's options and their values are no files; names like options after --")
            << QByteArrayList{"-style", "fusion", "b.txt", "<dir>/a.txt", "./計算 表.bas", "b.txt", "\x83\x65\x83\x58.c", "--platform",
                              "offscreen", ".", "gone.txt", "b.txt/.", "x//b.txt", "--", "-style", "--help", "--"}
            << QByteArrayList{"<dir>/b.txt", "<dir>/a.txt", "<dir>/./計算 表.bas", "<dir>/b.txt", "<dir>/\x83\x65\x83\x58.c", "<dir>/.",
                              "<dir>/gone.txt", "<dir>/b.txt/.", "<dir>/x//b.txt", "<dir>/-style", "<dir>/--help", "<dir>/--"} << "" << "" << false;
        QTest::newRow("handed over: in the order given; names like options, %, a line break, Shift-JIS bytes")
            << QByteArrayList{"b.txt", "<dir>/a.txt", "./計算 表.bas", "b.txt", "\x83\x65\x83\x58.c", ".", "gone.txt", "--", "-style", "--",
                              "100%.c", "two\nlines.c", "b.txt/.", "x//b.txt"}
            << QByteArrayList{"<dir>/b.txt", "<dir>/a.txt", "<dir>/./計算 表.bas", "<dir>/b.txt", "<dir>/\x83\x65\x83\x58.c", "<dir>/.",
                              "<dir>/gone.txt", "<dir>/-style", "<dir>/--", "<dir>/100%.c", "<dir>/two\nlines.c", "<dir>/b.txt/.",
                              "<dir>/x//b.txt"} << "" << "" << true;
        QTest::newRow("no files: nothing registered") << QByteArrayList{} << QByteArrayList{} << "" << "" << false;
        QTest::newRow("--help") << QByteArrayList{"--help"} << QByteArrayList{} << "Usage: rowtick [FILE]..." << "" << false;
        QTest::newRow("-h among files") << QByteArrayList{"a.txt", "-h"} << QByteArrayList{} << "Usage: rowtick [FILE]..." << "" << false;
        QTest::newRow("--version") << QByteArrayList{"--version"} << QByteArrayList{} << "rowtick 1.00\n" << "" << false;
        QTest::newRow("an unknown option") << QByteArrayList{"a.txt", "-x"} << QByteArrayList{} << "" << "unknown option: -x" << false;
        QTest::newRow("Qt's option without its value") << QByteArrayList{"a.txt", "-style"} << QByteArrayList{} << ""
                                                       << "unknown option: -style" << false;
    }
    void commandLine()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(QByteArrayList, registered);
        QFETCH(QString, answer);
        QFETCH(QString, error);
        QFETCH(bool, handedOver);
        const QByteArray dir = dirBytes();
        QByteArrayList started{"rowtick"};  // as `main` receives them
        for (QByteArray argument : arguments)
            started.append(argument.replace("<dir>", dir));
        CommandLine commandLine(int(started.size()), Pointers(started).data());

        std::ostringstream output;
        const bool answered = commandLine.answerQuestion(output);
        QCOMPARE(answered, !answer.isEmpty());
        QVERIFY2(QString::fromStdString(output.str()).startsWith(answer), output.str().c_str());
        std::ostringstream errors;
        const bool refused = !answered && commandLine.refuseMistake(errors);
        QCOMPARE(refused, !error.isEmpty());
        QCOMPARE(errors.str().empty(), error.isEmpty());
        QVERIFY2(QString::fromStdString(errors.str()).contains(error), errors.str().c_str());
        if (answered || refused) {  // the program itself ends so, with no display at all
            Program program(started.mid(1), dir,
                            {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent"});
            QCOMPARE(program.exitStatus(30000), answered ? 0 : 2);
        } else if (handedOver) {
#ifdef ROWTICK_WITH_DBUS
            PrivateBus bus;
            ApplicationService service(*form_);
            service.publish(bus.connection);
            QTRY_VERIFY(bus.owned());
            Program second(started.mid(1), dir, {"QT_QPA_PLATFORM=offscreen", bus.variable()});
            QCOMPARE(second.exitStatus(30000), 0);
#else
            QSKIP("built without the session bus");
#endif
        } else {
            commandLine.openIn(*form_);
        }

        QByteArrayList paths;  // byte for byte
        for (std::int64_t row = 1; row < form_->targets().rowCount(); ++row)
            paths.append(QByteArray::fromStdString(form_->targets().text(row)));
        for (QByteArray& path : registered)
            path.replace("<dir>", dir);
        QCOMPARE(paths, registered);
        QCOMPARE(status()->panelText(0), registered.isEmpty() ? QString() : Rows(targets()).last());
        const QString count = QStringLiteral("登録数=%1").arg(registered.size());
        QCOMPARE(status()->panelText(1), registered.isEmpty() ? QString() : count);  // as at start-up with none
    }
#ifdef ROWTICK_WITH_DBUS
    void secondStartOpensItsOwnWindow_data()
    {
        QTest::addColumn<bool>("bus");  // false: there is no session bus
        QTest::newRow("no session bus") << false;
        QTest::newRow("the open window does not answer") << true;
    }
    void secondStartOpensItsOwnWindow()
    {
        QFETCH(bool, bus);
        const QByteArray dir = dirBytes();
        PrivateBus privateBus;
        const QString address = bus ? privateBus.variable() : QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent");
        std::optional<Program> first;
        if (bus) {
            first.emplace(QByteArrayList{}, dir, QStringList{"QT_QPA_PLATFORM=offscreen", address});
            QTRY_VERIFY_WITH_TIMEOUT(privateBus.owned(), 30000);  // the program's first window
            Program handing({"a.txt"}, dir, {"QT_QPA_PLATFORM=offscreen", address});
            QCOMPARE(handing.exitStatus(30000), 0);  // while it answers, it takes the files
            QCOMPARE(::kill(first->pid, SIGSTOP), 0);
        }
        Program second({"a.txt"}, dir, {"QT_QPA_PLATFORM=offscreen", address});
        if (bus)
            QTRY_COMPARE_WITH_TIMEOUT(privateBus.windows(), 2, 30000);  // its own window waits in line for the name
        QCOMPARE(second.exitStatus(1000), -1);  // and stays open
    }
    // An element of Open that holds a raw line break is one entry, refused; those around it are read as ever.
    void openElementWithALineBreak()
    {
        ApplicationService service(*form_);
        service.Open({"file:///a.c", "file:///b.c\nfile:///etc/passwd", "file:///c.c"}, {});
        QByteArrayList paths;
        for (std::int64_t row = 1; row < form_->targets().rowCount(); ++row)
            paths.append(QByteArray::fromStdString(form_->targets().text(row)));
        QCOMPARE(paths, (QByteArrayList{"/a.c", "file:///b.c\nfile:///etc/passwd", "/c.c"}));
        QVERIFY(form_->targets().refusal(1) == nullptr);
        QVERIFY(form_->targets().refusal(2) != nullptr);
        QVERIFY(form_->targets().refusal(3) == nullptr);
    }
    // Started with files and no display: a window open on the session bus takes them; with none, the program says
    // in one line that it has no display, and ends.
    void noDisplay_data()
    {
        QTest::addColumn<bool>("windowOpen");
        QTest::newRow("a window open on the bus") << true;
        QTest::newRow("no window open") << false;
    }
    void noDisplay()
    {
        QFETCH(bool, windowOpen);
        const QByteArray dir = dirBytes();
        PrivateBus bus;
        std::optional<ApplicationService> service;
        if (windowOpen) {
            service.emplace(*form_);
            service->publish(bus.connection);
            QTRY_VERIFY(bus.owned());
        }
        const QByteArray errors = dir + "/errors.txt";
        Program program({"--", "a.txt"}, dir, {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", bus.variable()},
                        ROWTICK_PROGRAM, errors);
        QCOMPARE(program.exitStatus(30000), windowOpen ? 0 : 1);
        QCOMPARE(ReadAll(QFile::decodeName(errors)), windowOpen ? "" : "rowtick: there is no display to open the window on\n");
        QCOMPARE(form_->targets().rowCount(), windowOpen ? 2 : 1);
    }
#endif
    // From a current folder whose name is not UTF-8, and no settings under
    // XDG_CONFIG_HOME (on Windows Qt would keep them in the registry).
    void saveEndsWithoutSaving_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("reason");  // empty: nothing is shown
        QTest::newRow("the user cancels") << "cancel" << "";
        QTest::newRow("a read-only file") << "read-only" << "読み取り専用のファイルです";
    }
    void saveEndsWithoutSaving()  // from a current folder Qt cannot show, keeping no settings
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, reason);
        dropFiles({file("a.txt"), file("b.txt")});
        click("Command2");
        const QString path = file("result.csv", "old row\r\n");
        if (obstacle == "read-only")
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QByteArray current = dirBytes() + "/\xff\xfe not UTF-8";
        QVERIFY(::mkdir(current.constData(), 0755) == 0);
        QVERIFY(::chdir(current.constData()) == 0);
        const QStringList before = QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden);
        desktop_->savePath = obstacle == "cancel" ? QString() : path;
        click("Command3");
        QCOMPARE(desktop_->dialogFolder, dir_->path());  // the nearest folder Qt can show
        QCOMPARE(desktop_->messages.size(), reason.isEmpty() ? 0 : 1);  // never the confirmation
        const auto warning = desktop_->messages.value(0);
        QCOMPARE(warning.icon, reason.isEmpty() ? QMessageBox::NoIcon : QMessageBox::Warning);
        QVERIFY2(reason.isEmpty() || (warning.text.contains(path) && warning.text.contains(reason)), qPrintable(warning.text));
        QCOMPARE(ReadAll(path), QByteArray("old row\r\n"));
        QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden), before);  // no temporary file left
        const QString settings = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(!settings.isEmpty());
        QCOMPARE(QDir(settings).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }
#endif
#ifdef _WIN32
    // Windows names no display in its environment (Wine passes on the X
    // server's): the start must not end as though it had none.
    void windowsAlwaysHasADisplay()
    {
        const QByteArrayList names{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
        QByteArrayList values;
        for (const QByteArray& name : names) {
            values.append(qgetenv(name.constData()));
            qunsetenv(name.constData());
        }
        const bool named = DisplayNamed(false);
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (!values[i].isEmpty())
                qputenv(names[i].constData(), values[i]);
        }
        QVERIFY(named);
    }
#endif
    void savedInTheSystemCodePage_data()
    {
        // `field`: how the name is written in the result file, after the folder.
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("plain") << "plain.txt" << QByteArray("plain.txt");
#ifdef _WIN32
        QTest::newRow("Japanese: code page 932") << "計算 表.bas" << QByteArray("\x8c\x76\x8e\x5a \x95\x5c.bas");
        QTest::newRow("outside code page 932: '?'") << "한글.c" << QByteArray("??.c");
#else
        QTest::newRow("Japanese: the name's bytes") << "計算 表.bas" << QByteArray("計算 表.bas");
#endif
    }
    void savedInTheSystemCodePage()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, field);
        const QString folder = Shown(dir_->path());
        QVERIFY2(QString::fromLatin1(folder.toLatin1()) == folder, qPrintable(folder));  // written as it is
        dropFiles({file(name, "first\r\nsecond\r\n")});
        click("Command2");
        desktop_->savePath = dir_->filePath("result.csv");
        click("Command3");
        QCOMPARE(ReadAll(desktop_->savePath), "2,\t" + folder.toLatin1() + Shown("/").toLatin1() + field + "\r\n");
        QCOMPARE(desktop_->messages.size(), 1);
        QVERIFY(desktop_->messages[0].text.endsWith(QStringLiteral("保存しました")));
    }
    void closingMidRunEndsEventLoop()  // last: it runs and ends the application's loop
    {
        const QStringList paths = mixedTargets(6);
        dropFiles(paths);
        hold(paths, dir_->filePath("f3.c"));  // held for good: closing must not wait for it
        bool ran = false;
        QTimer::singleShot(0, this, [&] { ran = countWhile([&] { return progress() != nullptr; }, [&] { form_->close(); }); });
        QCOMPARE(QApplication::exec(), 0);  // the program's own loop ends with the run's loop inside it
        QVERIFY(ran);
        QVERIFY(!form_->isVisible());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

private:
    std::unique_ptr<RecordingDesktop> desktop_;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::shared_ptr<Hold> hold_;
};

int main(int argc, char* argv[])
{
    // Headless unless a platform is chosen (QT_QPA_PLATFORM=wayland runs the
    // suite in a Wayland compositor); set before the application exists.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The user's settings go to a folder of the test's own, which must stay empty.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    SetUpApplication(app);  // as the program sets itself up
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowTest.moc"
