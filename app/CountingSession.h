// One press of the count button: the counting job started, its rows handed to
// the window as they become ready, the progress dialog after a moment, cancel,
// the window's input refused and the busy pointer meanwhile, and the end.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include "BusyCursor.h"
#include "counting/CountingJob.h"
#include "InputRefusal.h"

class QProgressDialog;
class QWidget;

namespace rowtick {

class CountingSession final : public QObject {
public:
    // Where the rows go, in target order, a batch at a time. What it costs (the
    // list's layout too) paces the batches.
    using RowSink = std::function<void(std::vector<ResultRow>)>;

    CountingSession(QWidget& window, std::shared_ptr<const TargetList> targets, CountingJob::Counter counter,
                    RowSink sink);
    ~CountingSession() override;
    CountingSession(const CountingSession&) = delete;
    CountingSession& operator=(const CountingSession&) = delete;

    // Counts until every row is in or the run is cancelled; the window's events
    // are served meanwhile.
    void exec();
    // Ends the run at once (the window is closing): the rows handed over stay,
    // nothing waits for a worker.
    void stop();

private:
    void step();
    void handOver();
    void showProgress();
    void cancel();
    void updateProgress();

    QWidget& window_;
    RowSink sink_;
    const BusyCursor busy_;
    const InputRefusal refusal_;
    CountingJob job_;
    QEventLoop loop_;
    QTimer poll_;
    QElapsedTimer clock_;
    std::vector<ResultRow> held_;  // taken from the job, not yet handed to the window
    QElapsedTimer sinceHandOver_;
    qint64 handOverCost_ = 0;      // how long the last hand-over took, in nanoseconds
    QElapsedTimer sinceProgress_;  // since the progress dialog last showed the figures
    bool cancelled_ = false;
    std::unique_ptr<QProgressDialog> progress_;
};

}  // namespace rowtick
