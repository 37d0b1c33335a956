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

#include <csignal>
#include <fstream>
#include <unistd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <optional>
#include <sstream>

#include "../Obstacles.h"
#include <QProcess>
#ifdef ROWTICK_WITH_DBUS
#include <QDBusConnectionInterface>

#include "ApplicationService.h"
#endif
#include "CommandLine.h"
#include "CountingRun.h"
#include "Desktop.h"
#include "Form1.h"
#include "PanelStatusBar.h"
#include "Startup.h"

using namespace rowtick;

namespace {

const QString kHint = QStringLiteral("ここにファイルを投げて下さい！");

// Records URLs and messages, says Yes to questions; the save dialog picks `savePath` or cancels.
struct RecordingDesktop final : Desktop {
    struct Message { QString title, text; QMessageBox::Icon icon; };
    QString savePath;
    QString dialogFolder;  // where the save dialog opened
    QList<QUrl> openedUrls;
    QList<Message> messages;

    int exec(QDialog& dialog) override
    {
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        if (box && box->standardButtons().testFlag(QMessageBox::Yes))
            return QMessageBox::Yes;  // replace the existing file
        if (box) {
            messages.append({box->windowTitle(), box->text(), box->icon()});
            return QMessageBox::Ok;
        }
        dialogFolder = static_cast<QFileDialog&>(dialog).directory().absolutePath();
        if (!savePath.isEmpty())
            static_cast<QFileDialog&>(dialog).selectFile(savePath);
        if (savePath.isEmpty())
            dialog.reject();
        else
            dialog.accept();
        return dialog.result();
    }
    void openUrl(const QUrl& url) override { openedUrls.append(url); }
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

// The arguments `main` receives, the program's name first; "<dir>" stands for `dir`.
struct Arguments {
    QByteArrayList bytes;
    std::vector<char*> argv;

