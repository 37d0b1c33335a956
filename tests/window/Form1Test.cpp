// The main window as the user meets it: layout, modes, clicks, drops,
// selection, the status bar and the counting button. Odd names are in
// NamesTest, long runs in CountingRunTest.
#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QPushButton>

#include "TabStopDelegate.h"
#include "WindowTestSupport.h"

using namespace rowtick::testing;

namespace {

const QString kHint = QStringLiteral("ここにファイルを投げて下さい！");

QString Count(int n)
{
    return QStringLiteral("登録数=%1").arg(n);
}

}  // namespace

class Form1Test : public QObject, WindowFixture {
    Q_OBJECT

private slots:
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    void controls_data();
    void controls();
    void labelTextsAreNotClipped();
    void startUpState();
    void keyboardAndAccessibility();
    void pictures();

    void modes_data();
    void modes();
    void modeSwitchWhileMaximised();
    void statusBarFollowsResizeAlone();
    void clicks_data();
    void clicks();

    void drops_data();
    void drops();
    void dropOnResultListDoesNothing();
    void selection_data();
    void selection();

    void counting_data();
    void counting();
    void resultColumnsStartAtTabStop();
};

void Form1Test::controls_data()
{
    // An invalid colour: the control's text colour is not checked.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QColor>("colour");
    const QColor blue(0, 0, 255), orange(255, 128, 0), unchecked;
    QTest::newRow("version label") << "Label4" << QRect(307, 1, 95, 17) << "Rowtick Ver1.0"
                                   << "Copyright © Halvern. All rights reserved." << unchecked;
    QTest::newRow("target heading") << "Label1" << QRect(10, 5, 111, 11) << "対象ファイル" << "" << unchecked;
    QTest::newRow("target list, blue") << "lstFileName" << QRect(5, 19, 397, 100) << ""
                                       << "ここにﾌｧｲﾙを投げて下さい！" << blue;
    QTest::newRow("diamond") << "Image1" << QRect(185, 120, 32, 32) << "" << "" << unchecked;
    QTest::newRow("result heading") << "Label2" << QRect(5, 130, 111, 11) << "ファイル・ステップ数" << "" << unchecked;
    QTest::newRow("result list, orange") << "List1" << QRect(6, 145, 397, 100) << "" << "" << orange;
    QTest::newRow("count button, half-width katakana") << "Command2" << QRect(175, 250, 74, 55) << "ｶｳﾝﾄ開始" << "" << unchecked;
    QTest::newRow("save button") << "Command3" << QRect(252, 250, 72, 55) << "結果保存" << "" << unchecked;
    QTest::newRow("end button") << "cmdEnd" << QRect(326, 250, 75, 55) << "終了" << "" << unchecked;
    QTest::newRow("program picture") << "Picture1" << QRect(20, 263, 38, 38) << "" << "" << unchecked;
    QTest::newRow("program name, blue") << "Label3" << QRect(59, 266, 104, 15) << "Rowtick" << "" << blue;
    QTest::newRow("mail address, orange") << "Label5" << QRect(58, 281, 104, 14) << "mail@hv.example"
                                          << "質問など、お気軽に" << orange;
    QTest::newRow("status bar docked at the bottom") << "STS" << QRect(0, 312, 408, 17) << ""
                                                     << "ｼﾝｸﾞﾙｸﾘｯｸで設定画面、ﾀﾞﾌﾞﾙｸﾘｯｸで戻ります。" << unchecked;
}

