// deve-cli report serve: the line's live page over HTTP (cpp-httplib).
//
// One thread reads the figures from the store every refresh period, over a
// connection of its own, and keeps the last ones; the HTTP threads answer
// from what it kept and never wait for the store. A read that fails, or that
// has not come back after kStoreTimeoutMs, makes the page say "store
// unreachable since" the time it began; the reader reconnects at the next
// period. The store is only read: the reader runs SELECTs, and on
// PostgreSQL its session is read-only and its statements time out.
#include "report_command.h"

#include "connect.h"
#include "live.h"
#include "odbc.h"
#include "platform.h"
#include "schema.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace deve::cli {

namespace {

constexpr int kRefused = 2;
// A read of the figures that takes longer has the page say the store is
// unreachable (the read goes on, and the page recovers when it answers).
constexpr std::int64_t kStoreTimeoutMs = 15'000;
// How long a stop waits for a read under way before leaving without it.
constexpr auto kStopWait = std::chrono::seconds(20);
// The HTTP threads; a request is answered from memory, so few are needed.
constexpr std::size_t kHttpThreads = 8;
// Values of the page's query: station names, as --meta bounds them.
constexpr std::size_t kMaxQueryValue = 256;

std::int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Reads the figures every period and keeps the last ones, with the store's
// state, for the HTTP threads.
class Reader {
public:
    Reader(store::StoreUrl url, report::Window window, std::optional<std::int64_t> since_span_ms, int period_seconds)
        : url_(std::move(url)), window_(std::move(window)), since_span_ms_(since_span_ms),
          period_(std::chrono::seconds(period_seconds)) {}

    void run() {
        store::odbc::Environment env;
        std::unique_ptr<store::odbc::Connection> db;
        while (!stopping()) {
            const std::int64_t began = now_ms();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                reading_since_ = began;
            }
            try {
                if (!db) {
                    db = store::connect(env, url_, false);
                    prepare(*db);
                }
                report::Window window = window_;
                if (since_span_ms_) {
                    window.since_ms = began - *since_span_ms_;
                }
                auto figures = std::make_shared<const report::LiveFigures>(report::read_live(*db, window, began));
                std::lock_guard<std::mutex> lock(mutex_);
                figures_ = std::move(figures);
                unreachable_since_.reset();
                problem_.clear();
            } catch (const std::exception &e) {
                db.reset();
                std::lock_guard<std::mutex> lock(mutex_);
                if (!unreachable_since_) {
                    unreachable_since_ = began;
                    std::fprintf(stderr, "deve-cli: report serve: the store is unreachable: %s\n", e.what());
                }
                problem_ = e.what();
            }
            std::unique_lock<std::mutex> lock(mutex_);
            reading_since_.reset();
            if (!unreachable_since_ && was_unreachable_) {
                std::fprintf(stderr, "deve-cli: report serve: the store answers again\n");
            }
            was_unreachable_ = unreachable_since_.has_value();
            wake_.wait_for(lock, period_, [this] { return stopping_; });
        }
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
        finished_.notify_all();
    }

    // The last figures and the store's state as of `now`: a read under way
    // for longer than kStoreTimeoutMs counts as a store that does not answer.
    std::pair<std::shared_ptr<const report::LiveFigures>, report::StoreState> state(std::int64_t now) const {
        std::lock_guard<std::mutex> lock(mutex_);
        report::StoreState s;
        s.unreachable_since_ms = unreachable_since_;
        s.problem = problem_;
        if (!s.unreachable_since_ms && reading_since_ && now - *reading_since_ > kStoreTimeoutMs) {
            s.unreachable_since_ms = reading_since_;
            s.problem = "the store has not answered for " + std::to_string((now - *reading_since_) / 1000) + " s";
        }
        if (!s.unreachable_since_ms && !figures_) {
            // Not read yet: the first read is under way.
            s.problem = "reading the store";
        }
        s.reachable = !s.unreachable_since_ms && figures_ != nullptr;
        return {figures_, s};
    }

    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        wake_.notify_all();
    }

    // Whether the reader ended within `wait` (a read stuck in the driver may
    // not).
    bool wait_done(std::chrono::seconds wait) {
        std::unique_lock<std::mutex> lock(mutex_);
        return finished_.wait_for(lock, wait, [this] { return done_; });
    }

private:
    bool stopping() {
        std::lock_guard<std::mutex> lock(mutex_);
        return stopping_;
    }

    // A session that cannot write, and whose statements the server stops
    // after a while, on PostgreSQL; the SQLite driver has neither, and the
    // reader runs only SELECTs there too.
    void prepare(store::odbc::Connection &db) {
        const store::SchemaCheck schema = store::check_schema(db);
        if (schema.state != store::SchemaState::Current) {
            throw std::runtime_error(schema.message);
        }
        if (db.dialect() == store::Dialect::Postgresql) {
            db.execute("SET default_transaction_read_only = on");
            db.execute("SET statement_timeout = " + std::to_string(kStoreTimeoutMs));
        }
    }

    const store::StoreUrl url_;
    const report::Window window_;
    const std::optional<std::int64_t> since_span_ms_;
    const std::chrono::seconds period_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    bool stopping_ = false;
    bool done_ = false;
    bool was_unreachable_ = false;
    std::shared_ptr<const report::LiveFigures> figures_;
    std::optional<std::int64_t> unreachable_since_;
    std::optional<std::int64_t> reading_since_;
    std::string problem_;
};

