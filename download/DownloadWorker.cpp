#include "DownloadWorker.h"

#include "BindStatusCallback.h"

namespace velmora {
namespace {

// Passes a worker's notifications on as reports of its run.
class WorkerReports final : public RowReports
{
public:
    WorkerReports(DownloadThreads& threads, int run) : threads_(threads), run_(run) {}
    void SetRowCaption(int32_t row, const QString& caption) override
    {
        threads_.post({DownloadThreads::Report::Kind::Caption, run_, row, caption});
    }
    void SetRowProgress(int32_t row, const QString& progress) override
    {
        threads_.post({DownloadThreads::Report::Kind::Progress, run_, row, progress});
    }
    void EnableTimer() override
    {
        threads_.post({DownloadThreads::Report::Kind::Timer, run_, 0, {}});
    }

private:
    DownloadThreads& threads_;
    int run_;
};

} // namespace

void DownloadThreadProc(PendingDownload pending, DownloadOptions options, DownloadThreads& threads)
{
    WorkerReports reports(threads, pending.run);
    TBindStatusCallback callback(reports, threads.abortFlag());
    callback.SetRowIndex(pending.PendingRow);
    options.abort = threads.abortFlag();
    const DownloadResult result =
        URLDownloadToFile(pending.PendingUrl, pending.PendingPath, &callback, options);
    DownloadThreads::Report done{DownloadThreads::Report::Kind::Finished, pending.run,
                                 pending.PendingRow, result.reason()};
    done.ok = result.ok();
    done.completed = callback.CompletionReported;
    threads.post(std::move(done));
}

DownloadThreads::DownloadThreads(QObject* parent) : QObject(parent)
{
    initDownloads();
}

DownloadThreads::~DownloadThreads()
{
    abortAll();
}

void DownloadThreads::start(PendingDownload pending, DownloadOptions options)
{
    std::lock_guard lock(threadsMutex_);
    const quint64 id = nextId_++;
    threads_.emplace(id, std::thread([this, id, pending = std::move(pending),
                                      options = std::move(options)]() mutable {
                         DownloadThreadProc(std::move(pending), std::move(options), *this);
                         // The thread object is joined on this object's own thread.
                         Report ended{Report::Kind::Ended, 0, 0, {}};
                         ended.thread = id;
                         post(std::move(ended));
                     }));
}

void DownloadThreads::post(Report report)
{
    {
        std::lock_guard lock(mailboxMutex_);
        mailbox_.push_back(std::move(report));
        if (wakePending_)
            return;
        wakePending_ = true;
    }
    // One wake-up carries every report that arrives before it is handled.
    QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
}

void DownloadThreads::deliver()
{
    std::deque<Report> batch;
    {
        std::lock_guard lock(mailboxMutex_);
        batch.swap(mailbox_);
        wakePending_ = false;
    }
    for (const Report& report : batch) {
        switch (report.kind) {
        case Report::Kind::Caption:
            emit rowCaption(report.run, report.row, report.text);
            break;
        case Report::Kind::Progress:
            emit rowProgress(report.run, report.row, report.text);
            break;
        case Report::Kind::Timer:
            emit timerWanted(report.run);
            break;
        case Report::Kind::Finished:
            emit finished(report.run, report.row, report.ok, report.text, report.completed);
            break;
        case Report::Kind::Ended: {
            std::thread done;
            {
                std::lock_guard lock(threadsMutex_);
                const auto it = threads_.find(report.thread);
                if (it == threads_.end())
                    break;
                done = std::move(it->second);
                threads_.erase(it);
            }
            done.join();
            break;
        }
        }
    }
}

void DownloadThreads::abortAll()
{
    abort_.store(true);
    std::map<quint64, std::thread> running;
    {
        std::lock_guard lock(threadsMutex_);
        running.swap(threads_);
    }
    for (auto& [id, thread] : running)
        thread.join();
    abort_.store(false);
}

} // namespace velmora