    Arguments(const QByteArrayList& arguments, const QByteArray& dir)
    {
        bytes.append("rowtick");
        for (QByteArray argument : arguments)
            bytes.append(argument.replace("<dir>", dir));
        for (QByteArray& argument : bytes)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
    }
    int argc() const { return int(bytes.size()); }
};

// A file URL that carries a path's very bytes, as a file manager sends it.
QUrl FileUrl(const QByteArray& path)
{
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"), QUrl::StrictMode);
}

int Drop(QWidget* target, const QStringList& paths, QList<QUrl> urls = {})
{
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
    for (const ResultRow& row : list.rows())
        rows.append(QFile::decodeName(QByteArray::fromStdString(row.text())));
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

// The program itself, started in `folder` with the arguments' very bytes and
// the environment changed by `environment` ("NAME=VALUE" sets, "NAME" removes).
struct Program {
    pid_t pid = -1;
    int status = -1;

    Program(const QByteArrayList& arguments, const QByteArray& folder, const QStringList& changes,
            const QByteArray& executable = ROWTICK_PROGRAM)
    {
        QByteArrayList bytes{executable};
        bytes += arguments;
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
        std::vector<char*> argv;
        for (QByteArray& argument : bytes)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (QByteArray& variable : variables)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        pid = ::fork();
        if (pid == 0) {
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
        QTest::qWaitFor([this] { return QFile::exists(folder.filePath(QStringLiteral("bus"))); }, 10000);
        connection = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("private"));
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
        std::ofstream(QFile::encodeName(dir_->filePath(name)).toStdString(), std::ios::binary) << content.toStdString();
        return dir_->filePath(name);
    }
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
        hold_->path = QFile::encodeName(path).toStdString();
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
        std::filesystem::remove_all(QFile::encodeName(dir_->path()).toStdString(), ignored);
    }


    void startUpState()
    {
        for (QWidget* widget : form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(widget->isVisible(), qPrintable(widget->objectName()));  // the list is laid out after the map
        QCOMPARE(Rows(targets()), QStringList{kHint});
        QCOMPARE(results()->model()->rowCount(), 0);
        QCOMPARE(status()->panelText(0) + status()->panelText(1), QString());
        QCOMPARE(form_->focusWidget(), control("Command2"));
    }
    void modes_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<int>("height");
        QTest::newRow("target heading click: compact") << "heading" << 125;
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
        QHash<QString, QRect> places;
        for (QWidget* widget : form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            places.insert(widget->objectName(), widget->geometry());
        const QPoint position = form_->pos();
        const QPoint panel = status()->panelRect(1).center();

        if (gesture == "maximised") {
            form_->showMaximized();
            QTRY_VERIFY(form_->isMaximized() && form_->width() > 408);
        }
        if (gesture == "heading" || gesture == "maximised")
            click("Label1");
        else
            QTest::mouseClick(status(), Qt::LeftButton, {}, panel);
        if (gesture == "double")
            QTest::mouseDClick(status(), Qt::LeftButton, {}, panel);

        QTRY_COMPARE(form_->size(), QSize(408, height));
        QCOMPARE(form_->pos(), position);
        QCOMPARE(status()->panelText(1), QStringLiteral("登録数=1"));
        QCOMPARE(status()->geometry(), QRect(0, height - 17, 408, 17));
        for (QWidget* widget : form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (widget != status())
                QCOMPARE(widget->geometry(), places.value(widget->objectName()));
    }
    void drops()
    {
        Drop(results()->viewport(), {file("a.txt")});
        QCOMPARE(Rows(targets()), QStringList{kHint});
        QCOMPARE(status()->panelText(1), QString());

        QCOMPARE(Drop(targets()->viewport(), {}), 3);  // dragged text: no files, the count still shows
        QCOMPARE(status()->panelText(1), QStringLiteral("登録数=0"));

        const QStringList paths{file("c.txt"), file("計算 表.bas"), file("b.txt")};
        dropFiles(paths);
        QCOMPARE(Rows(targets()), QStringList{kHint} + paths);
        QCOMPARE(status()->panelText(0), paths.last());
        QCOMPARE(status()->panelText(1), QStringLiteral("登録数=3"));
        clickTarget(2);
        QCOMPARE(status()->panelText(0), QStringLiteral("計算 表.bas"));
        clickTarget(0);
        QCOMPARE(status()->panelText(0), QString());
    }
    void statusPanels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("shortened");
        QTest::newRow("short path shown whole") << "under_score_gjpq.txt" << false;
        QTest::newRow("long path shortened in the middle, count still in the bar")
            << "projects/rowtick-example/src/components/widgets/MainWindow.cpp" << true;
    }
    void statusPanels()
    {
        QFETCH(QString, name);
        QFETCH(bool, shortened);
        QVERIFY(QDir(dir_->path()).mkpath(QFileInfo(dir_->filePath(name)).path()));
        const QString path = file(name);
        dropFiles({path});
        auto* panel1 = status()->findChild<QLabel*>("panel1");
        auto* panel2 = status()->findChild<QLabel*>("panel2");

        QCOMPARE(status()->panelText(0), path);
        QCOMPARE(panel1->text().contains(QChar(0x2026)), shortened);
        QCOMPARE(panel1->toolTip(), shortened ? path : QString());
        QCOMPARE(panel1->accessibleDescription(), shortened ? path : QString());
        QCOMPARE(panel2->text(), QStringLiteral("登録数=1"));
        QVERIFY(status()->rect().contains(status()->panelRect(1)));
        // The bar is one line tall: the text must fit it, descenders and all.
        const int textHeight = panel1->contentsRect().height() - 2 * panel1->margin();
        QVERIFY(textHeight >= panel1->fontMetrics().height());

        QTest::keyClick(form_.get(), Qt::Key_Tab);
        QTest::keyClick(form_.get(), Qt::Key_Tab);
        QTest::keyClick(form_.get(), Qt::Key_Tab);
        QCOMPARE(form_->focusWidget(), targets());
        QCOMPARE(status()->panelText(0), path);  // the focus selects nothing
    }
    void keyboard_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("row");  // the target row clicked first, or -1
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("Return on the count button counts") << "Command2" << -1 << int(Qt::Key_Return) << "counted";
        QTest::newRow("Enter on the count button counts") << "Command2" << -1 << int(Qt::Key_Enter) << "counted";
        QTest::newRow("Return on the end button ends") << "cmdEnd" << -1 << int(Qt::Key_Return) << "closed";
        QTest::newRow("Return on a target row opens it") << "lstFileName" << 1 << int(Qt::Key_Return) << "opened";
        QTest::newRow("Return on the hint row does nothing") << "lstFileName" << 0 << int(Qt::Key_Return) << "nothing";
    }
    void keyboard()
    {
        QFETCH(QString, name);
        QFETCH(int, row);
        QFETCH(int, key);
        QFETCH(QString, outcome);
        const QString path = file("a.txt");
        dropFiles({path});
        if (row >= 0)
            clickTarget(row);
        control(name)->setFocus();

        QTest::keyClick(control(name), Qt::Key(key));

        QCOMPARE(Rows(results()), outcome == "counted" ? QStringList{"1,\t" + path} : QStringList{});
        const QList<QUrl> opened = outcome == "opened" ? QList<QUrl>{QUrl::fromLocalFile(path)} : QList<QUrl>{};
        QCOMPARE(desktop_->openedUrls, opened);
        QCOMPARE(form_->isVisible(), outcome != "closed");
    }
    void pressableLabels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pressed");  // what pressing it does
        QTest::newRow("target heading") << "Label1" << "compact";
        QTest::newRow("result heading") << "Label2" << "https://hv.example/rowtick/";
        QTest::newRow("mail address") << "Label5" << "mailto:mail@hv.example";
        QTest::newRow("diamond") << "Image1" << "minimised";
    }
    void pressableLabels()
    {
        QFETCH(QString, name);
        QFETCH(QString, pressed);
        QWidget* widget = control(name);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        QAccessibleActionInterface* actions = accessible->actionInterface();
        QVERIFY(actions);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        QCOMPARE(widget->focusPolicy(), Qt::NoFocus);

        actions->doAction(QAccessibleActionInterface::pressAction());

        if (pressed == "compact")
            QTRY_COMPARE(form_->height(), 125);
        else if (pressed == "minimised")
            QTRY_VERIFY(form_->isMinimized());
        else
            QCOMPARE(desktop_->openedUrls, QList<QUrl>{QUrl(pressed)});
    }
    void counting()
    {
        const QStringList paths{file("two.txt", "a\r\nb"), dir_->path(), dir_->filePath("gone.txt"), file("five.bas", "1\n2\n3\n4\n5\n")};
        dropFiles(paths);
        click("Command2");
        const QStringList once{"2,\t" + paths[0], "-,\t" + paths[1], "-,\t" + paths[2], "5,\t" + paths[3]};
        QCOMPARE(Rows(results()), once);
        const QStringList tips = Rows(results(), Qt::ToolTipRole);
        QVERIFY(tips[0].isEmpty());
        QVERIFY(!tips[1].isEmpty());
        QVERIFY(!tips[2].isEmpty());
        QVERIFY(tips[3].isEmpty());
        QCOMPARE(AccessibleRowText(results(), 1, QAccessible::Description), tips[1]);
        QCOMPARE(AccessibleRowText(results(), 2, QAccessible::Description), tips[2]);
        QCOMPARE(AccessibleRowText(results(), 3, QAccessible::Description), QString());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        click("Command2");  // the list is never cleared
        QCOMPARE(Rows(results()), once + once);
    }
    void threadedRunMatchesOneWorker()
    {
        const QStringList paths = mixedTargets(300);
        dropFiles(paths);
        const QStringList expected = oneWorkerRows();
        hold(paths, dir_->filePath("f150.c"));
        Qt::CursorShape cursor = Qt::ArrowCursor;
        QString barName;
        QVERIFY(countWhile([&] { return progress() != nullptr; }, [&] {
            if (QGuiApplication::overrideCursor())
                cursor = QGuiApplication::overrideCursor()->shape();
            barName = progress()->findChild<QProgressBar*>()->accessibleName();
            hold_->open.release();
        }));
        QCOMPARE(cursor, Qt::WaitCursor);
        QCOMPARE(barName, QStringLiteral("カウントの進み具合"));
        QCOMPARE(Rows(results()), expected);
        QCOMPARE(progress(), nullptr);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }
    void dropRefusedAndCancelMidRun()
    {
        const QStringList paths = mixedTargets(12);
        dropFiles(paths);
        const QStringList all = oneWorkerRows();
        const QStringList another{file("another.c")};
        const qsizetype held = hold(paths, dir_->filePath("f6.c"));
        int accepted = -1;
        QVERIFY(countWhile([&] { return progress() && results()->model()->rowCount() == held; }, [&] {
            accepted = Drop(targets()->viewport(), another);
            QTest::mouseClick(progress()->findChild<QPushButton*>(), Qt::LeftButton);
        }));
        QCOMPARE(accepted, 0);
        QCOMPARE(Rows(targets()), QStringList{kHint} + paths);
        QCOMPARE(Rows(results()), all.mid(0, held));

        hold_->open.release();  // counted after all, its row must not turn up late
        hold_->left.acquire();
        QCoreApplication::processEvents();
        QCOMPARE(Rows(results()), all.mid(0, held));
        QCOMPARE(form_->results().rowCount(), held);  // what a save writes
        QCOMPARE(Rows(results()), RowTexts(form_->results()));
        QCOMPARE(Rows(targets()).size(), form_->targets().rowCount());
        QCOMPARE(Drop(targets()->viewport(), another), 3);  // taken again once the run is over
    }
    void namesSavedAndOpenedByteForByte_data()
    {
        // `field`: the path as the window shows and the result file holds it.
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("plain") << QByteArray("plain.txt") << QByteArray("<dir>/plain.txt");
        QTest::newRow("Shift-JIS bytes, not UTF-8") << QByteArray("\x83\x65\x83\x58\x83\x67.c") << QByteArray("<dir>/\x83\x65\x83\x58\x83\x67.c");
        QTest::newRow("a line break") << QByteArray("two\nlines.c") << QByteArray("$'<dir>/two\\nlines.c'");
        QTest::newRow("a leading dash and $(...)") << QByteArray("-$(touch pwned).c") << QByteArray("<dir>/-$(touch pwned).c");
    }
    void namesSavedAndOpenedByteForByte()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, field);
        const QByteArray dir = QFile::encodeName(dir_->path());
        const QByteArray path = dir + '/' + name;
        QVERIFY(bool(std::ofstream(path.toStdString(), std::ios::binary) << "first\r\nsecond\r\n"));
        field.replace("<dir>", dir);
        const QString shown = QString::fromUtf8(field);  // what cannot be shown becomes U+FFFD

