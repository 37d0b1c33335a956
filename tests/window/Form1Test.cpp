// The main window as the user meets it: layout, modes, drops, selection,
// the status bar and the counting button.
#include <QAbstractButton>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

#include "Form1.h"
#include "PanelStatusBar.h"
#include "RecordingDesktop.h"
#include "TabStopDelegate.h"
#include "WindowTestMain.h"

using rowtick::Form1;
using rowtick::PanelStatusBar;
using rowtick::testing::RecordingDesktop;

namespace {

const QString kHint = QStringLiteral("ここにファイルを投げて下さい！");

QString Count(int n)
{
    return QStringLiteral("登録数=%1").arg(n);
}

// Sends a whole drag-and-drop to `target`, as a drag from another application
// would arrive. Returns whether the drop was accepted.
bool Drop(QWidget* target, const QMimeData* data)
{
    const QPoint pos = target->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(pos), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

std::unique_ptr<QMimeData> FileUrls(const QStringList& paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

QStringList Rows(const QListWidget* list)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows.append(list->item(i)->text());
    return rows;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

}  // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlPlaces_data();
    void controlPlaces();
    void controlTexts_data();
    void controlTexts();
    void textColours_data();
    void textColours();
    void labelTextsAreNotClipped();
    void startUpState();
    void tabOrderAndFocus();
    void clickableControlsHaveAccessibleNames();
    void pictures();

    void modes_data();
    void modes();
    void modeSwitchWhileMaximised();
    void statusBarFollowsResizeAlone();
    void image1Minimises();
    void cmdEndEndsWithoutQuestion();
    void eventsWithoutAction_data();
    void eventsWithoutAction();

    void drops_data();
    void drops();
    void dropKeepsBytesOfNameThatIsNotUtf8();
    void rowWithLineBreakStaysOnOneLine();
    void dropOnResultListDoesNothing();

    void selection_data();
    void selection();

    void countingAppendsRowsInTargetOrder();
    void uncountedRowExplainsWhy();
    void countingWithoutTargetsAddsNothingAndRestoresCursor();
    void resultColumnsStartAtTabStop();

private:
    template <class T = QWidget>
    T* control(const char* name) const
    {
        T* widget = form_->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no control named %s", name);
        return widget;
    }
    QListWidget* targets() const { return control<QListWidget>("lstFileName"); }
    QListWidget* results() const { return control<QListWidget>("List1"); }
    PanelStatusBar* statusBar() const { return control<PanelStatusBar>("STS"); }
    void clickRow(QListWidget* list, int row)
    {
        list->scrollToItem(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }
    void dropFiles(const QStringList& paths)
    {
        const auto data = FileUrls(paths);
        QVERIFY(Drop(targets()->viewport(), data.get()));
    }
    QString file(const QString& name, const QByteArray& content)
    {
        const QString path = dir_->filePath(name);
        WriteFile(path, content);
        return path;
    }

    std::unique_ptr<RecordingDesktop> desktop_;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<QTemporaryDir> dir_;
};

void Form1Test::init()
{
    desktop_ = std::make_unique<RecordingDesktop>();
    form_ = std::make_unique<Form1>(*desktop_);
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void Form1Test::cleanup()
{
    form_.reset();
    desktop_.reset();
    dir_.reset();
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

void Form1Test::controlPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("place");
    QTest::newRow("version label") << "Label4" << QRect(307, 1, 95, 17);
    QTest::newRow("target heading") << "Label1" << QRect(10, 5, 111, 11);
    QTest::newRow("target list") << "lstFileName" << QRect(5, 19, 397, 100);
    QTest::newRow("diamond") << "Image1" << QRect(185, 120, 32, 32);
    QTest::newRow("result heading") << "Label2" << QRect(5, 130, 111, 11);
    QTest::newRow("result list") << "List1" << QRect(6, 145, 397, 100);
    QTest::newRow("count button") << "Command2" << QRect(175, 250, 74, 55);
    QTest::newRow("save button") << "Command3" << QRect(252, 250, 72, 55);
    QTest::newRow("end button") << "cmdEnd" << QRect(326, 250, 75, 55);
    QTest::newRow("program picture") << "Picture1" << QRect(20, 263, 38, 38);
    QTest::newRow("program name") << "Label3" << QRect(59, 266, 104, 15);
    QTest::newRow("mail address") << "Label5" << QRect(58, 281, 104, 14);
    QTest::newRow("status bar docked at the bottom") << "STS" << QRect(0, 312, 408, 17);
}

void Form1Test::controlPlaces()
{
    QFETCH(QString, name);
    QFETCH(QRect, place);
    QWidget* widget = control(name.toLatin1().constData());
    QCOMPARE(widget->parentWidget(), form_.get());
    QCOMPARE(widget->geometry(), place);
    QVERIFY(widget->isVisible());
    QVERIFY(widget->isEnabled());
    QVERIFY(!form_->layout());
}

void Form1Test::controlTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("version label") << "Label4" << "Rowtick Ver1.0" << "Copyright © Halvern. All rights reserved.";
    QTest::newRow("target heading") << "Label1" << "対象ファイル" << "";
    QTest::newRow("result heading") << "Label2" << "ファイル・ステップ数" << "";
    QTest::newRow("count button, half-width katakana") << "Command2" << "ｶｳﾝﾄ開始" << "";
    QTest::newRow("save button") << "Command3" << "結果保存" << "";
    QTest::newRow("end button") << "cmdEnd" << "終了" << "";
    QTest::newRow("program name") << "Label3" << "Rowtick" << "";
    QTest::newRow("mail address") << "Label5" << "mail@hv.example" << "質問など、お気軽に";
}

void Form1Test::controlTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QWidget* widget = control(name.toLatin1().constData());
    if (auto* label = qobject_cast<QLabel*>(widget))
        QCOMPARE(label->text(), text);
    else
        QCOMPARE(qobject_cast<QAbstractButton*>(widget)->text(), text);
    QCOMPARE(widget->toolTip(), toolTip);
}

void Form1Test::textColours_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("targets in blue") << "lstFileName" << QColor(0, 0, 255);
    QTest::newRow("results in orange") << "List1" << QColor(255, 128, 0);
    QTest::newRow("program name in blue") << "Label3" << QColor(0, 0, 255);
    QTest::newRow("mail address in orange") << "Label5" << QColor(255, 128, 0);
}

