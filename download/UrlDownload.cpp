#include "UrlDownload.h"

#include "AtomicFile.h"

#include <array>
#include <cctype>
#include <curl/curl.h>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;

namespace velmora {
namespace {

// The library's global state and the share handle through which every download reuses
// connections, DNS answers and TLS sessions.
class CurlGlobal
{
public:
    static CurlGlobal& instance()
    {
        static CurlGlobal global;
        return global;
    }
    CURLSH* share() const { return share_; }

private:
    CurlGlobal()
    {
        curl_global_init(CURL_GLOBAL_ALL);
        share_ = curl_share_init();
        curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &CurlGlobal::lock);
        curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &CurlGlobal::unlock);
        curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    }
    ~CurlGlobal()
    {
        curl_share_cleanup(share_);
        curl_global_cleanup();
    }

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self)
    {
        static_cast<CurlGlobal*>(self)->mutexes_[slot(data)].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* self)
    {
        static_cast<CurlGlobal*>(self)->mutexes_[slot(data)].unlock();
    }
    static size_t slot(curl_lock_data data)
    {
        const auto index = static_cast<size_t>(data);
        return index < kSlots ? index : 0;
    }

    static constexpr size_t kSlots = CURL_LOCK_DATA_LAST;
    CURLSH* share_ = nullptr;
    std::array<std::mutex, kSlots> mutexes_;
};

struct EasyHandle
{
    CURL* handle = curl_easy_init();
    ~EasyHandle() { curl_easy_cleanup(handle); }
};

bool isWebAddress(const QString& address)
{
    return address.startsWith(u"http://", Qt::CaseInsensitive) ||
           address.startsWith(u"https://", Qt::CaseInsensitive);
}

// One transfer attempt's state, shared with the library's callbacks.
struct Transfer
{
    IBindStatusCallback* callback = nullptr;
    const std::atomic<bool>* abort = nullptr;
    AtomicFile* file = nullptr;
    std::chrono::milliseconds stallTimeout{0};
    bool writeFailed = false;
    bool aborted = false;
    bool stalled = false;
    curl_off_t reported = -1;
    curl_off_t received = -1;
    std::chrono::steady_clock::time_point lastReport;
    std::chrono::steady_clock::time_point lastByte = std::chrono::steady_clock::now();

    static size_t write(char* data, size_t size, size_t count, void* self)
    {
        auto* t = static_cast<Transfer*>(self);
        const size_t bytes = size * count;
        if (!t->file->write(data, static_cast<qint64>(bytes))) {
            t->writeFailed = true;
            return 0;
        }
        return bytes;
    }

    // Reports new data at most every 50 ms, and always when the counts meet, so a fast transfer
    // does not flood the window while every completion is still heard. The library calls this
    // about once a second even while no data comes, so a hung transfer still sees an abort.
    static int progress(void* self, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t)
    {
        auto* t = static_cast<Transfer*>(self);
        if (t->abort && t->abort->load()) {
            t->aborted = true;
            return 1;
        }
        const auto clock = std::chrono::steady_clock::now();
        // A transfer that has received no byte for the stall time has hung.
        if (now != t->received) {
            t->received = now;
            t->lastByte = clock;
        } else if (clock - t->lastByte >= t->stallTimeout) {
            t->stalled = true;
            return 1;
        }
        if (now != t->reported &&
            (now == total || clock - t->lastReport >= std::chrono::milliseconds(50))) {
            t->reported = now;
            t->lastReport = clock;
            if (t->callback->OnProgress(static_cast<uint64_t>(now), static_cast<uint64_t>(total),
                                        BindStatus::DownloadingData, {}) == HResult::Abort) {
                t->aborted = true;
                return 1;
            }
        }
        return 0;
    }
};

DownloadError errorOf(CURLcode code)
{
    switch (code) {
    case CURLE_OK:
        return DownloadError::None;
    case CURLE_HTTP_RETURNED_ERROR:
        return DownloadError::Http;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return DownloadError::Connect;
    case CURLE_OPERATION_TIMEDOUT:
        return DownloadError::Timeout;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return DownloadError::UnsupportedAddress;
    case CURLE_TOO_MANY_REDIRECTS:
        return DownloadError::Redirects;
    case CURLE_WRITE_ERROR:
        return DownloadError::Write;
    case CURLE_ABORTED_BY_CALLBACK:
        return DownloadError::Aborted;
    default:
        return DownloadError::Other;
    }
}

