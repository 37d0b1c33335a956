#include "CountingSession.h"

#include <algorithm>
#include <chrono>

#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QStyle>
#include <QWidget>

#include "Module1.h"
#include "WindowTexts.h"

namespace rowtick {

namespace {

// A run that ends sooner shows no progress dialog at all.
constexpr std::chrono::milliseconds kProgressDelay{500};
// How often a run takes its ready rows and updates its progress: often enough
// for the list to fill smoothly, seldom enough to leave the cores to the workers.
constexpr std::chrono::milliseconds kPollInterval{15};
// Showing new rows makes the list view lay out all its rows again, which for a
// million rows takes tens of milliseconds of the window's thread, beside the
// workers on the same cores. So new rows wait to be shown this many times as
// long as showing took the last time: a short list fills at every poll, a huge
// one a few times a second, and the list never takes more than a small share
// of the window's time, however long it grows.
constexpr qint64 kShowSpacing = 10;
// How often the progress dialog shows the newest figures: smooth enough to the
// eye, while its text layout and painting, which cost far more than taking the
// rows, are done a tenth as often as the polls.
constexpr std::chrono::milliseconds kProgressRefresh{150};
// Long paths are shortened in the middle to this width, so that the progress
// dialog does not jump in size from one file to the next.
constexpr int kProgressTextWidth = 360;
// The bar's steps from nothing read to everything read.
constexpr int kProgressSteps = 10000;

int Steps(std::uint64_t done, std::uint64_t total)
{
    if (total == 0)
        return 0;
    return static_cast<int>(std::min(done, total) * 1.0 / static_cast<double>(total) * kProgressSteps);
}

}  // namespace

CountingSession::CountingSession(QWidget& window, std::shared_ptr<const TargetList> targets,
                                 CountingJob::Counter counter, RowSink keep, std::function<void()> show)
    : window_(window)
    , keep_(std::move(keep))
    , show_(std::move(show))
    , refusal_(window)
    , job_(std::move(targets), 0, std::move(counter))
{
    connect(&poll_, &QTimer::timeout, this, &CountingSession::step);
}

CountingSession::~CountingSession() = default;

void CountingSession::exec()
{
    clock_.start();
    sinceShown_.start();
    job_.start(CountingJob::Sizes::AtOnce);
    step();
    if (job_.finished())
        return;
    poll_.start(kPollInterval);
    loop_.exec();
}

void CountingSession::stop()
{
    poll_.stop();
    job_.cancel();
    showRows();
    loop_.quit();
}

void CountingSession::showRows()
{
    if (!unshown_)
        return;
    QElapsedTimer cost;
    cost.start();
    show_();
    unshown_ = false;
    showCost_ = cost.nsecsElapsed();
    sinceShown_.restart();
}

void CountingSession::cancel()
{
    cancelled_ = true;
    job_.cancel();
}

void CountingSession::step()
{
    std::vector<ResultRow> rows = job_.takeRows();
    if (!rows.empty()) {
        keep_(std::move(rows));
        unshown_ = true;
    }
    const bool finished = job_.finished();
    if (finished || sinceShown_.nsecsElapsed() >= kShowSpacing * showCost_)
        showRows();
    if (finished) {
        poll_.stop();
        loop_.quit();
        return;
    }
    if (cancelled_)
        return;
    if (!progress_ && clock_.elapsed() >= kProgressDelay.count())
        showProgress();
    else if (!progress_ || sinceProgress_.elapsed() < kProgressRefresh.count())
        return;
    updateProgress();
}

void CountingSession::showProgress()
{
    progress_ = std::make_unique<QProgressDialog>(&window_);
    progress_->setWindowModality(Qt::NonModal);  // see InputRefusal
    progress_->setWindowTitle(texts::Caption());
    auto* label = new QLabel(progress_.get());
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setTextFormat(Qt::PlainText);
    progress_->setLabel(label);
    auto* bar = new QProgressBar(progress_.get());
    bar->setAccessibleName(texts::ProgressBarName());
    progress_->setBar(bar);
    progress_->setCancelButtonText(texts::CancelButton());
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumDuration(0);
    // Busy until the sizes of the targets are known.
    progress_->setRange(0, 0);
    progress_->setMinimumWidth(kProgressTextWidth + 2 * progress_->style()->pixelMetric(QStyle::PM_LayoutLeftMargin));
    connect(progress_.get(), &QProgressDialog::canceled, this, &CountingSession::cancel);
    connect(progress_.get(), &QDialog::rejected, this, &CountingSession::cancel);
}

void CountingSession::updateProgress()
{
    const QString file =
        progress_->fontMetrics().elidedText(DisplayText(job_.current()), Qt::ElideMiddle, kProgressTextWidth);
    progress_->setLabelText(texts::CountingProgress(job_.taken(), job_.total(), file));
    // By bytes: a few big files among many small ones move the bar as they are read.
    if (const std::optional<std::uint64_t> total = job_.bytesToRead()) {
        progress_->setMaximum(kProgressSteps);
        progress_->setValue(*total > 0 ? Steps(job_.bytesRead(), *total)
                                       : Steps(static_cast<std::uint64_t>(job_.taken()),
                                               static_cast<std::uint64_t>(job_.total())));
    }
    progress_->show();
    sinceProgress_.restart();
}

}  // namespace rowtick