void Form1Test::textColours()
{
    QFETCH(QString, name);
    QFETCH(QColor, colour);
    QWidget* widget = control(name.toLatin1().constData());
    const QPalette::ColorRole role =
        qobject_cast<QListWidget*>(widget) ? QPalette::Text : QPalette::WindowText;
    QCOMPARE(widget->palette().color(role), colour);
}

// The labels are only 11 to 17 pixels tall and about 100 wide: a font that is a
// little too large cuts the Japanese headings or the mail address. A label
// drawn with room to spare shows every pixel of ink the real one must show.
void Form1Test::labelTextsAreNotClipped()
{
    const auto inkPixels = [](QLabel& label) {
        const QImage image = label.grab().toImage();
        const QRgb background = label.palette().color(QPalette::Window).rgb();
        int ink = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ink += image.pixel(x, y) != background;
        return ink;
    };
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5"}) {
        auto* label = control<QLabel>(name);
        QLabel roomy(label->text());
        roomy.setFont(label->font());
        roomy.setPalette(label->palette());
        roomy.setAlignment(label->alignment());
        roomy.resize(label->size() + QSize(40, 40));
        QVERIFY2(inkPixels(*label) > 0, name);
        QVERIFY2(inkPixels(*label) == inkPixels(roomy), name);
    }
}

void Form1Test::startUpState()
{
    QCOMPARE(form_->windowTitle(), QStringLiteral("Rowtick"));
    QCOMPARE(form_->size(), QSize(408, 329));
    QCOMPARE(Rows(targets()), QStringList{kHint});
    QCOMPARE(form_->targets().registeredCount(), 0);
    QCOMPARE(results()->count(), 0);
    QCOMPARE(statusBar()->panelCount(), 2);
    QCOMPARE(statusBar()->panelText(0), QString());
    QCOMPARE(statusBar()->panelText(1), QString());
    QCOMPARE(statusBar()->panelRect(0).width(), 300);
    QCOMPARE(statusBar()->panelRect(1).width(), 73);
    QCOMPARE(statusBar()->toolTip(), QStringLiteral("ｼﾝｸﾞﾙｸﾘｯｸで設定画面、ﾀﾞﾌﾞﾙｸﾘｯｸで戻ります。"));
    QCOMPARE(targets()->toolTip(), QStringLiteral("ここにﾌｧｲﾙを投げて下さい！"));
    QCOMPARE(desktop_->dialogsShown, 0);
}

