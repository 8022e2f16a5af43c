// Downloading: the layer against a loopback web server, the progress callback, the worker
// threads, the run's rules (file names, rename numbers) and the rewrite of the style sheet.

#include "BindStatusCallback.h"
#include "CountingCallback.h"
#include "DownloadWorker.h"
#include "LoopbackServer.h"
#include "Sequencer.h"
#include "StyleSheetRewrite.h"
#include "TempDir.h"
#include "UrlDownload.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Writes down every notification in order, as "progress:TEXT", "caption:TEXT" and "timer".
struct RecordedReports final : RowReports
{
    std::vector<std::string> log;
    void SetRowCaption(int32_t, const QString& caption) override
    {
        log.push_back("caption:" + caption.toStdString());
    }
    void SetRowProgress(int32_t, const QString& progress) override
    {
        log.push_back("progress:" + progress.toStdString());
    }
    void EnableTimer() override { log.push_back("timer"); }
};

DownloadOptions quick()
{
    DownloadOptions options;
    options.connectTimeout = 2s;
    options.stallTimeout = 1s;
    options.retryDelay = 10ms;
    options.maxRetryAfter = 2s;
    return options;
}

// A port on 127.0.0.1 where nothing listens.
int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

int fileCount(const TempDir& tmp)
{
    return static_cast<int>(
        QDir(tmp.dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size());
}

} // namespace

TEST(UrlDownload, OutcomesAgainstALoopbackServer)
{
    LoopbackServer server;
    struct Row
    {
        const char* what;
        std::string path;
        QString reason; // empty: success
        std::string body;
        std::string countedPath;
        int requests;
    };
    const Row rows[] = {
        {"plain image",
         "/img/a.png?size=3000",
         {},
         LoopbackServer::body("a.png", 3000),
         "/img/a.png",
         1},
        {"404 is final and never saved", "/status/404", u"HTTP 404"_s, {}, "/status/404", 1},
        {"403 is final too", "/status/403", u"HTTP 403"_s, {}, "/status/403", 1},
        {"503 twice, then served",
         "/flaky/twice?fail=2",
         {},
         LoopbackServer::body("twice", 100),
         "/flaky/twice",
         3},
        {"503 every time: two retries",
         "/flaky/always?fail=9",
         u"HTTP 503"_s,
         {},
         "/flaky/always",
         3},
        {"429 retried",
         "/flaky/busy?fail=1&status=429",
         {},
         LoopbackServer::body("busy", 100),
         "/flaky/busy",
         2},
        {"redirects followed",
         "/redirect/3",
         {},
         LoopbackServer::body("moved.png", 64),
         "/redirect/1",
         1},
        {"more than ten redirects", "/redirect/11", u"重定向过多"_s, {}, "/redirect/11", 1},
        {"no length",
         "/chunked/c.png?size=5000",
         {},
         LoopbackServer::body("c.png", 5000),
         "/chunked/c.png",
         1},
        {"stalled transfer", "/stall", u"超时"_s, {}, "/stall", 3},
    };
    for (const Row& row : rows) {
        TempDir tmp;
        const QString target = tmp.path(u"out.png"_s);
        CountingCallback callback;
        const DownloadResult result =
            URLDownloadToFile(server.url(row.path), target, &callback, quick());
        SCOPED_TRACE(row.what);
        EXPECT_EQ(result.reason(), row.reason);
        EXPECT_EQ(server.hits(row.countedPath), row.requests);
        EXPECT_EQ(callback.stops, 1);
        ASSERT_FALSE(callback.counts.empty());
        EXPECT_EQ(callback.counts.front(), std::make_pair(uint64_t{0}, uint64_t{0}));
        if (row.reason.isEmpty()) {
            EXPECT_EQ(TempDir::read(target).toStdString(), row.body);
            const uint64_t size = row.body.size();
            EXPECT_EQ(callback.counts.back(), std::make_pair(size, size));
            EXPECT_EQ(callback.stopResult, HResult::Ok);
        } else {
            // Nothing is left behind: no target, no temporary file.
            EXPECT_EQ(fileCount(tmp), 0);
            EXPECT_NE(callback.stopResult, HResult::Ok);
        }
    }
}

TEST(UrlDownload, FailureLeavesAnExistingFileUntouched)
{
    LoopbackServer server;
    TempDir tmp;
    const QString target = tmp.write(u"logo.png"_s, "the user's own logo");
    CountingCallback callback;
    EXPECT_FALSE(URLDownloadToFile(server.url("/status/500"), target, &callback, quick()).ok());
    EXPECT_EQ(TempDir::read(target), "the user's own logo");
    EXPECT_EQ(fileCount(tmp), 1);
}

