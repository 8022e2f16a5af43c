#pragma once

#include "UrlDownload.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace velmora {

// What the sequencer hands a worker when it starts it: the worker's own copies, so that a later
// start can never overwrite them before they are read.
struct PendingDownload
{
    QString PendingUrl;
    QString PendingPath;
    int32_t PendingRow = 0;
    // The run the download belongs to; reports of earlier runs are dropped by the window.
    int run = 0;
};

class DownloadThreads;

// The body of one worker thread: downloads the address into the path, reporting into the row.
void DownloadThreadProc(PendingDownload pending, DownloadOptions options, DownloadThreads& threads);

// Starts one thread per download and delivers what the workers report, in the order they
// reported it, as signals emitted on the thread this object lives in (the user-interface
// thread). Destroying it ends every running transfer, which removes its partial file, and waits
// for the workers.
class DownloadThreads : public QObject
{
    Q_OBJECT

public:
    explicit DownloadThreads(QObject* parent = nullptr);
    ~DownloadThreads() override;

    void start(PendingDownload pending, DownloadOptions options);
    // Ends every running transfer and waits for its worker.
    void abortAll();
    const std::atomic<bool>* abortFlag() const { return &abort_; }

    // One report of a worker, as it waits to be delivered.
    struct Report
    {
        enum class Kind
        {
            Caption,
            Progress,
            Timer,
            Finished,
            Ended
        } kind;
        int run = 0;
        int row = 0;
        QString text;
        bool ok = false;
        bool completed = false;
        quint64 thread = 0;
    };
    // Called by workers: queues a report and wakes the receiving thread.
    void post(Report report);

signals:
    void rowCaption(int run, int row, const QString& caption);
    void rowProgress(int run, int row, const QString& progress);
    void timerWanted(int run);
    // The download has ended; completionReported tells whether it ever re-armed the timer.
    void finished(int run, int row, bool ok, const QString& reason, bool completionReported);

private:
    Q_INVOKABLE void deliver();

    std::atomic<bool> abort_{false};
    std::mutex threadsMutex_;
    std::map<quint64, std::thread> threads_;
    quint64 nextId_ = 0;
    // Reports cross from the workers under this lock, the only hand-over between the threads.
    std::mutex mailboxMutex_;
    std::deque<Report> mailbox_;
    bool wakePending_ = false;
};

} // namespace velmora
