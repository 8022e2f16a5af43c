// Download benchmarks against a loopback web server, each reported against a reference measured
// in the same process:
//   pace        200 images answered after 50 ms each, from btn5 to the rewrite, against a plain
//               100 ms timer ticking 200 times (the design's own pace); the longest stall of the
//               window's event loop meanwhile.
//   throughput  one 200 MB file through the download layer, against `curl -o` from the same
//               server.
//   memory      peak resident memory with 200 downloads under way, against the process before.
// Usage: bench_download [pace|throughput|memory]...   (all three without arguments)

#include "../tests/CountingCallback.h"
#include "../tests/LoopbackServer.h"
#include "../tests/WindowFixture.h"
#include "DownloadWorker.h"
#include "UrlDownload.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// The longest time the event loop went without running a 5 ms timer, beyond its interval.
class StallProbe : public QObject
{
public:
    StallProbe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 now = clock_.elapsed();
            worst_ = std::max(worst_, now - last_ - 5);
            last_ = now;
        });
        clock_.start();
        timer_.start(5);
    }
    qint64 worst() const { return worst_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
};

long residentKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    }
    return -1;
}

double waitMs(const std::function<bool()>& done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void pace()
{
    const int images = 200;
    // The design's pace: one start per 100 ms tick, nothing else in the way.
    QTimer tick;
    tick.setInterval(100);
    tick.setTimerType(Qt::PreciseTimer);
    int ticks = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start();
    const double reference = waitMs([&] { return ticks >= images; }, 60000);
    tick.stop();

    LoopbackServer server(64);
    QTemporaryDir tmp;
    QByteArray css;
    for (int i = 0; i < images; ++i)
        css += ".i" + QByteArray::number(i) + "{background:url(img/" + QByteArray::number(i) +
               ".png?delay=50)}\r\n";
    const QString sheet = tmp.filePath(u"style.css"_s);
    QFile file(sheet);
    if (!file.open(QIODevice::WriteOnly) || file.write(css) != css.size())
        return;
    file.close();

    WindowFixture window(tmp.path() + u'/');
    window.open(sheet);
    window.form->btn2Click();
    window.get<QLineEdit>("lbledt2")->setText(server.url("/"));
    window.form->btn3Click();
    auto* status = window.get<QLabel>("lbl9");

    StallProbe probe;
    window.form->btn5Click();
    const double ours = waitMs([&] { return status->text().startsWith(u"全部结束"_s); }, 120000);
    std::printf("pace: %d images, 50 ms each: btn5 to rewrite %.0f ms; design pace (%d ticks of "
                "100 ms) %.0f ms; ratio %.3f (must stay within 1.10)\n",
                images, ours, images, reference, ours / reference);
    std::printf("pace: %s\n", qPrintable(status->text()));
    std::printf("pace: longest event loop stall %lld ms (must stay within 50)\n",
                static_cast<long long>(probe.worst()));
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void throughput()
{
    LoopbackServer server;
    // In memory where the system has it, so that the disk's write-back does not decide the race.
    QTemporaryDir tmp(QDir(u"/dev/shm"_s).exists() ? u"/dev/shm/velmora-XXXXXX"_s
                                                   : QDir::tempPath() + u"/velmora-XXXXXX"_s);
    const std::string path = "/img/big.bin?size=" + std::to_string(200 << 20);
    const QString url = server.url(path);
    velmora::initDownloads();
    // Warm the server's answer once for both.
    CountingCallback callback;
    velmora::URLDownloadToFile(url, tmp.filePath(u"warm"_s), &callback);

    std::vector<double> ours;
    std::vector<double> theirs;
    const std::string command = "curl -s -o '" + tmp.filePath(u"curl.bin"_s).toStdString() + "' '" +
                                url.toStdString() + "'";
    for (int round = 0; round < 9; ++round) {
        QElapsedTimer clock;
        clock.start();
        const velmora::DownloadResult result =
            velmora::URLDownloadToFile(url, tmp.filePath(u"ours.bin"_s), &callback);
        ours.push_back(clock.nsecsElapsed() / 1e6);
        if (!result.ok())
            std::printf("throughput: download failed: %s\n", qPrintable(result.detail));
        clock.restart();
        if (std::system(command.c_str()) != 0)
            std::printf("throughput: curl failed\n");
        theirs.push_back(clock.nsecsElapsed() / 1e6);
    }
    const double a = median(ours);
    const double b = median(theirs);
    std::printf("throughput: 200 MB into %s, median of 9: velmora %.0f ms (%.0f MB/s), curl -o "
                "%.0f ms (%.0f MB/s); speed ratio %.2f (must be at least 0.80)\n",
                qPrintable(tmp.path()), a, 200.0 / a * 1000, b, 200.0 / b * 1000, b / a);
}

void memory()
{
    LoopbackServer server(210);
    QTemporaryDir tmp;
    velmora::DownloadThreads threads;
    int finished = 0;
    QObject::connect(&threads, &velmora::DownloadThreads::finished,
                     [&](int, int, bool, const QString&, bool) { ++finished; });
    const long before = residentKiB("VmRSS:");
    for (int i = 0; i < 200; ++i) {
        threads.start({server.url("/img/" + std::to_string(i) + ".png?size=2000&delay=2000"),
                       tmp.filePath(u"%1.png"_s.arg(i)), i, 1},
                      {});
    }
    long peakUnderWay = 0;
    waitMs(
        [&] {
            peakUnderWay = std::max(peakUnderWay, residentKiB("VmRSS:"));
            return finished >= 200;
        },
        60000);
    std::printf("memory: resident before %ld KiB; peak with 200 downloads under way %ld KiB "
                "(+%ld KiB, %.1f KiB a download; ratio to before %.2f); %d finished\n",
                before, peakUnderWay, peakUnderWay - before, (peakUnderWay - before) / 200.0,
                static_cast<double>(peakUnderWay) / before, finished);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QStringList which = application.arguments().mid(1);
    if (which.isEmpty())
        which = {u"pace"_s, u"throughput"_s, u"memory"_s};
    for (const QString& name : which) {
        if (name == u"pace")
            pace();
        else if (name == u"throughput")
            throughput();
        else if (name == u"memory")
            memory();
    }
    return 0;
}
