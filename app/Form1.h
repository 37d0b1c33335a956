// The program's only window: the target list, the result list, the buttons and
// the status bar, with one handler per event.
#pragma once

#include <memory>
#include <vector>

#include <QWidget>

#include "counting/CountingJob.h"
#include "counting/ResultList.h"
#include "targets/TargetList.h"

class QListView;
class QMimeData;
class QLabel;
class QToolButton;

namespace rowtick {

class ClickableLabel;
class CountingSession;
class Desktop;
class PanelStatusBar;
class ResultListModel;
class TargetListModel;

class Form1 : public QWidget {
    Q_OBJECT
public:
    // The two reduced heights the status bar and the target heading switch to.
    enum class Mode { CompactMode, ExpandedMode };

    // Client sizes in device-independent pixels (15 twips each).
    static constexpr int kClientWidth = 408;
    static constexpr int kClientHeight = 329;
    static constexpr int kCompactHeight = 125;
    static constexpr int kExpandedHeight = 187;
    static constexpr int kStatusBarHeight = 17;

    explicit Form1(Desktop& desktop, QWidget* parent = nullptr);
    ~Form1() override;

    const TargetList& targets() const { return *targets_; }

    // Appends targets exactly as a drop of them does: in order, panel 1 ends on
    // the last one's path and panel 2 shows the new count. Used by the drop and
    // by files named on the command line.
    void RegisterTargets(std::vector<DroppedTarget> entries);
    const ResultList& results() const { return results_; }
    // A count is running: the window takes no drops until countEnded().
    bool counting() const { return run_ != nullptr; }

    // How a counting run counts one target. The program keeps the line
    // counter; tests hold a chosen target to make a run last as they need.
    void setLineCounter(CountingJob::Counter counter) { lineCounter_ = std::move(counter); }

signals:
    void countEnded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void Form_Load();
    void Command2_Click();
    void Command3_Click();
    void cmdEnd_Click();
    void Image1_Click();
    void Label1_Click();
    void Label2_Click();
    void Label5_Click();
    void lstFileName_Click();
    void lstFileName_DblClick();
    void STS_PanelClick(int panel);
    void STS_PanelDblClick(int panel);

private:
    void lstFileName_OLEDragDrop(const QMimeData* data);
    void SwitchMode(Mode mode);
    void RefreshRegisteredCount();
    void ShowNewResultRows();
    int selectedTargetRow() const;
    // Hands `url` to the desktop; where nothing opens it, panel 1 says so.
    void openOnDesktop(const QUrl& url);

    void createControls();
    void connectEvents();

    Desktop& desktop_;
    // Shared with a counting run, which never copies it.
    std::shared_ptr<TargetList> targets_ = std::make_shared<TargetList>();
    ResultList results_;
    // The lists' views read the core lists through these; nothing is copied.
    TargetListModel* targetModel_ = nullptr;
    ResultListModel* resultModel_ = nullptr;
    CountingJob::Counter lineCounter_;
    CountingSession* run_ = nullptr;  // the counting run in progress, if any

    QLabel* Label4 = nullptr;
    ClickableLabel* Label1 = nullptr;
    QListView* lstFileName = nullptr;
    ClickableLabel* Image1 = nullptr;
    ClickableLabel* Label2 = nullptr;
    QListView* List1 = nullptr;
    QToolButton* Command2 = nullptr;
    QToolButton* Command3 = nullptr;
    QToolButton* cmdEnd = nullptr;
    QLabel* Picture1 = nullptr;
    QLabel* Label3 = nullptr;
    ClickableLabel* Label5 = nullptr;
    PanelStatusBar* STS = nullptr;
};

}  // namespace rowtick
