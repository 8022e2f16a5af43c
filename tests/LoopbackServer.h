#pragma once

// A small web server on 127.0.0.1 with an ephemeral port, for the download tests and benchmarks.
// It serves images of a chosen size, can be slow, fail, redirect, leave out the length, stall,
// and counts the requests of every path.

#include <QString>
#include <atomic>
#include <chrono>
#include <httplib.h>
#include <map>
#include <mutex>
#include <string>
#include <thread>

class LoopbackServer
{
public:
    explicit LoopbackServer(int threads = 16)
    {
        // Enough handler threads that slow answers do not queue behind each other.
        server_.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
        // Idle kept-alive connections hold a handler thread until this runs out, and so delay
        // the server's end.
        server_.set_keep_alive_timeout(1);
        // /img/NAME?size=N&delay=MS: N bytes derived from NAME, after MS milliseconds.
        server_.Get(R"(/img/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
            count(req);
            delay(req);
            res.set_content(body(req.matches[1], sizeOf(req, 64)), "image/png");
        });
        // /status/CODE: that status with an error page that must never be saved.
        server_.Get(R"(/status/(\d+))",
                    [this](const httplib::Request& req, httplib::Response& res) {
                        count(req);
                        res.status = std::stoi(req.matches[1]);
                        res.set_content("<html>error page</html>", "text/html");
                    });
        // /flaky/KEY?fail=K&status=S&retry-after=SEC: status S (503) for the first K requests.
        server_.Get(R"(/flaky/(\w+))", [this](const httplib::Request& req, httplib::Response& res) {
            const int seen = count(req);
            const int fail = req.has_param("fail") ? std::stoi(req.get_param_value("fail")) : 1;
            if (seen <= fail) {
                res.status =
                    req.has_param("status") ? std::stoi(req.get_param_value("status")) : 503;
                if (req.has_param("retry-after"))
                    res.set_header("Retry-After", req.get_param_value("retry-after"));
                res.set_content("busy", "text/plain");
                return;
            }
            res.set_content(body(req.matches[1], 100), "image/png");
        });
        // /redirect/N: N redirects, then an image.
        server_.Get(R"(/redirect/(\d+))", [this](const httplib::Request& req,
                                                 httplib::Response& res) {
            count(req);
            const int left = std::stoi(req.matches[1]);
            res.set_redirect(left > 1 ? "/redirect/" + std::to_string(left - 1) : "/img/moved.png");
        });
        // /chunked/NAME?size=N: sent in chunks, without a length.
        server_.Get(R"(/chunked/(.+))",
                    [this](const httplib::Request& req, httplib::Response& res) {
                        count(req);
                        const std::string data = body(req.matches[1], sizeOf(req, 5000));
                        res.set_chunked_content_provider(
                            "image/png", [data](size_t offset, httplib::DataSink& sink) {
                                const size_t n = std::min<size_t>(1000, data.size() - offset);
                                sink.write(data.data() + offset, n);
                                if (offset + n == data.size())
                                    sink.done();
                                return true;
                            });
                    });
        // /stall: a length of 1000, ten bytes, then silence until the server stops.
        server_.Get("/stall", [this](const httplib::Request& req, httplib::Response& res) {
            count(req);
            res.set_content_provider(
                1000, "image/png", [this](size_t offset, size_t, httplib::DataSink& sink) {
                    if (offset == 0)
                        return sink.write("0123456789", 10);
                    while (!stopping_.load())
                        std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    return false;
                });
        });
        // /headers: what the client sent, as the body.
        server_.Get("/headers", [this](const httplib::Request& req, httplib::Response& res) {
            count(req);
            res.set_content("Referer: " + req.get_header_value("Referer") + "\nUser-Agent: " +
                                req.get_header_value("User-Agent") + "\nTarget: " + req.target,
                            "text/plain");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }

    ~LoopbackServer()
    {
        stopping_.store(true);
        server_.stop();
        thread_.join();
    }

    int port() const { return port_; }
    QString url(const std::string& path) const
    {
        return QString::fromStdString("http://127.0.0.1:" + std::to_string(port_) + path);
    }
    int hits(const std::string& path)
    {
        std::lock_guard lock(mutex_);
        return hits_[path];
    }
    std::string lastTarget()
    {
        std::lock_guard lock(mutex_);
        return lastTarget_;
    }

    // The bytes /img/NAME serves: NAME repeated to the size.
    static std::string body(const std::string& name, size_t size)
    {
        std::string out;
        out.reserve(size);
        while (out.size() < size)
            out += name + ";";
        out.resize(size);
        return out;
    }

private:
    int count(const httplib::Request& req)
    {
        std::lock_guard lock(mutex_);
        lastTarget_ = req.target;
        return ++hits_[req.path];
    }
    static size_t sizeOf(const httplib::Request& req, size_t fallback)
    {
        return req.has_param("size") ? std::stoul(req.get_param_value("size")) : fallback;
    }
    static void delay(const httplib::Request& req)
    {
        if (req.has_param("delay"))
            std::this_thread::sleep_for(
                std::chrono::milliseconds(std::stoi(req.get_param_value("delay"))));
    }

    httplib::Server server_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    int port_ = 0;
    std::mutex mutex_;
    std::map<std::string, int> hits_;
    std::string lastTarget_;
};