void Form1Test::tabOrderAndFocus()
{
    QCOMPARE(form_->focusWidget(), control("Command2"));

    QStringList order;
    QWidget* widget = control("Command2");
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(form_.get()))
            order.append(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != control("Command2"));
    QCOMPARE(order, (QStringList{"Command2", "Command3", "cmdEnd", "lstFileName", "List1"}));

    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Image1", "Picture1"})
        QVERIFY2(control(name)->focusPolicy() == Qt::NoFocus, name);
    for (auto* button : form_->findChildren<QPushButton*>())
        QVERIFY(!button->isDefault() && !button->autoDefault());
}

void Form1Test::clickableControlsHaveAccessibleNames()
{
    for (const char* name : {"Command2", "Command3", "cmdEnd", "Image1", "Label1", "Label2", "Label5"})
        QVERIFY2(!control(name)->accessibleName().isEmpty(), name);
}

void Form1Test::pictures()
{
    QVERIFY(!form_->windowIcon().isNull());
    QCOMPARE(control<QLabel>("Picture1")->pixmap().size(), QSize(32, 32));
    QCOMPARE(control<QLabel>("Image1")->pixmap().size(), QSize(32, 32));
    QVERIFY(!QPixmap(QStringLiteral(":/images/diamond16.xpm")).isNull());
    for (const char* name : {"Command2", "Command3", "cmdEnd"}) {
        const auto* button = control<QAbstractButton>(name);
        QVERIFY2(!button->icon().pixmap(32, 32).isNull(), name);
        QCOMPARE(button->iconSize(), QSize(32, 32));
    }
    const QCursor hand = control("Label5")->cursor();
    QCOMPARE(hand.shape(), Qt::BitmapCursor);
    QCOMPARE(hand.hotSpot(), QPoint(13, 9));
    QCOMPARE(hand.pixmap().size(), QSize(32, 32));
}

void Form1Test::modes_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<int>("clientHeight");
    QTest::newRow("target heading click: compact") << "heading" << 125;
    QTest::newRow("panel 1 click: expanded") << "panel 1" << 187;
    QTest::newRow("panel 2 click: expanded") << "panel 2" << 187;
    QTest::newRow("panel click twice: expanded again") << "panel 1 twice" << 187;
    QTest::newRow("panel double click ends compact") << "double" << 125;
    QTest::newRow("expanded, then heading: compact") << "panel then heading" << 125;
}