// The page's query: station=NAME, any number of times; nothing else. Why a
// query is refused, or nothing.
std::optional<std::string> read_query(const httplib::Request &req, report::LiveView &view) {
    for (const auto &[key, value] : req.params) {
        if (key != "station") {
            return "unknown parameter '" + key.substr(0, 40) + "': the page takes station=NAME only";
        }
        if (value.empty() || value.size() > kMaxQueryValue) {
            return "station= takes a station's name, 1 to " + std::to_string(kMaxQueryValue) + " bytes";
        }
        if (const std::optional<std::string> bad = store::odbc::not_utf8_words(value)) {
            return "the station " + *bad;
        }
        view.stations.push_back(value);
    }
    return std::nullopt;
}

void plain(httplib::Response &res, int status, const std::string &text) {
    res.status = status;
    res.set_content(text + "\n", "text/plain; charset=utf-8");
}

std::string title_of(const report::Window &window) {
    // "Line live: station FT-1 or FT-2, lot L7": the stations and lots the
    // page was started for.
    const auto either = [](const std::vector<std::string> &names) {
        std::string text;
        for (const std::string &name : names) {
            text += (text.empty() ? "" : " or ") + name;
        }
        return text;
    };
    std::string title = "Line live";
    std::string separator = ": ";
    if (!window.stations.empty()) {
        title += separator + "station " + either(window.stations);
        separator = ", ";
    }
    if (!window.lots.empty()) {
        title += separator + "lot " + either(window.lots);
    }
    return title;
}

std::string url_host(const std::string &host) { return host.find(':') != std::string::npos ? "[" + host + "]" : host; }

}  // namespace

int run_report_serve(const ReportCommand &command, const store::StoreUrl &url, const report::Window &window) {
    platform::install_signal_handlers();
    Reader reader(url, window, command.since_span_ms, command.refresh_seconds);

    const std::string page = report::live_page(title_of(window), command.refresh_seconds);
    const std::string script = report::live_script();

    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(kHttpThreads); };
    // Nothing the page asks for has a body; a request with one is cut short.
    server.set_payload_max_length(4096);
    // An answer goes out at once, not held back for the client's
    // acknowledgement of its headers (40 ms a request on a kept-alive link).
    server.set_tcp_nodelay(true);
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    server.set_default_headers({{"Content-Security-Policy", report::kLivePolicy},
                                {"X-Content-Type-Options", "nosniff"},
                                {"Referrer-Policy", "no-referrer"},
                                {"Cache-Control", "no-store"}});
    // The paths there are and their method, before any handler runs: an
    // unknown path is 404, another method than GET (or HEAD) 405, a query
    // the page does not take 400.
    server.set_pre_routing_handler([](const httplib::Request &req, httplib::Response &res) {
        if (req.path != "/" && req.path != "/live.json" && req.path != "/live.js" && req.path != "/favicon.ico") {
            plain(res, 404, "not found: the page is /, its figures /live.json");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.method != "GET" && req.method != "HEAD") {
            res.set_header("Allow", "GET, HEAD");
            plain(res, 405, "the page is read with GET only");
            return httplib::Server::HandlerResponse::Handled;
        }
        report::LiveView view;
        if (const std::optional<std::string> refusal = read_query(req, view)) {
            plain(res, 400, "bad query: " + *refusal);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.Get("/", [&page](const httplib::Request &, httplib::Response &res) {
        res.set_content(page, "text/html; charset=utf-8");
    });
    server.Get("/live.js", [&script](const httplib::Request &, httplib::Response &res) {
        res.set_content(script, "text/javascript; charset=utf-8");
    });
    // No icon: an empty answer rather than a 404 in the browser's console.
    server.Get("/favicon.ico", [](const httplib::Request &, httplib::Response &res) { res.status = 204; });
    server.Get("/live.json", [&reader](const httplib::Request &req, httplib::Response &res) {
        report::LiveView view;
        read_query(req, view);
        const std::int64_t now = now_ms();
        const auto [figures, state] = reader.state(now);
        res.set_content(report::live_json(figures.get(), view, state, now), "application/json");
    });

    const int port = command.listen_port == 0
                         ? server.bind_to_any_port(command.listen_host)
                         : (server.bind_to_port(command.listen_host, command.listen_port) ? command.listen_port : -1);
    if (port < 0) {
        std::fprintf(stderr,
                     "deve-cli: report serve: cannot listen on %s:%d (in use, or "
                     "not an address of this "
                     "computer)\n",
                     url_host(command.listen_host).c_str(), command.listen_port);
        return kRefused;
    }
    std::printf("report serve: http://%s:%d/ (runs that started %s; SIGINT or "
                "SIGTERM stops it)\n",
                url_host(command.listen_host).c_str(), port, report::window_text(window).c_str());
    std::fflush(stdout);

    std::atomic<bool> listening{true};
    std::thread reading([&reader] { reader.run(); });
    std::thread serving([&server, &listening] {
        server.listen_after_bind();
        listening = false;
    });
    while (platform::pending_signal() == 0 && listening) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const int signal = platform::pending_signal();
    server.stop();
    serving.join();
    reader.stop();
    if (!reader.wait_done(kStopWait)) {
        // A read stuck in the driver (a server that stopped answering): the
        // page is down already; leave without it.
        std::fprintf(stderr,
                     "deve-cli: report serve: stopped by %s; a read of the store "
                     "did not come back\n",
                     platform::signal_name(signal));
        std::fflush(nullptr);
        reading.detach();
        std::_Exit(0);
    }
    reading.join();
    std::printf("report serve: stopped%s%s\n", signal != 0 ? " by " : "",
                signal != 0 ? platform::signal_name(signal) : "");
    return 0;
}

}  // namespace deve::cli