TEST(UrlDownload, RetryAfterIsHonoured)
{
    LoopbackServer server;
    TempDir tmp;
    CountingCallback callback;
    QElapsedTimer clock;
    clock.start();
    const DownloadResult result = URLDownloadToFile(server.url("/flaky/later?fail=1&retry-after=1"),
                                                    tmp.path(u"x.png"_s), &callback, quick());
    EXPECT_TRUE(result.ok());
    EXPECT_GE(clock.elapsed(), 900);
}

TEST(UrlDownload, RefusedConnectionsAndOtherSchemesFail)
{
    TempDir tmp;
    {
        CountingCallback callback;
        const QString refused = u"http://127.0.0.1:%1/a.png"_s.arg(closedPort());
        const DownloadResult result =
            URLDownloadToFile(refused, tmp.path(u"a.png"_s), &callback, quick());
        EXPECT_EQ(result.reason(), u"连接失败"_s);
        EXPECT_EQ(result.attempts, 3);
    }
    for (const QString& address : {u"ftp://127.0.0.1/a.png"_s, u"file:///etc/passwd"_s,
                                   u"img/a.png"_s, u"javascript:alert(1)"_s}) {
        CountingCallback callback;
        const DownloadResult result =
            URLDownloadToFile(address, tmp.path(u"a.png"_s), &callback, quick());
        EXPECT_EQ(result.reason(), u"不支持的地址"_s) << address.toStdString();
        // Refused before anything happens: no progress, no file.
        EXPECT_TRUE(callback.counts.empty());
        EXPECT_EQ(callback.stops, 1);
    }
    EXPECT_EQ(fileCount(tmp), 0);
}