void Form1Test::modes()
{
    QFETCH(QString, gesture);
    QFETCH(int, clientHeight);
    dropFiles({file("a.txt", "a\n"), file("b.txt", "b\n")});
    statusBar()->setPanelText(1, QString());  // only the mode switch may write it now

    QHash<QString, QRect> places;
    for (QWidget* widget : form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        places.insert(widget->objectName(), widget->geometry());
    const QPoint position = form_->pos();

    const QPoint panel1 = statusBar()->panelRect(0).center();
    const QPoint panel2 = statusBar()->panelRect(1).center();
    if (gesture == "heading") {
        QTest::mouseClick(control("Label1"), Qt::LeftButton);
    } else if (gesture == "panel 1") {
        QTest::mouseClick(statusBar(), Qt::LeftButton, {}, panel1);
    } else if (gesture == "panel 2") {
        QTest::mouseClick(statusBar(), Qt::LeftButton, {}, panel2);
    } else if (gesture == "panel 1 twice") {
        QTest::mouseClick(statusBar(), Qt::LeftButton, {}, panel1);
        statusBar()->setPanelText(1, QString());
        QTest::mouseClick(statusBar(), Qt::LeftButton, {}, panel1);
    } else if (gesture == "double") {
        // The platform delivers the press before the double click.
        QTest::mouseClick(statusBar(), Qt::LeftButton, {}, panel2);
        QTest::mouseDClick(statusBar(), Qt::LeftButton, {}, panel2);
    } else if (gesture == "panel then heading") {
        QTest::mouseClick(statusBar(), Qt::LeftButton, {}, panel1);
        QTest::mouseClick(control("Label1"), Qt::LeftButton);
    }

    QCOMPARE(form_->size(), QSize(408, clientHeight));
    QCOMPARE(form_->pos(), position);
    QCOMPARE(statusBar()->panelText(1), Count(2));
    QCOMPARE(statusBar()->geometry(), QRect(0, clientHeight - 17, 408, 17));
    for (QWidget* widget : form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (widget != statusBar())
            QCOMPARE(widget->geometry(), places.value(widget->objectName()));
    }
}

void Form1Test::modeSwitchWhileMaximised()
{
    form_->showMaximized();
    QTRY_VERIFY(form_->isMaximized());
    QTest::mouseClick(statusBar(), Qt::LeftButton, {}, statusBar()->panelRect(0).center());
    QVERIFY(!form_->isMaximized());
    QCOMPARE(form_->height(), 187);
    QCOMPARE(statusBar()->panelText(1), Count(0));
}

void Form1Test::statusBarFollowsResizeAlone()
{
    const QRect list = targets()->geometry();
    const QRect buttons = control("Command2")->geometry();
    form_->resize(520, 400);
    QCOMPARE(statusBar()->geometry(), QRect(0, 383, 520, 17));
    form_->resize(300, 90);
    QCOMPARE(statusBar()->geometry(), QRect(0, 73, 300, 17));
    QCOMPARE(targets()->geometry(), list);
    QCOMPARE(control("Command2")->geometry(), buttons);
    QCOMPARE(statusBar()->panelText(1), QString());
}

void Form1Test::image1Minimises()
{
    QTest::mouseClick(control("Image1"), Qt::LeftButton);
    QVERIFY(form_->windowState() & Qt::WindowMinimized);
    QCOMPARE(form_->size(), QSize(408, 329));
}

void Form1Test::cmdEndEndsWithoutQuestion()
{
    dropFiles({file("a.txt", "a\n")});
    QTest::mouseClick(control("Command2"), Qt::LeftButton);
    QCOMPARE(results()->count(), 1);  // unsaved rows do not hold the program

    QTest::mouseClick(control("cmdEnd"), Qt::LeftButton);
    QVERIFY(!form_->isVisible());
    QCOMPARE(desktop_->dialogsShown, 0);
}

void Form1Test::eventsWithoutAction_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("program name") << "Label3";
    QTest::newRow("version label") << "Label4";
    QTest::newRow("program picture") << "Picture1";
    QTest::newRow("result row") << "List1";
    QTest::newRow("status bar beside the panels") << "STS";
}

void Form1Test::eventsWithoutAction()
{
    QFETCH(QString, name);
    dropFiles({file("a.txt", "a\n")});
    QTest::mouseClick(control("Command2"), Qt::LeftButton);
    statusBar()->setPanelText(0, QStringLiteral("before"));
    statusBar()->setPanelText(1, QStringLiteral("before"));
    QWidget* widget = control(name.toLatin1().constData());

    if (name == "List1") {
        clickRow(results(), 0);
        QTest::mouseDClick(results()->viewport(), Qt::LeftButton, {},
                           results()->visualItemRect(results()->item(0)).center());
    } else if (name == "STS") {
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(widget->width() - 3, 8));
        QTest::mouseDClick(widget, Qt::LeftButton, {}, QPoint(widget->width() - 3, 8));
    } else {
        QTest::mouseClick(widget, Qt::LeftButton);
        QTest::mouseDClick(widget, Qt::LeftButton);
    }

    QCOMPARE(form_->size(), QSize(408, 329));
    QVERIFY(form_->isVisible());
    QVERIFY(!(form_->windowState() & Qt::WindowMinimized));
    QCOMPARE(statusBar()->panelText(0), QStringLiteral("before"));
    QCOMPARE(statusBar()->panelText(1), QStringLiteral("before"));
    QCOMPARE(targets()->count(), 2);
    QCOMPARE(results()->count(), 1);
    QCOMPARE(desktop_->dialogsShown, 0);
    QVERIFY(desktop_->openedUrls.isEmpty());
}

