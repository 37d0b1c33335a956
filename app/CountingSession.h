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
    // Where the rows go, in target order, as soon as they are ready: they are
    // the results, kept at once. Showing them is asked for apart, and what it
    // costs (the list's layout) paces how often.
    using RowSink = std::function<void(std::vector<ResultRow>)>;

    CountingSession(QWidget& window, std::shared_ptr<const TargetList> targets, CountingJob::Counter counter,
                    RowSink keep, std::function<void()> show);
    ~CountingSession() override;
    CountingSession(const CountingSession&) = delete;
    CountingSession& operator=(const CountingSession&) = delete;

    // Counts until every row is in or the run is cancelled; the window's events
    // are served meanwhile.
    void exec();
    // Ends the run at once (the window is closing): the rows kept stay,
    // nothing waits for a worker.
    void stop();

private:
    void step();
    void showRows();
    void showProgress();
    void cancel();
    void updateProgress();

    QWidget& window_;
    RowSink keep_;
    std::function<void()> show_;
    const BusyCursor busy_;
    const InputRefusal refusal_;
    CountingJob job_;
    QEventLoop loop_;
    QTimer poll_;
    QElapsedTimer clock_;
    bool unshown_ = false;         // rows kept but not shown yet
    QElapsedTimer sinceShown_;
    qint64 showCost_ = 0;          // how long the list took to show the rows last time, in nanoseconds
    QElapsedTimer sinceProgress_;  // since the progress dialog last showed the figures
    bool cancelled_ = false;
    std::unique_ptr<QProgressDialog> progress_;
};

}  // namespace rowtick
