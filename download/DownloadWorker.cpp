#include "DownloadWorker.h"

#include "BindStatusCallback.h"

namespace velmora {
namespace {

// Turns a worker's notifications into the signals of its DownloadThreads, tagged with its run.
class SignalReports final : public RowReports
{
public:
    SignalReports(DownloadThreads& threads, int run) : threads_(threads), run_(run) {}
    void SetRowCaption(int32_t row, const QString& caption) override
    {
        emit threads_.rowCaption(run_, row, caption);
    }
    void SetRowProgress(int32_t row, const QString& progress) override
    {
        emit threads_.rowProgress(run_, row, progress);
    }
    void EnableTimer() override { emit threads_.timerWanted(run_); }

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
    emit threads.finished(pending.run, pending.PendingRow, result.ok(), result.reason(),
                          callback.CompletionReported);
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