void Form1Test::drops_data()
{
    // Paths are relative to the test's folder; "<dir>" stands for the folder itself.
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("appended");
    QTest::newRow("three files in the delivered order") << QStringList{"c.txt", "a.txt", "b.txt"} << "" << 3;
    QTest::newRow("the same file twice") << QStringList{"a.txt", "a.txt"} << "" << 2;
    QTest::newRow("a folder") << QStringList{"<dir>"} << "" << 1;
    QTest::newRow("a name with spaces and quotes") << QStringList{"my \"quoted\" file $(x).txt"} << "" << 1;
    QTest::newRow("a Japanese name") << QStringList{"計算 表.bas"} << "" << 1;
    QTest::newRow("drop without files (dragged text)") << QStringList{} << "some text" << 0;
}

void Form1Test::drops()
{
    QFETCH(QStringList, names);
    QFETCH(QString, text);
    QFETCH(int, appended);

    QStringList paths;
    for (const QString& name : names)
        paths.append(name == "<dir>" ? dir_->path() : file(name, "x\n"));
    auto data = std::make_unique<QMimeData>();
    if (paths.isEmpty())
        data->setText(text);
    else
        data = FileUrls(paths);

    QVERIFY(Drop(targets()->viewport(), data.get()));

    QCOMPARE(Rows(targets()), QStringList{kHint} + paths);
    QCOMPARE(form_->targets().registeredCount(), appended);
    QCOMPARE(statusBar()->panelText(0), paths.isEmpty() ? QString() : paths.last());
    QCOMPARE(statusBar()->panelText(1), Count(appended));

    // A second drop appends after the first.
    QVERIFY(Drop(targets()->viewport(), data.get()));
    QCOMPARE(statusBar()->panelText(1), Count(2 * appended));
}

void Form1Test::dropKeepsBytesOfNameThatIsNotUtf8()
{
    const QByteArray folder = QFile::encodeName(dir_->path());
    const QByteArray name = folder + "/caf\xE9.txt";  // Latin-1, not UTF-8
    FILE* raw = std::fopen(name.constData(), "wb");
    QVERIFY(raw);
    std::fputs("one\ntwo\nthree\n", raw);
    std::fclose(raw);

    QMimeData data;
    data.setUrls({QUrl::fromEncoded("file://" + name.toPercentEncoding("/"))});
    QVERIFY(Drop(targets()->viewport(), &data));

    QCOMPARE(QByteArray::fromStdString(form_->targets().target(1).native()), name);
    QVERIFY(targets()->item(1)->text().endsWith(QStringLiteral("caf\uFFFD.txt")));

    QTest::mouseClick(control("Command2"), Qt::LeftButton);
    QCOMPARE(results()->count(), 1);
    const QString row = results()->item(0)->text();
    std::remove(name.constData());  // QTemporaryDir cannot remove a name that is not UTF-8
    QVERIFY2(row.startsWith(QStringLiteral("3,\t")), qPrintable(row));
}

void Form1Test::rowWithLineBreakStaysOnOneLine()
{
    QMimeData data;
    data.setUrls({QUrl::fromEncoded("file:///tmp/two%0Alines.txt")});
    QVERIFY(Drop(targets()->viewport(), &data));
    QCOMPARE(form_->targets().target(1).native(), std::string("/tmp/two\nlines.txt"));
    QCOMPARE(targets()->item(1)->text(), QStringLiteral("$'/tmp/two\\nlines.txt'"));
    QCOMPARE(statusBar()->panelText(0), QStringLiteral("$'/tmp/two\\nlines.txt'"));

    QTest::mouseClick(control("Command2"), Qt::LeftButton);
    QVERIFY(!results()->item(0)->text().contains(QLatin1Char('\n')));
}

void Form1Test::dropOnResultListDoesNothing()
{
    const auto data = FileUrls({file("a.txt", "a\n")});
    Drop(results()->viewport(), data.get());
    Drop(results(), data.get());
    QCOMPARE(Rows(targets()), QStringList{kHint});
    QCOMPARE(results()->count(), 0);
    QCOMPARE(statusBar()->panelText(0), QString());
    QCOMPARE(statusBar()->panelText(1), QString());
}

