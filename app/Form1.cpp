#include "Form1.h"

#include <algorithm>
#include <memory>

#include <QAccessible>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QKeyEvent>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

#include "AccessibleRoles.h"
#include "ClickableLabel.h"
#include "CountingSession.h"
#include "basSave.h"
#include "Desktop.h"
#include "Module1.h"
#include "PanelStatusBar.h"
#include "Pictures.h"
#include "ResultListModel.h"
#include "saving/ResultWriter.h"
#include "TabStopDelegate.h"
#include "TargetListModel.h"
#include "Texts.h"
#include "WindowTexts.h"

namespace rowtick {

namespace {

// Every control's place, from twips at 15 per pixel.
constexpr QRect kLabel4(307, 1, 95, 17);
constexpr QRect kLabel1(10, 5, 111, 11);
constexpr QRect kLstFileName(5, 19, 397, 100);
constexpr QRect kImage1(185, 120, 32, 32);
constexpr QRect kLabel2(5, 130, 111, 11);
constexpr QRect kList1(6, 145, 397, 100);
constexpr QRect kCommand2(175, 250, 74, 55);
constexpr QRect kCommand3(252, 250, 72, 55);
constexpr QRect kCmdEnd(326, 250, 75, 55);
constexpr QRect kPicture1(20, 263, 38, 38);
constexpr QRect kLabel3(59, 266, 104, 15);
constexpr QRect kLabel5(58, 281, 104, 14);

constexpr int kPanel1Width = 300;
constexpr int kPanel2Width = 73;
// The result list's tab stops in dialog units.
const QList<int> kResultTabStops{20, 50, 70};

const QColor kBlue(0, 0, 255);
const QColor kOrange(255, 128, 0);

// The labels are 11 to 17 pixels tall; Japanese text of this pixel size, hinted
// to whole pixels, still fits them whole, and "ファイル・ステップ数" fits its 111 pixels.
constexpr int kFontPixelSize = 11;

QString Text(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

void SetTextColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QToolButton* MakeButton(QWidget* parent, const QString& name, const QString& caption,
                        const QPixmap& picture, const QRect& place)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(caption);
    button->setAccessibleName(caption);
    button->setIcon(QIcon(picture));
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setGeometry(place);
    return button;
}

ClickableLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text,
                          const QRect& place)
{
    auto* label = new ClickableLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setGeometry(place);
    return label;
}

QListView* MakeList(QWidget* parent, const QString& name, const QString& accessibleName,
                    const QColor& textColour, const QRect& place)
{
    auto* list = new QListView(parent);
    list->setObjectName(name);
    list->setAccessibleName(accessibleName);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    // A path too long for the list loses its middle, so that the file's name stays in sight.
    list->setTextElideMode(Qt::ElideMiddle);
    SetTextColour(list, QPalette::Text, textColour);
    list->setGeometry(place);
    return list;
}

bool IsReturn(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat();
}

}  // namespace

Form1::Form1(Desktop& desktop, QWidget* parent) : QWidget(parent), desktop_(desktop)
{
    InstallAccessibleRoles();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(texts::Caption());
    setWindowIcon(QIcon(pictures::Program()));

    QFont font = QGuiApplication::font();
    font.setPixelSize(kFontPixelSize);
    font.setHintingPreference(QFont::PreferFullHinting);
    setFont(font);

    createControls();
    resize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Form_Load();
    connectEvents();
    Command2->setFocus();

    // Laying out the target list's rows loads the fonts, the longest step of
    // the start: it is done once the window is on the screen, before its first
    // paint, so that the window appears as soon as it can.
    lstFileName->hide();
    QTimer::singleShot(0, lstFileName, &QWidget::show);
}

Form1::~Form1() = default;