TEST(UrlDownload, AddressesAndHeadersGoOutAsABrowserSendsThem)
{
    struct Row
    {
        QString address;
        QByteArray sent;
    };
    const Row rows[] = {
        {u"http://h/a b.png"_s, "http://h/a%20b.png"},
        {u"http://h/图.png?v=1"_s, "http://h/%E5%9B%BE.png?v=1"},
        {u"http://h/a%20b.png"_s, "http://h/a%20b.png"},
        {u"http://h/100%.png"_s, "http://h/100%25.png"},
        {u"http://h/a.png#top"_s, "http://h/a.png"},
        {u"https://h:8443/x/{y}.png"_s, "https://h:8443/x/%7By%7D.png"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(encodeAddress(row.address), row.sent) << row.address.toStdString();

    LoopbackServer server;
    TempDir tmp;
    CountingCallback callback;
    EXPECT_TRUE(
        URLDownloadToFile(server.url("/img/图 a.png"), tmp.path(u"x"_s), &callback, quick()).ok());
    EXPECT_EQ(server.lastTarget(), "/img/%E5%9B%BE%20a.png");

    DownloadOptions options = quick();
    options.referer = server.url("/css/");
    ASSERT_TRUE(
        URLDownloadToFile(server.url("/headers"), tmp.path(u"h"_s), &callback, options).ok());
    const QByteArray sent = TempDir::read(tmp.path(u"h"_s));
    EXPECT_TRUE(sent.contains("Referer: " + server.url("/css/").toUtf8())) << sent.constData();
    EXPECT_TRUE(sent.contains("User-Agent: Mozilla/5.0")) << sent.constData();
}

TEST(UrlDownload, AbortEndsAHungTransferAndRemovesItsFile)
{
    LoopbackServer server;
    TempDir tmp;
    std::atomic<bool> abort{false};
    CountingCallback callback;
    callback.abort = &abort;
    DownloadOptions options = quick();
    options.stallTimeout = 30s;
    options.abort = &abort;
    std::thread trigger([&] {
        std::this_thread::sleep_for(300ms);
        abort.store(true);
    });
    QElapsedTimer clock;
    clock.start();
    const DownloadResult result =
        URLDownloadToFile(server.url("/stall"), tmp.path(u"s.png"_s), &callback, options);
    trigger.join();
    EXPECT_EQ(result.reason(), u"已取消"_s);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(fileCount(tmp), 0);
}

TEST(ProgressCallback, NotificationsWriteTheRowAsTheTableSays)
{
    struct Row
    {
        uint64_t progress;
        uint64_t max;
        int32_t row;
        std::vector<std::string> log;
    };
    const Row rows[] = {
        {100, 200, 0, {"progress:%", "caption:0下载中..."}},
        {101, 202, 0, {"progress:50.00%", "caption:0下载中..."}},
        {150, 600, 3, {"progress:25.00%", "caption:3下载中..."}},
        {0, 0, 0, {"progress:%", "caption:完成0", "progress:100%", "timer"}},
        {60, 60, 3, {"progress:%", "caption:完成3", "progress:100%", "timer"}},
        {300, 200, 0, {"progress:150.00%", "caption:0下载中..."}},
        {2000, 3000, 0, {"progress:66.67%", "caption:0下载中..."}},
        // Size unknown: the bytes so far instead of a meaningless percentage.
        {5000, 0, 1, {"progress:4.9 KB", "caption:1下载中..."}},
        {3u << 20, 0, 1, {"progress:3.0 MB", "caption:1下载中..."}},
    };
    for (const Row& row : rows) {
        RecordedReports reports;
        TBindStatusCallback callback(reports);
        callback.SetRowIndex(row.row);
        EXPECT_EQ(callback.OnProgress(row.progress, row.max, BindStatus::DownloadingData, {}),
                  HResult::Ok);
        EXPECT_EQ(reports.log, row.log) << row.progress << "/" << row.max;
        EXPECT_EQ(callback.CompletionReported, row.progress == row.max);
    }
}

TEST(ProgressCallback, InterfaceAndReferenceCounting)
{
    RecordedReports reports;
    TBindStatusCallback callback(reports);
    void* object = nullptr;
    EXPECT_EQ(callback.QueryInterface(InterfaceId::BindStatusCallback, &object), HResult::Ok);
    EXPECT_EQ(object, static_cast<IBindStatusCallback*>(&callback));
    EXPECT_EQ(callback.QueryInterface(InterfaceId::Unknown, &object), HResult::Ok);
    EXPECT_EQ(callback.QueryInterface(InterfaceId::Other, &object), HResult::NoInterface);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(callback.RefCount, 2);
    EXPECT_EQ(callback.Release(), 1);
    EXPECT_EQ(callback.Release(), 0);
    EXPECT_EQ(callback.Release(), -1); // counts only; the object lives on
    EXPECT_EQ(callback.OnStopBinding(HResult::Ok, {}), HResult::NotImpl);
    EXPECT_EQ(callback.GetPriority(nullptr), HResult::NotImpl);
    EXPECT_EQ(callback.OnObjectAvailable(InterfaceId::Other, nullptr), HResult::NotImpl);

    std::atomic<bool> abort{true};
    TBindStatusCallback closing(reports, &abort);
    EXPECT_EQ(closing.OnProgress(1, 2, BindStatus::DownloadingData, {}), HResult::Abort);
}

TEST(RunRules, FileNamesOfAddresses)
{
    const std::pair<QString, QString> rows[] = {
        {u"http://h/image/top.gif"_s, u"top.gif"_s},
        {u"image/top.gif?v=2"_s, u"top.gif"_s},
        {u"bg.png"_s, u"bg.png"_s},
        {u"list.asp?img=pic/a.gif"_s, u"a.gif"_s},
        {u"image/"_s, QString()},
        {u"image/?id=7"_s, QString()},
        {u"image\\top.gif"_s, u"image\\top.gif"_s},
        {u"http://h/a.png#frag"_s, u"a.png#frag"_s},
    };
    for (const auto& [address, name] : rows)
        EXPECT_EQ(geturlfn(address), name) << address.toStdString();

    for (const QString& bad : {QString(), u"."_s, u".."_s, u"a\\b.png"_s, u"a/b"_s, u"a\tb.png"_s})
        EXPECT_FALSE(isSafeFileName(bad)) << bad.toStdString();
    for (const QString& good : {u"top.gif"_s, u"0_top.gif"_s, u"..a.png"_s, u"背景.png"_s})
        EXPECT_TRUE(isSafeFileName(good)) << good.toStdString();
}

TEST(RunRules, RenameNumbersFollowTheFixedSequence)
{
    RenameNumbers numbers;
    EXPECT_EQ(numbers.next(), 0);
    EXPECT_EQ(numbers.next(), 313);
    EXPECT_EQ(numbers.next(), 8609);
    for (int i = 0; i < 1000; ++i) {
        const int n = numbers.next();
        ASSERT_GE(n, 0);
        ASSERT_LE(n, 9998);
    }
}

TEST(Rewrite, ReplacementTable)
{
    const TextCodec utf8 = TextCodec::utf8();
    struct Row
    {
        const char* what;
        QByteArray text;
        std::vector<std::pair<QString, QString>> replacements;
        QByteArray rewritten;
    };
    const Row rows[] = {
        {"every occurrence",
         "a{url(i/a.gif)} b{url(i/a.gif)} /*i/a.gif*/",
         {{u"i/a.gif"_s, u"a.gif"_s}},
         "a{url(a.gif)} b{url(a.gif)} /*a.gif*/"},
        {"letter case matters", "url(A.GIF)", {{u"a.gif"_s, u"b.gif"_s}}, "url(A.GIF)"},
        {"an empty name deletes", "url(img/)", {{u"img/"_s, QString()}}, "url()"},
        {"an empty reference matches nothing", "url(x)", {{QString(), u"y"_s}}, "url(x)"},
        {"later steps see earlier ones",
         "url('x/a.gif') url(a.gif)",
         {{u"x/a.gif"_s, u"a.gif"_s}, {u"a.gif"_s, u"0_a.gif"_s}},
         "url('0_a.gif') url(0_a.gif)"},
        {"the inserted text is not searched again", "aa", {{u"a"_s, u"aa"_s}}, "aaaa"},
        {"no overlaps", "aaa", {{u"aa"_s, u"b"_s}}, "ba"},
        {"Chinese names",
         QByteArray("url(图/背景.png)"),
         {{u"图/背景.png"_s, u"背景.png"_s}},
         QByteArray("url(背景.png)")},
    };
    for (const Row& row : rows)
        EXPECT_EQ(rewriteReferences(row.text, utf8, row.replacements), row.rewritten) << row.what;
}

TEST(Rewrite, NeverStartsInsideADoubleByteCharacter)
{
    const TextCodec gb = TextCodec::gb18030();
    // 0x81 0x61 is one character whose second byte is the letter 'a'.
    const QByteArray text = QByteArray("url(\x81"
                                       "a.png) url(a.png)");
    EXPECT_EQ(replaceAll(text, "a.png", "b.png", gb), QByteArray("url(\x81"
                                                                 "a.png) url(b.png)"));
    // A four-byte character ends in a digit: "1.png" inside it is no match either.
    const QByteArray four = QByteArray("\x81\x30\x81\x31.png 1.png");
    EXPECT_EQ(replaceAll(four, "1.png", "x.png", gb), QByteArray("\x81\x30\x81\x31.png x.png"));
    // In UTF-8 a needle always starts on a character, so plain search is right.
    EXPECT_EQ(replaceAll("a.png", "a.png", "b.png", TextCodec::utf8()), QByteArray("b.png"));
}

TEST(WorkerThreads, ReportsArriveInOrderAndClosingAbortsRunningTransfers)
{
    LoopbackServer server;
    TempDir tmp;
    std::map<int, std::vector<std::string>> byRow;
    std::vector<std::tuple<int, bool, QString, bool>> ended;
    {
        DownloadThreads threads;
        QObject::connect(&threads, &DownloadThreads::rowProgress,
                         [&](int, int row, const QString& t) {
                             byRow[row].push_back("progress:" + t.toStdString());
                         });
        QObject::connect(&threads, &DownloadThreads::rowCaption,
                         [&](int, int row, const QString& t) {
                             byRow[row].push_back("caption:" + t.toStdString());
                         });
        QObject::connect(&threads, &DownloadThreads::finished,
                         [&](int run, int row, bool ok, const QString& reason, bool completed) {
                             EXPECT_EQ(run, 7);
                             ended.emplace_back(row, ok, reason, completed);
                         });
        for (int row = 0; row < 4; ++row) {
            threads.start({server.url("/img/" + std::to_string(row) + ".png?size=500&delay=50"),
                           tmp.path(u"%1.png"_s.arg(row)), row, 7},
                          quick());
        }
        QElapsedTimer clock;
        clock.start();
        while (ended.size() < 4 && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_EQ(ended.size(), 4u);
        for (const auto& [row, ok, reason, completed] : ended) {
            EXPECT_TRUE(ok);
            EXPECT_TRUE(completed);
            EXPECT_EQ(byRow[row].back(), "progress:100%");
            EXPECT_EQ(byRow[row].front(), "progress:%");
            EXPECT_EQ(TempDir::read(tmp.path(u"%1.png"_s.arg(row))).size(), 500);
        }

        // A hung transfer is still running when the threads go away.
        threads.start({server.url("/stall"), tmp.path(u"hung.png"_s), 4, 7}, [] {
            DownloadOptions options = quick();
            options.stallTimeout = 30s;
            return options;
        }());
        std::this_thread::sleep_for(200ms);
        clock.restart();
        threads.abortAll();
        EXPECT_LT(clock.elapsed(), 3000);
    }
    EXPECT_FALSE(QFile::exists(tmp.path(u"hung.png"_s)));
    EXPECT_EQ(fileCount(tmp), 4);
}

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