void Form1Test::controls()
{
    QFETCH(QString, name);
    QFETCH(QRect, place);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(QColor, colour);
    QWidget* widget = control(name);
    QCOMPARE(widget->parentWidget(), form_.get());
    QCOMPARE(widget->geometry(), place);
    QVERIFY(widget->isVisible());
    QVERIFY(widget->isEnabled());
    QCOMPARE(widget->toolTip(), toolTip);
    if (auto* label = qobject_cast<QLabel*>(widget))
        QCOMPARE(label->text(), text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        QCOMPARE(button->text(), text);
    if (colour.isValid()) {
        const bool list = qobject_cast<QListWidget*>(widget);
        QCOMPARE(widget->palette().color(list ? QPalette::Text : QPalette::WindowText), colour);
    }
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
    QCOMPARE(desktop_->dialogsShown, 0);
}

void Form1Test::keyboardAndAccessibility()
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
    for (const char* name : {"Command2", "Command3", "cmdEnd", "Image1", "Label1", "Label2", "Label5"})
        QVERIFY2(!control(name)->accessibleName().isEmpty(), name);
}

void Form1Test::pictures()
{
    QVERIFY(!form_->windowIcon().isNull());
    QCOMPARE(control<QLabel>("Picture1")->pixmap().size(), QSize(32, 32));
    QCOMPARE(control<QLabel>("Image1")->pixmap().size(), QSize(32, 32));
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
    dropFiles({file("a.txt"), file("b.txt")});
    statusBar()->setPanelText(1, QString());  // only the mode switch may write it now

    QHash<QString, QRect> places;
    for (QWidget* widget : form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        places.insert(widget->objectName(), widget->geometry());
    const QPoint position = form_->pos();

    const QPoint panel1 = statusBar()->panelRect(0).center();
    const QPoint panel2 = statusBar()->panelRect(1).center();
    if (gesture == "heading") {
        click("Label1");
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
        click("Label1");
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

void Form1Test::clicks_data()
{
    // What the click leaves behind: "nothing" (a double click too), "minimised",
    // "ended", or the address handed to the desktop.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("diamond minimises") << "Image1" << "minimised";
    QTest::newRow("end button ends without asking about unsaved rows") << "cmdEnd" << "ended";
    QTest::newRow("result heading opens the home page") << "Label2" << "https://hv.example/rowtick/";
    QTest::newRow("mail address starts a mail to itself") << "Label5" << "mailto:mail@hv.example";
    QTest::newRow("program name: nothing") << "Label3" << "nothing";
    QTest::newRow("version label: nothing") << "Label4" << "nothing";
    QTest::newRow("program picture: nothing") << "Picture1" << "nothing";
    QTest::newRow("result row: nothing") << "List1" << "nothing";
    QTest::newRow("status bar beside the panels: nothing") << "STS" << "nothing";
}

void Form1Test::clicks()
{
    QFETCH(QString, name);
    QFETCH(QString, outcome);
    dropFiles({file("a.txt")});
    click("Command2");
    statusBar()->setPanelText(0, QStringLiteral("before"));
    statusBar()->setPanelText(1, QStringLiteral("before"));
    QWidget* widget = control(name);

    if (name == "List1") {
        doubleClickRow(results(), 0);
    } else if (name == "STS") {
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(widget->width() - 3, 8));
        QTest::mouseDClick(widget, Qt::LeftButton, {}, QPoint(widget->width() - 3, 8));
    } else {
        QTest::mouseClick(widget, Qt::LeftButton);
        if (outcome == "nothing")
            QTest::mouseDClick(widget, Qt::LeftButton);
    }

    QCOMPARE(form_->size(), QSize(408, 329));
    QCOMPARE(form_->isVisible(), outcome != "ended");
    QCOMPARE(bool(form_->windowState() & Qt::WindowMinimized), outcome == "minimised");
    QCOMPARE(statusBar()->panelText(0), QStringLiteral("before"));
    QCOMPARE(statusBar()->panelText(1), QStringLiteral("before"));
    QCOMPARE(targets()->count(), 2);
    QCOMPARE(results()->count(), 1);
    QCOMPARE(desktop_->dialogsShown, 0);
    const QUrl url(outcome);
    QCOMPARE(desktop_->openedUrls, url.scheme().isEmpty() ? QList<QUrl>{} : QList<QUrl>{url});
}

void Form1Test::drops_data()
{
    // Paths are relative to the test's folder; "<dir>" stands for the folder itself.
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("appended");
    QTest::newRow("three files in the delivered order") << QStringList{"c.txt", "a.txt", "b.txt"} << 3;
    QTest::newRow("the same file twice") << QStringList{"a.txt", "a.txt"} << 2;
    QTest::newRow("a folder") << QStringList{"<dir>"} << 1;
    QTest::newRow("a Japanese name with a space") << QStringList{"計算 表.bas"} << 1;
    QTest::newRow("drop without files (dragged text)") << QStringList{} << 0;
}

void Form1Test::drops()
{
    QFETCH(QStringList, names);
    QFETCH(int, appended);
    QStringList paths;
    for (const QString& name : names)
        paths.append(name == "<dir>" ? dir_->path() : file(name));

    QCOMPARE(Drop(targets()->viewport(), FileUrls(paths), QStringLiteral("some text")), 3);
    QCOMPARE(Rows(targets()), QStringList{kHint} + paths);
    QCOMPARE(form_->targets().registeredCount(), appended);
    QCOMPARE(statusBar()->panelText(0), paths.isEmpty() ? QString() : paths.last());
    QCOMPARE(statusBar()->panelText(1), Count(appended));

    // A second drop appends after the first.
    QCOMPARE(Drop(targets()->viewport(), FileUrls(paths), QStringLiteral("some text")), 3);
    QCOMPARE(statusBar()->panelText(1), Count(2 * appended));
}

void Form1Test::dropOnResultListDoesNothing()
{
    const QList<QUrl> urls = FileUrls({file("a.txt")});
    Drop(results()->viewport(), urls);
    Drop(results(), urls);
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
    dropFiles({file("b.txt"), file("計算.bas")});
    QVERIFY(!statusBar()->panelText(0).isEmpty());

    clickRow(targets(), row);
    QCOMPARE(statusBar()->panelText(0), panel1);
    QCOMPARE(statusBar()->panelText(1), Count(2));  // selection leaves the count alone

    // Clicking the selected row again after a drop shows its name again.
    dropFiles({file("z.txt")});
    clickRow(targets(), row);
    QCOMPARE(statusBar()->panelText(0), panel1);
}

void Form1Test::counting_data()
{
    // Targets by name in the test's folder: "<dir>" is the folder, "gone.txt"
    // does not exist. One count per row; "-" marks a target not counted.
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("counts");
    QTest::newRow("in target order, CR LF and a last line without break, a duplicate")
        << QStringList{"two.txt", "empty.txt", "five.bas", "two.txt"} << QStringList{"2", "0", "5", "2"};
    QTest::newRow("a folder and a missing file say why they are not counted")
        << QStringList{"<dir>", "gone.txt", "two.txt"} << QStringList{"-", "-", "2"};
    QTest::newRow("no targets add nothing") << QStringList{} << QStringList{};
}

void Form1Test::counting()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, counts);
    file("two.txt", "a\r\nb\r\n");
    file("empty.txt", "");
    file("five.bas", "1\n2\n3\n4\n5");
    QStringList paths;
    for (const QString& name : names)
        paths.append(name == "<dir>" ? dir_->path() : dir_->filePath(name));
    if (!paths.isEmpty())
        dropFiles(paths);

    click("Command2");
    QStringList once;
    for (qsizetype i = 0; i < paths.size(); ++i)
        once.append(counts.at(i) + ",\t" + paths.at(i));
    QCOMPARE(Rows(results()), once);
    const QStringList tips = Rows(results(), Qt::ToolTipRole);
    for (qsizetype i = 0; i < counts.size(); ++i)
        QVERIFY2(tips.at(i).isEmpty() == (counts.at(i) != "-"), qPrintable(paths.at(i)));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // The run never clears: a second press appends the same rows again.
    click("Command2");
    QCOMPARE(Rows(results()), once + once);
    QCOMPARE(Rows(targets()), QStringList{kHint} + paths);
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