        QCOMPARE(Drop(targets()->viewport(), {}, {FileUrl(path)}), 3);
        click("Command2");
        QCOMPARE(Rows(results()), QStringList{"2,\t" + shown});
        const QString saved = dir_->filePath("result.csv");
        desktop_->savePath = saved;
        click("Command3");
        QCOMPARE(ReadAll(saved), "2,\t" + field + "\r\n");
        QCOMPARE(desktop_->messages.size(), 1);
        QCOMPARE(desktop_->messages.value(0).title, QStringLiteral("Halvern"));
        QCOMPARE(desktop_->messages.value(0).icon, QMessageBox::Information);
        QCOMPARE(desktop_->messages.value(0).text, saved + QStringLiteral("\n保存しました"));

        clickTarget(1, true);
        QCOMPARE(desktop_->openedUrls.size(), 1);
        QVERIFY(desktop_->openedUrls.value(0).isLocalFile());
        QCOMPARE(QByteArray::fromPercentEncoding(desktop_->openedUrls.value(0).path(QUrl::FullyEncoded).toLatin1()), path);
    }
    void startedWithFiles_data()
    {
        // `dropped`: the paths a drop gives the same targets with; `handedOver`:
        // given to a second start of the program, which hands them to this window.
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<QByteArrayList>("dropped");
        QTest::addColumn<bool>("handedOver");
        QTest::newRow("relative and absolute, in the order given")
            << QByteArrayList{"b.txt", "<dir>/a.txt", "./計算 表.bas", "b.txt"}
            << QByteArrayList{"<dir>/b.txt", "<dir>/a.txt", "<dir>/計算 表.bas", "<dir>/b.txt"} << false;
        QTest::newRow("names like options after --")
            << QByteArrayList{"a.txt", "--", "-style", "--help", "--"}
            << QByteArrayList{"<dir>/a.txt", "<dir>/-style", "<dir>/--help", "<dir>/--"} << false;
        QTest::newRow("Shift-JIS bytes, not UTF-8")
            << QByteArrayList{"\x83\x65\x83\x58.c"}
            << QByteArrayList{"<dir>/\x83\x65\x83\x58.c"} << false;
        QTest::newRow("the folder and a missing file")
            << QByteArrayList{".", "gone.txt"}
            << QByteArrayList{"<dir>", "<dir>/gone.txt"} << false;
        QTest::newRow("Qt's options and their values are no files")
            << QByteArrayList{"-style", "fusion", "a.txt", "--platform", "offscreen"}
            << QByteArrayList{"<dir>/a.txt"} << false;
        QTest::newRow("handed over: relative and absolute, in the order given")
            << QByteArrayList{"b.txt", "<dir>/a.txt", "./計算 表.bas", "b.txt"}
            << QByteArrayList{"<dir>/b.txt", "<dir>/a.txt", "<dir>/計算 表.bas", "<dir>/b.txt"} << true;
        QTest::newRow("handed over: names like options, % and a line break")
            << QByteArrayList{"a.txt", "--", "-style", "--", "100%.c", "two\nlines.c"}
            << QByteArrayList{"<dir>/a.txt", "<dir>/-style", "<dir>/--", "<dir>/100%.c", "<dir>/two\nlines.c"} << true;
        QTest::newRow("handed over: Shift-JIS bytes, the folder, a missing file")
            << QByteArrayList{"\x83\x65\x83\x58.c", ".", "gone.txt"}
            << QByteArrayList{"<dir>/\x83\x65\x83\x58.c", "<dir>", "<dir>/gone.txt"} << true;
    }
    void startedWithFiles()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(QByteArrayList, dropped);
        QFETCH(bool, handedOver);
        const QByteArray dir = QFile::encodeName(dir_->path());
        for (const QByteArray name : {"a.txt", "b.txt", "計算 表.bas", "-style", "--help", "--", "\x83\x65\x83\x58.c", "100%.c", "two\nlines.c"}) {
            const QByteArray lines = QByteArray("line\r\n").repeated(name.size());
            QVERIFY(bool(std::ofstream((dir + '/' + name).toStdString(), std::ios::binary) << lines.toStdString()));
        }

        Arguments started(arguments, dir);
        if (handedOver) {
#ifdef ROWTICK_WITH_DBUS
            PrivateBus bus;
            (new ApplicationService(*form_))->publish(bus.connection);
            QTRY_VERIFY(bus.owned());
            Program second(started.bytes.mid(1), dir, {"QT_QPA_PLATFORM=offscreen", bus.variable()});
            QCOMPARE(second.exitStatus(30000), 0);
#else
            QSKIP("built without the session bus");
#endif
        } else {
            CommandLine commandLine(started.argc(), started.argv.data());
            commandLine.openIn(*form_);
        }

        RecordingDesktop otherDesktop;
        Form1 droppedOn(otherDesktop);
        QList<QUrl> urls;
        for (QByteArray path : dropped)
            urls.append(FileUrl(path.replace("<dir>", dir)));
        auto* droppedTargets = droppedOn.findChild<QListView*>("lstFileName");
        QCOMPARE(Drop(droppedTargets->viewport(), {}, urls), 3);

        QCOMPARE(form_->targets().rowCount(), droppedOn.targets().rowCount());
        for (std::int64_t row = 1; row < form_->targets().rowCount(); ++row)
            QVERIFY(form_->targets().text(row) == droppedOn.targets().text(row));  // byte for byte
        QCOMPARE(Rows(targets()), Rows(droppedTargets));
        const auto* droppedStatus = droppedOn.findChild<PanelStatusBar*>("STS");
        QCOMPARE(status()->panelText(0), droppedStatus->panelText(0));
        QCOMPARE(status()->panelText(1), droppedStatus->panelText(1));
        QCOMPARE(status()->panelText(1), QStringLiteral("登録数=%1").arg(dropped.size()));

        click("Command2");
        QTest::mouseClick(droppedOn.findChild<QWidget*>("Command2"), Qt::LeftButton);
        QCOMPARE(Rows(results()), Rows(droppedOn.findChild<QListView*>("List1")));
        QCOMPARE(results()->model()->rowCount(), dropped.size());
    }
    void commandLineQuestionsAndMistakes_data()
    {
        // `answer`: how standard output begins, empty when the window opens;
        // `error`: what the error output says, empty when the files are opened.
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("registered");
        QTest::newRow("--help") << QByteArrayList{"--help"} << "Usage: rowtick [FILE]..." << "" << 0;
        QTest::newRow("-h among files") << QByteArrayList{"a.txt", "-h"} << "Usage: rowtick [FILE]..." << "" << 0;
        QTest::newRow("--version") << QByteArrayList{"--version"} << "rowtick 1.00\n" << "" << 0;
        QTest::newRow("--help after --: a file") << QByteArrayList{"--", "--help"} << "" << "" << 1;
        QTest::newRow("no files: nothing registered") << QByteArrayList{} << "" << "" << 0;
        QTest::newRow("an unknown option") << QByteArrayList{"a.txt", "-x"} << "" << "unknown option: -x" << 0;
        QTest::newRow("Qt's option without its value") << QByteArrayList{"a.txt", "-style"} << "" << "unknown option: -style" << 0;
    }
    void commandLineQuestionsAndMistakes()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(QString, answer);
        QFETCH(QString, error);
        QFETCH(int, registered);
        Arguments started(arguments, QFile::encodeName(dir_->path()));
        CommandLine commandLine(started.argc(), started.argv.data());

        std::ostringstream output;
        const bool answered = commandLine.answerQuestion(output);
        QCOMPARE(answered, !answer.isEmpty());
        QVERIFY2(QString::fromStdString(output.str()).startsWith(answer), output.str().c_str());
        if (answered)
            return;

        std::ostringstream errors;
        const bool refused = commandLine.refuseMistake(errors);
        if (!refused)
            commandLine.openIn(*form_);
        QCOMPARE(refused, !error.isEmpty());
        QCOMPARE(errors.str().empty(), error.isEmpty());
        QVERIFY2(QString::fromStdString(errors.str()).contains(error), errors.str().c_str());
        QCOMPARE(form_->targets().registeredCount(), registered);
        QCOMPARE(status()->panelText(1).isEmpty(), registered == 0);  // as at start-up
    }
    void programWithoutDisplay_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<int>("exitStatus");
        QTest::newRow("an unknown option") << QByteArrayList{"--no-such-option"} << 2;
        QTest::newRow("an unknown option after a file") << QByteArrayList{"a.txt", "-x"} << 2;
        QTest::newRow("--version") << QByteArrayList{"--version"} << 0;
    }
    void programWithoutDisplay()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(int, exitStatus);
        Program started(arguments, QFile::encodeName(dir_->path()),
                        {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent"});
        QCOMPARE(started.exitStatus(30000), exitStatus);
    }
#ifdef ROWTICK_WITH_DBUS
    void handedOverDuringCount()
    {
        const QStringList paths = mixedTargets(6);
        dropFiles(paths);
        const QString another = file("another.c");
        hold(paths, dir_->filePath("f3.c"));
        PrivateBus bus;
        (new ApplicationService(*form_))->publish(bus.connection);
        QTRY_VERIFY(bus.owned());
        int exitStatus = -1;
        QStringList rowsDuringCount;
        QVERIFY(countWhile([&] { return progress() != nullptr; }, [&] {
            Program second({"another.c"}, QFile::encodeName(dir_->path()), {"QT_QPA_PLATFORM=offscreen", bus.variable()});
            exitStatus = second.exitStatus(30000);
            rowsDuringCount = Rows(targets());
            hold_->open.release();
        }));
        QCOMPARE(exitStatus, 0);  // answered at once
        QCOMPARE(rowsDuringCount, QStringList{kHint} + paths);  // the running count's targets untouched
        QCOMPARE(Rows(targets()), QStringList{kHint} + paths + QStringList{another});  // appended once it ended
        QCOMPARE(status()->panelText(0), another);
        QCOMPARE(status()->panelText(1), QStringLiteral("登録数=%1").arg(paths.size() + 1));
    }
    void secondStartOpensItsOwnWindow_data()
    {
        QTest::addColumn<bool>("bus");  // false: there is no session bus
        QTest::newRow("no session bus") << false;
        QTest::newRow("the open window does not answer") << true;
    }
    void secondStartOpensItsOwnWindow()
    {
        QFETCH(bool, bus);
        const QByteArray dir = QFile::encodeName(dir_->path());
        file("a.txt");
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
#endif
    void refusedDropsKeepWhatWasDropped_data()
    {
        // `list`: the dropped URI list; `field`: the path as the window shows and the result file holds it.
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("reason");
        QTest::newRow("relative") << QByteArray("file:relx.txt\r\n") << QByteArray("relx.txt") << "相対パスです";
    }
    void refusedDropsKeepWhatWasDropped()
    {
        QFETCH(QByteArray, list);
        QFETCH(QByteArray, field);
        QFETCH(QString, reason);
        file("relx.txt", "a\nb\n");  // what a relative name would wrongly count

        QMimeData data;
        data.setData(QStringLiteral("text/uri-list"), list);
        QCOMPARE(Drop(targets()->viewport(), data), 3);
        click("Command2");

        const QString shown = QString::fromUtf8(field);
        QCOMPARE(Rows(targets()), (QStringList{kHint, shown}));
        QCOMPARE(Rows(results()), QStringList{"-,\t" + shown});
        QCOMPARE(Rows(results(), Qt::ToolTipRole), QStringList{reason});
        clickTarget(1, true);
        QCOMPARE(desktop_->openedUrls, QList<QUrl>{});  // never opened
        desktop_->savePath = dir_->filePath("result.csv");
        click("Command3");
        QCOMPARE(ReadAll(desktop_->savePath), "-,\t" + field + "\r\n");
    }
    void saveEndsWithoutSaving_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("reason");  // empty: nothing is shown
        QTest::newRow("the user cancels") << "cancel" << "";
        QTest::newRow("a read-only file") << "read-only" << "読み取り専用のファイルです";
        QTest::newRow("a write cut off part-way") << "cut off" << "ファイルが大きすぎます";
    }
    void saveEndsWithoutSaving()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, reason);
        dropFiles({file("a.txt"), file("b.txt")});
        click("Command2");
        const QString path = file("result.csv", "old row\r\n");
        if (obstacle == "read-only")
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QStringList before = QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden);
        desktop_->savePath = obstacle == "cancel" ? QString() : path;
        std::optional<test::FileSizeLimit> limit;
        if (obstacle == "cut off")
            limit.emplace(16);  // the two rows need more
        click("Command3");
        limit.reset();
        QCOMPARE(desktop_->messages.size(), reason.isEmpty() ? 0 : 1);  // never the confirmation
        const auto warning = desktop_->messages.value(0);
        QCOMPARE(warning.icon, reason.isEmpty() ? QMessageBox::NoIcon : QMessageBox::Warning);
        QVERIFY2(reason.isEmpty() || (warning.text.contains(path) && warning.text.contains(reason)), qPrintable(warning.text));
        QCOMPARE(ReadAll(path), QByteArray("old row\r\n"));
        QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden), before);  // no temporary file left
    }
    void saveDialogKeepsNothingBetweenRuns()
    {
        const QByteArray parent = QFile::encodeName(dir_->path());
        const QByteArray current = parent + "/\xff\xfe not UTF-8";
        QVERIFY(::mkdir(current.constData(), 0755) == 0);
        QVERIFY(::chdir(current.constData()) == 0);

        click("Command3");  // cancelled

        QCOMPARE(desktop_->dialogFolder, dir_->path());  // the nearest folder Qt can show
        const QString settings = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(!settings.isEmpty());
        QCOMPARE(QDir(settings).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
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