void Form1::createControls()
{
    Label4 = new QLabel(texts::VersionLabel(), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setAlignment(Qt::AlignCenter);
    Label4->setToolTip(texts::RightsNotice());
    Label4->setGeometry(kLabel4);

    Label1 = MakeLabel(this, QStringLiteral("Label1"), texts::TargetsHeading(), kLabel1);
    Label1->setAccessibleName(texts::TargetsHeading());
    Label1->setAccessibleDescription(texts::CompactAction());

    // The image first, so that the lists created after it lie above it.
    Image1 = new ClickableLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    QIcon diamond;
    diamond.addPixmap(pictures::Diamond32());
    diamond.addPixmap(pictures::Diamond16());
    Image1->setPixmap(diamond.pixmap(QSize(32, 32)));
    Image1->setAccessibleName(texts::MinimiseAction());
    Image1->setGeometry(kImage1);

    lstFileName = MakeList(this, QStringLiteral("lstFileName"), texts::TargetsHeading(), kBlue, kLstFileName);
    lstFileName->setItemDelegate(new TabStopDelegate({}, lstFileName));  // no tab stops: for the cut of long paths
    targetModel_ = new TargetListModel(targets_, this);
    lstFileName->setToolTip(texts::TargetsToolTip());
    lstFileName->setAcceptDrops(true);
    lstFileName->viewport()->setAcceptDrops(true);
    lstFileName->viewport()->installEventFilter(this);
    lstFileName->installEventFilter(this);  // Return opens the selected target

    Label2 = MakeLabel(this, QStringLiteral("Label2"), texts::ResultsHeading(), kLabel2);
    Label2->setAccessibleName(texts::ResultsHeading());
    Label2->setAccessibleDescription(texts::HomePageAction());

    List1 = MakeList(this, QStringLiteral("List1"), texts::ResultsHeading(), kOrange, kList1);
    List1->setItemDelegate(new TabStopDelegate(kResultTabStops, List1));
    resultModel_ = new ResultListModel(results_, this);
    List1->setModel(resultModel_);

    Command2 = MakeButton(this, QStringLiteral("Command2"), texts::CountButton(),
                          pictures::Sheets(), kCommand2);
    Command3 = MakeButton(this, QStringLiteral("Command3"), texts::SaveButton(),
                          pictures::Floppy(), kCommand3);
    cmdEnd = MakeButton(this, QStringLiteral("cmdEnd"), texts::EndButton(),
                        pictures::Door(), kCmdEnd);

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture1->setAlignment(Qt::AlignCenter);
    Picture1->setPixmap(pictures::Program());
    Picture1->setAccessibleName(texts::ProgramName());
    Picture1->setGeometry(kPicture1);

    Label3 = new QLabel(texts::ProgramName(), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setAlignment(Qt::AlignCenter);
    SetTextColour(Label3, QPalette::WindowText, kBlue);
    Label3->setGeometry(kLabel3);

    Label5 = MakeLabel(this, QStringLiteral("Label5"), texts::MakerAddress(), kLabel5);
    Label5->setAlignment(Qt::AlignCenter);
    Label5->setToolTip(texts::MailToolTip());
    Label5->setAccessibleName(texts::MakerAddress());
    Label5->setAccessibleDescription(texts::MailAction());
    SetTextColour(Label5, QPalette::WindowText, kOrange);
    Label5->setCursor(QCursor(pictures::Hand(), 13, 9));

    STS = new PanelStatusBar({kPanel1Width, kPanel2Width}, this);
    STS->setObjectName(QStringLiteral("STS"));
    STS->setToolTip(texts::StatusToolTip());
    STS->setAccessibleName(texts::StatusBarName());
    STS->setGeometry(0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight);
    // Docked over everything else when the window is short.
    STS->raise();

    // Return and Enter press the focused button, as Space does.
    for (QToolButton* button : {Command2, Command3, cmdEnd})
        button->installEventFilter(this);

    setTabOrder(Command2, Command3);
    setTabOrder(Command3, cmdEnd);
    setTabOrder(cmdEnd, lstFileName);
    setTabOrder(lstFileName, List1);
}

void Form1::connectEvents()
{
    connect(Command2, &QToolButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QToolButton::clicked, this, &Form1::Command3_Click);
    connect(cmdEnd, &QToolButton::clicked, this, &Form1::cmdEnd_Click);
    connect(Image1, &ClickableLabel::clicked, this, &Form1::Image1_Click);
    connect(Label1, &ClickableLabel::clicked, this, &Form1::Label1_Click);
    connect(Label2, &ClickableLabel::clicked, this, &Form1::Label2_Click);
    connect(Label5, &ClickableLabel::clicked, this, &Form1::Label5_Click);
    // A selection, by mouse or keys, shows the row's name; a click on the row
    // that is already selected shows it again, too. The focus alone, which
    // makes a row current without selecting it, changes nothing.
    connect(lstFileName->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Form1::lstFileName_Click);
    connect(lstFileName, &QListView::clicked, this, &Form1::lstFileName_Click);
    connect(lstFileName, &QListView::doubleClicked, this, &Form1::lstFileName_DblClick);
    connect(STS, &PanelStatusBar::panelClicked, this, &Form1::STS_PanelClick);
    connect(STS, &PanelStatusBar::panelDoubleClicked, this, &Form1::STS_PanelDblClick);
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (IsReturn(event)) {
        if (auto* button = qobject_cast<QToolButton*>(watched)) {
            button->click();
            return true;
        }
        if (watched == lstFileName) {
            lstFileName_DblClick();  // as a double click does; the hint row opens nothing
            return true;
        }
    }
    if (watched == lstFileName->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
            // Anything may be dropped: a drop without files still refreshes the count.
            static_cast<QDropEvent*>(event)->acceptProposedAction();
            return true;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            lstFileName_OLEDragDrop(drop->mimeData());
            drop->acceptProposedAction();
            return true;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    STS->setGeometry(0, height() - kStatusBarHeight, width(), kStatusBarHeight);
}

void Form1::Form_Load()
{
    // The hint row is row 0 of the target list itself: loading shows the list.
    lstFileName->setModel(targetModel_);
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Closing ends the program at once, in the middle of a run too: the run
    // stops where it is and nothing waits for a worker.
    if (run_)
        run_->stop();
    QWidget::closeEvent(event);
}

void Form1::Command2_Click()
{
    // Input is refused during a run, but the button can still be pressed by
    // other means (accessibility); a run must never start inside another.
    if (run_)
        return;
    results_.reserve(targets_->registeredCount());  // the rows come in batches; room for all of them at once
    results_.countingFrom(*targets_);               // the rows' paths are the targets' own
    CountingSession run(
        *this, targets_, lineCounter_, [this](std::vector<ResultRow> rows) { results_.append(std::move(rows)); },
        [this] { ShowNewResultRows(); });
    run_ = &run;
    run.exec();
    run_ = nullptr;
    emit countEnded();
}

void Form1::ShowNewResultRows()
{
    // The list follows the newest row, unless the user has scrolled away from the end.
    const QScrollBar* bar = List1->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    resultModel_->showNewRows();
    // Laid out now rather than on the next pass of the event loop: what the
    // layout costs is then the hand-over's, which paces the next one.
    List1->doItemsLayout();
    if (atEnd)
        List1->scrollToBottom();
}

void Form1::Command3_Click()
{
    // The current folder by its bytes: its name as text may not be a folder at all.
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    const QString initialFolder = error ? QDir::currentPath() : ShowableFolder(current);
    const QString fileName = ShowSaveDialog(desktop_, this, texts::SaveFilter(), initialFolder);
    if (fileName.isEmpty())
        return;  // cancelled: nothing written, nothing to say

    const WriteOutcome outcome = WriteResultFile(PathFromText(fileName), results_);
    const QString shown = QDir::toNativeSeparators(fileName);
    if (!outcome.ok) {
        QMessageBox warning(QMessageBox::Warning, texts::ApplicationTitle(),
                            texts::SaveFailed(shown, Text(outcome.reason)), QMessageBox::Ok,
                            this);
        desktop_.exec(warning);
        return;
    }
    // Saved, perhaps with a caveat (a folder that could not be flushed) on a line of its own.
    const QString caveat = outcome.warning.empty() ? QString() : QLatin1Char('\n') + Text(outcome.warning);
    QMessageBox confirmation(QMessageBox::Information, texts::ApplicationTitle(),
                             shown + QLatin1Char('\n') + texts::Saved() + caveat, QMessageBox::Ok, this);
    desktop_.exec(confirmation);
}

void Form1::cmdEnd_Click()
{
    // The only window: closing it ends the program, without a question.
    close();
}

void Form1::Image1_Click()
{
    setWindowState(windowState() | Qt::WindowMinimized);
}

void Form1::Label1_Click()
{
    SwitchMode(Mode::CompactMode);
}

void Form1::Label2_Click()
{
    openOnDesktop(QUrl(texts::HomePage()));
}

void Form1::Label5_Click()
{
    openOnDesktop(QUrl(QStringLiteral("mailto:") + texts::MakerAddress()));
}

void Form1::openOnDesktop(const QUrl& url)
{
    if (!desktop_.openUrl(url))
        STS->setPanelText(0, texts::NothingOpens());
}

int Form1::selectedTargetRow() const
{
    const QModelIndexList selected = lstFileName->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void Form1::lstFileName_Click()
{
    const int row = selectedTargetRow();
    if (row < 0)
        return;
    STS->setPanelText(0, TargetList::isHintRow(row) ? QString()
                                                    : DisplayText(FileNameOf(targets_->target(row))));
}

void Form1::lstFileName_DblClick()
{
    // The hint row names no file, and a refused entry none this program may open.
    const int row = selectedTargetRow();
    if (row < 0 || TargetList::isHintRow(row) || targets_->refusal(row))
        return;
    openOnDesktop(FileUrlOf(targets_->target(row)));
}

void Form1::lstFileName_OLEDragDrop(const QMimeData* data)
{
    RegisterTargets(data ? DroppedTargetsOf(*data) : std::vector<DroppedTarget>());
}

void Form1::RegisterTargets(std::vector<DroppedTarget> entries)
{
    // One insertion for the whole drop; panel 1 ends on the last path.
    const bool any = !entries.empty();
    const QString last = any ? DisplayText(entries.back().path) : QString();
    targetModel_->append(std::move(entries));
    if (any)
        STS->setPanelText(0, last);
    RefreshRegisteredCount();
}

void Form1::STS_PanelClick(int /*panel*/)
{
    SwitchMode(Mode::ExpandedMode);
}

void Form1::STS_PanelDblClick(int /*panel*/)
{
    SwitchMode(Mode::CompactMode);
}

void Form1::SwitchMode(Mode mode)
{
    // A maximised or full-screen window keeps its size until it is restored:
    // restore it to the width and place it had before, then set the height.
    const Qt::WindowStates stretched = Qt::WindowMaximized | Qt::WindowFullScreen;
    QRect place = geometry();
    if (windowState() & stretched) {
        place = normalGeometry();
        setWindowState(windowState() & ~stretched);
    }
    place.setHeight(mode == Mode::CompactMode ? kCompactHeight : kExpandedHeight);
    setGeometry(place);
    RefreshRegisteredCount();
}

void Form1::RefreshRegisteredCount()
{
    STS->setPanelText(1, Text(RegisteredCountText(targets_->registeredCount())));
}

}  // namespace rowtick