// Waits between attempts in short steps, so that closing the program is not held up.
void pause(std::chrono::milliseconds delay, const std::atomic<bool>* abort)
{
    const auto until = std::chrono::steady_clock::now() + delay;
    while (std::chrono::steady_clock::now() < until) {
        if (abort && abort->load())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

DownloadResult attempt(const QByteArray& url, const QString& path, IBindStatusCallback* callback,
                       const DownloadOptions& options, std::chrono::milliseconds* retryAfter)
{
    DownloadResult result;
    AtomicFile file(path);
    if (!file.open()) {
        result.error = DownloadError::Write;
        result.detail = file.reason();
        return result;
    }
    EasyHandle easy;
    CURL* h = easy.handle;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    Transfer transfer;
    transfer.callback = callback;
    transfer.abort = options.abort;
    transfer.stallTimeout = options.stallTimeout;
    transfer.file = &file;
    const QByteArray userAgent = options.userAgent.toUtf8();
    const QByteArray referer =
        isWebAddress(options.referer) ? encodeAddress(options.referer) : QByteArray();

    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_SHARE, CurlGlobal::instance().share());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent.constData());
    if (!referer.isEmpty())
        curl_easy_setopt(h, CURLOPT_REFERER, referer.constData());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(options.connectTimeout.count()));
    // Large receive chunks: fewer, larger writes for big images, as the curl tool itself uses.
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 256L * 1024L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::write);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Transfer::progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);

    const CURLcode code = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.httpStatus);
    curl_off_t wait = -1;
    if (curl_easy_getinfo(h, CURLINFO_RETRY_AFTER, &wait) == CURLE_OK && wait > 0)
        *retryAfter = std::chrono::seconds(wait);

    result.error = transfer.writeFailed ? DownloadError::Write
                   : transfer.stalled   ? DownloadError::Timeout
                                        : errorOf(code);
    result.detail = QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
    if (transfer.writeFailed)
        result.detail = file.reason();
    if (!result.ok()) {
        result.code = transfer.aborted ? HResult::Abort : HResult::Fail;
        return result;
    }
    curl_off_t size = 0;
    curl_easy_getinfo(h, CURLINFO_SIZE_DOWNLOAD_T, &size);
    if (!file.commit()) {
        result.code = HResult::Fail;
        result.error = DownloadError::Write;
        result.detail = file.reason();
        return result;
    }
    const auto bytes = static_cast<uint64_t>(size);
    callback->OnProgress(bytes, bytes, BindStatus::EndDownloadData, {});
    return result;
}

bool isUnreserved(unsigned char c)
{
    // Printable ASCII that a browser sends as it is; everything else is escaped.
    if (c <= 0x20 || c >= 0x7F)
        return false;
    switch (c) {
    case '"':
    case '<':
    case '>':
    case '\\':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
        return false;
    default:
        return true;
    }
}

} // namespace

QString DownloadResult::reason() const
{
    switch (error) {
    case DownloadError::None:
        return {};
    case DownloadError::UnsupportedAddress:
        return u"不支持的地址"_s;
    case DownloadError::Http:
        return u"HTTP %1"_s.arg(httpStatus);
    case DownloadError::Connect:
        return u"连接失败"_s;
    case DownloadError::Timeout:
        return u"超时"_s;
    case DownloadError::Redirects:
        return u"重定向过多"_s;
    case DownloadError::Write:
        return u"无法写入文件"_s;
    case DownloadError::Aborted:
        return u"已取消"_s;
    case DownloadError::Other:
        break;
    }
    return u"下载失败"_s;
}

void initDownloads()
{
    CurlGlobal::instance();
}

QByteArray encodeAddress(const QString& address)
{
    QString sent = address;
    const qsizetype fragment = sent.indexOf(u'#');
    if (fragment >= 0)
        sent.truncate(fragment);
    const QByteArray utf8 = sent.toUtf8();
    // The host stays as typed (the library converts international names itself); the rest is
    // escaped the way a browser escapes it.
    const qsizetype scheme = utf8.indexOf("://");
    qsizetype pathStart = scheme < 0 ? 0 : scheme + 3;
    while (pathStart < utf8.size() && utf8[pathStart] != '/' && utf8[pathStart] != '?')
        ++pathStart;
    QByteArray out = utf8.first(pathStart);
    static constexpr char hex[] = "0123456789ABCDEF";
    const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    for (qsizetype i = pathStart; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c == '%' && i + 2 < utf8.size() && isHex(utf8[i + 1]) && isHex(utf8[i + 2])) {
            out.append('%');
        } else if (c != '%' && isUnreserved(c)) {
            out.append(static_cast<char>(c));
        } else {
            out.append('%').append(hex[c >> 4]).append(hex[c & 0xF]);
        }
    }
    return out;
}

DownloadResult URLDownloadToFile(const QString& address, const QString& path,
                                 IBindStatusCallback* callback, const DownloadOptions& options)
{
    DownloadResult result;
    if (!isWebAddress(address)) {
        result.code = HResult::Fail;
        result.error = DownloadError::UnsupportedAddress;
        result.detail = u"only http and https addresses are fetched"_s;
        callback->OnStopBinding(result.code, result.reason());
        return result;
    }
    const QByteArray url = encodeAddress(address);
    if (callback->OnProgress(0, 0, BindStatus::BeginDownloadData, {}) == HResult::Abort) {
        result.code = HResult::Abort;
        result.error = DownloadError::Aborted;
        callback->OnStopBinding(result.code, result.reason());
        return result;
    }
    for (int attemptNo = 0;; ++attemptNo) {
        std::chrono::milliseconds retryAfter{0};
        result = attempt(url, path, callback, options, &retryAfter);
        result.attempts = attemptNo + 1;
        const bool transient = result.error == DownloadError::Connect ||
                               result.error == DownloadError::Timeout ||
                               (result.error == DownloadError::Http &&
                                (result.httpStatus >= 500 || result.httpStatus == 429));
        if (result.ok() || !transient || attemptNo >= options.retries ||
            (options.abort && options.abort->load()))
            break;
        const auto backoff = options.retryDelay * (attemptNo + 1);
        pause(retryAfter > std::chrono::milliseconds(0)
                  ? std::min(retryAfter, options.maxRetryAfter)
                  : backoff,
              options.abort);
    }
    callback->OnStopBinding(result.ok() ? HResult::Ok : result.code, result.reason());
    return result;
}

} // namespace velmora