void Form1Test::selection_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("panel1");
    QTest::newRow("a file row shows its bare name") << 1 << "b.txt";
    QTest::newRow("the last row") << 2 << "計算.bas";
    QTest::newRow("the hint row empties the panel") << 0 << "";
}

void Form1Test::selection()
{
    QFETCH(int, row);
    QFETCH(QString, panel1);
    dropFiles({file("b.txt", "b\n"), file("計算.bas", "c\n")});
    QVERIFY(!statusBar()->panelText(0).isEmpty());

    clickRow(targets(), row);
    QCOMPARE(statusBar()->panelText(0), panel1);
    QCOMPARE(statusBar()->panelText(1), Count(2));  // selection leaves the count alone

    // Clicking the selected row again after a drop shows its name again.
    dropFiles({file("z.txt", "z\n")});
    clickRow(targets(), row);
    QCOMPARE(statusBar()->panelText(0), panel1);
}

void Form1Test::countingAppendsRowsInTargetOrder()
{
    const QString two = file("two.txt", "a\r\nb\r\n");
    const QString empty = file("empty.txt", "");
    const QString five = file("five.bas", "1\n2\n3\n4\n5");
    dropFiles({two, empty, five, two});

    QTest::mouseClick(control("Command2"), Qt::LeftButton);
    const QStringList once{"2,\t" + two, "0,\t" + empty, "5,\t" + five, "2,\t" + two};
    QCOMPARE(Rows(results()), once);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // The run never clears: a second press appends the same rows again.
    QTest::mouseClick(control("Command2"), Qt::LeftButton);
    QCOMPARE(Rows(results()), once + once);
    QCOMPARE(Rows(targets()).size(), 5);
}

void Form1Test::uncountedRowExplainsWhy()
{
    const QString missing = dir_->filePath("gone.txt");
    const QString counted = file("here.txt", "x\n");
    dropFiles({dir_->path(), missing, counted});

    QTest::mouseClick(control("Command2"), Qt::LeftButton);
    QCOMPARE(Rows(results()),
             (QStringList{"-,\t" + dir_->path(), "-,\t" + missing, "1,\t" + counted}));
    QCOMPARE(results()->item(0)->toolTip(),
             QString::fromStdString(form_->results().row(0).reason));
    QVERIFY(!results()->item(0)->toolTip().isEmpty());
    QVERIFY(!results()->item(1)->toolTip().isEmpty());
    QVERIFY(results()->item(2)->toolTip().isEmpty());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void Form1Test::countingWithoutTargetsAddsNothingAndRestoresCursor()
{
    QTest::mouseClick(control("Command2"), Qt::LeftButton);
    QCOMPARE(results()->count(), 0);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCOMPARE(Rows(targets()), QStringList{kHint});
}

// The path column starts at the first tab stop (20 dialog units), not at the
// toolkit's default tab width, whatever the count before it.
void Form1Test::resultColumnsStartAtTabStop()
{
    QListWidget* list = results();
    list->addItem(QStringLiteral("\tW"));
    list->addItem(QStringLiteral("7,\tW"));
    list->doItemsLayout();
    const QImage image = list->viewport()->grab().toImage();
    const QColor base = list->palette().color(QPalette::Base);

    const auto lastInkRunStart = [&](int row) {
        const QRect rect = list->visualItemRect(list->item(row));
        int start = -1;
        bool inInk = false;
        for (int x = rect.left(); x <= rect.right(); ++x) {
            bool ink = false;
            for (int y = rect.top(); y <= rect.bottom() && !ink; ++y)
                ink = QColor(image.pixel(x, y)) != base;
            if (ink && !inInk)
                start = x;
            inInk = ink;
        }
        return start - rect.left();
    };

    const int stop = rowtick::TabStopPixels({20}, list->font()).first();
    const int first = lastInkRunStart(0);
    QCOMPARE(lastInkRunStart(1), first);
    QVERIFY2(first >= stop && first <= stop + 8, qPrintable(QString::number(first)));
}

ROWTICK_WINDOW_TEST_MAIN(Form1Test)

#include "Form1Test.moc"
