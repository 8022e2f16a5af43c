#include "DownloadWorker.h"

#include "BindStatusCallback.h"

namespace velmora {
namespace {

// Turns a worker's notifications into the signals of its DownloadThreads, tagged with its run.
// Each is posted to the thread the DownloadThreads lives on and emitted there, so whoever listens
// hears it on that thread, in the order the worker reported.
class SignalReports final : public RowReports
{
public:
    SignalReports(DownloadThreads& threads, int run) : threads_(threads), run_(run) {}
    void SetRowCaption(int32_t row, const QString& caption) override
    {
        post([threads = &threads_, run = run_, row, caption] {
            emit threads->rowCaption(run, row, caption);
        });
    }
    void SetRowProgress(int32_t row, const QString& progress) override
    {
        post([threads = &threads_, run = run_, row, progress] {
            emit threads->rowProgress(run, row, progress);
        });
    }
    void EnableTimer() override
    {
        post([threads = &threads_, run = run_] { emit threads->timerWanted(run); });
    }

    // The report runs after this object and its worker may be gone: it holds copies only.
    template <typename Report> void post(Report&& report)
    {
        QMetaObject::invokeMethod(&threads_, std::forward<Report>(report), Qt::QueuedConnection);
    }

private:
    DownloadThreads& threads_;
    int run_;
};

} // namespace

void DownloadThreadProc(PendingDownload pending, DownloadOptions options, DownloadThreads& threads)
{
    SignalReports reports(threads, pending.run);
    TBindStatusCallback callback(reports, threads.abortFlag());
    callback.SetRowIndex(pending.PendingRow);
    options.abort = threads.abortFlag();
    const DownloadResult result =
        URLDownloadToFile(pending.PendingUrl, pending.PendingPath, &callback, options);
    reports.post([&threads, run = pending.run, row = pending.PendingRow, ok = result.ok(),
                  reason = result.reason(), completed = callback.CompletionReported] {
        emit threads.finished(run, row, ok, reason, completed);
    });
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
    std::lock_guard lock(mutex_);
    const quint64 id = nextId_++;
    threads_.emplace(id, std::thread([this, id, pending = std::move(pending),
                                      options = std::move(options)]() mutable {
                         DownloadThreadProc(std::move(pending), std::move(options), *this);
                         // The thread object is joined on this object's own thread.
                         QMetaObject::invokeMethod(
                             this, [this, id] { reap(id); }, Qt::QueuedConnection);
                     }));
}

void DownloadThreads::reap(quint64 id)
{
    std::thread done;
    {
        std::lock_guard lock(mutex_);
        const auto it = threads_.find(id);
        if (it == threads_.end())
            return;
        done = std::move(it->second);
        threads_.erase(it);
    }
    done.join();
}

void DownloadThreads::abortAll()
{
    abort_.store(true);
    std::map<quint64, std::thread> running;
    {
        std::lock_guard lock(mutex_);
        running.swap(threads_);
    }
    for (auto& [id, thread] : running)
        thread.join();
    abort_.store(false);
}

} // namespace velmora
