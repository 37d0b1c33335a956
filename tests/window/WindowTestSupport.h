// What every window test needs: the window on a scripted desktop, a folder of
// its own, drops as another application delivers them, clicks on list rows,
// and main() for a headless run.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListWidget>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include "Form1.h"
#include "PanelStatusBar.h"
#include "RecordingDesktop.h"

namespace rowtick::testing {

inline QList<QUrl> FileUrls(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    return urls;
}

// Sends a whole drag-and-drop to `target`. Returns how many of its three
// events (enter, move, drop) were accepted: 3 when the drop was taken, 0 when
// it was refused outright.
inline int Drop(QWidget* target, const QList<QUrl>& urls, const QString& text = {})
{
    QMimeData data;
    if (urls.isEmpty())
        data.setText(text);
    else
        data.setUrls(urls);
    const QPoint pos = target->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return int(enter.isAccepted()) + int(move.isAccepted()) + int(drop.isAccepted());
}

// A list's rows as shown, or another of their texts (e.g. Qt::ToolTipRole).
inline QStringList Rows(const QListWidget* list, int role = Qt::DisplayRole)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows.append(list->item(i)->data(role).toString());
    return rows;
}

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The user of the save dialog: picks `path` and confirms as the OK button does.
inline std::function<int(QDialog&)> Choose(const QString& path)
{
    return [path](QDialog& dialog) {
        static_cast<QFileDialog&>(dialog).selectFile(path);
        dialog.accept();
        return dialog.result();
    };
}

inline bool BusyCursorShows()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor;
}

// The window, shown on a recording desktop, with an empty temporary folder
// that is also the current folder (where the save dialog starts).
class WindowFixture {
protected:
    void openWindow()
    {
        desktop_ = std::make_unique<RecordingDesktop>();
        form_ = std::make_unique<Form1>(*desktop_);
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir::setCurrent(dir_->path()));
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }

    void closeWindow()
    {
        form_.reset();
        desktop_.reset();
        QDir::setCurrent(QDir::tempPath());
        // By bytes: QDir cannot remove a name that is not valid UTF-8.
        std::error_code ignored;
        std::filesystem::remove_all(QFile::encodeName(dir_->path()).toStdString(), ignored);
        dir_.reset();
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
    }

    template <class T = QWidget>
    T* control(const char* name) const
    {
        T* widget = form_->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no control named %s", name);
        return widget;
    }
    template <class T = QWidget>
    T* control(const QString& name) const { return control<T>(name.toLatin1().constData()); }
    QListWidget* targets() const { return control<QListWidget>("lstFileName"); }
    QListWidget* results() const { return control<QListWidget>("List1"); }
    PanelStatusBar* statusBar() const { return control<PanelStatusBar>("STS"); }
    void click(const char* name) const { QTest::mouseClick(control(name), Qt::LeftButton); }

    QString file(const QString& name, const QByteArray& content = "x\n") const
    {
        const QString path = dir_->filePath(name);
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    void dropFiles(const QStringList& paths) const { QCOMPARE(Drop(targets()->viewport(), FileUrls(paths)), 3); }

    // Near the row's left end: a long row is wider than the list.
    static QPoint rowPoint(QListWidget* list, int row)
    {
        list->scrollToItem(list->item(row));
        const QRect rect = list->visualItemRect(list->item(row));
        return {rect.left() + 5, rect.center().y()};
    }
    static void clickRow(QListWidget* list, int row)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowPoint(list, row));
    }
    // As the platform delivers it: the press of the first click comes first.
    static void doubleClickRow(QListWidget* list, int row)
    {
        clickRow(list, row);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowPoint(list, row));
    }

    std::unique_ptr<RecordingDesktop> desktop_;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<QTemporaryDir> dir_;
};

}  // namespace rowtick::testing

// main() for a headless widget test: the offscreen platform must be chosen
// before the application object exists. An optional second argument is called
// with the application before the test runs.
#define ROWTICK_WINDOW_TEST_MAIN(TestClass, ...)     \
    int main(int argc, char* argv[])                 \
    {                                                \
        qputenv("QT_QPA_PLATFORM", "offscreen");     \
        QApplication app(argc, argv);                \
        app.setAttribute(Qt::AA_Use96Dpi, true);     \
        __VA_OPT__(__VA_ARGS__(app);)                \
        TestClass test;                              \
        return QTest::qExec(&test, argc, argv);      \
    }
