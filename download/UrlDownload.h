#pragma once

#include "BindStatus.h"

#include <QString>
#include <atomic>
#include <chrono>

namespace velmora {

// How a download goes about its work; the defaults are what the window uses.
struct DownloadOptions
{
    // Sent as Referer when it is an http(s) address: the style sheet's web folder, as a browser
    // loading that style sheet would send it.
    QString referer;
    QString userAgent = QStringLiteral(
        "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
        "Chrome/120.0 Safari/537.36");
    std::chrono::milliseconds connectTimeout{30'000};
    // A transfer that receives no byte for this long has hung.
    std::chrono::milliseconds stallTimeout{60'000};
    int retries = 2;
    std::chrono::milliseconds retryDelay{500};
    // The longest Retry-After a server may ask for before the retry is made anyway.
    std::chrono::milliseconds maxRetryAfter{4'000};
    // Set when the program is closing: waits between retries end at once.
    const std::atomic<bool>* abort = nullptr;
};

// Why a download failed, as the download table says it.
enum class DownloadError
{
    None,
    UnsupportedAddress,
    Http,
    Connect,
    Timeout,
    Redirects,
    Write,
    Aborted,
    Other
};

struct DownloadResult
{
    HResult code = HResult::Ok;
    DownloadError error = DownloadError::None;
    long httpStatus = 0;
    int attempts = 0;
    // The system's or library's own words, for a log or a tooltip.
    QString detail;

    bool ok() const { return error == DownloadError::None; }
    // The short reason the download table shows ("HTTP 404", "连接失败", "超时" ...).
    QString reason() const;
};

// Readies the download library; called once on the main thread before any download starts.
void initDownloads();

// Downloads address into path and blocks until the transfer has ended. callback hears (0, 0) as
// soon as the transfer begins, then (received, expected) as data arrives and (size, size) once
// the file is complete, and a last OnStopBinding with the outcome; all on the calling thread, and
// never again after the call has returned. Only http and https are fetched; the body goes to a
// temporary file beside path that replaces path only when complete.
DownloadResult URLDownloadToFile(const QString& address, const QString& path,
                                 IBindStatusCallback* callback,
                                 const DownloadOptions& options = {});

// address as a browser sends it: characters a URL may not hold (blanks, non-ASCII, ...) are
// percent-encoded as UTF-8, existing %XX escapes are kept, and a fragment is not sent.
QByteArray encodeAddress(const QString& address);

} // namespace velmora
