// netget: fetches URLs over HTTP/1.1 with one client, so that the connection
// and the cookies carry from one URL to the next; https URLs over TLS,
// directly or through the proxy's CONNECT tunnel.
//
//   netget [--proxy HOST:PORT] [--timeout MS] [--cacert FILE] [--retry N] [-o FILE] URL...
//
// Each body goes to a file: the one named by the -o before its URL, else the
// URL's document name. A progress bar is drawn on standard error when that
// is a terminal. On failure, a body shorter than its announced length
// included, the error's message is printed, the partial file removed, and
// the exit code is 1 (2 for a usage error). A connect gives up after 20 s,
// a server that sends nothing after 30 s (--timeout sets this one). A server
// certificate must chain to a root the system trusts, or with --cacert to
// one of the certificates in FILE (PEM) instead. With --retry N a connection
// that breaks during a body is made again, the body resumed where the server
// allows it, until N attempts in a row get no further.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "http/NetExceptions.h"
#include "http/NetHTTP.h"
#include "http/NetIOHandlerTLS.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "runtime/Format.h"
#include "runtime/Streams.h"
#include "tools/netget/Fetch.h"

namespace {

constexpr const char* kUsage =
    "usage: netget [--proxy HOST:PORT] [--timeout MS] [--cacert FILE] [--retry N] [-o FILE] "
    "URL...\n"
    "  -o FILE        write the body of the next URL to FILE (default: the URL's document name)\n"
    "  --proxy H:P    send the requests through the HTTP proxy at H:P (https: a CONNECT tunnel)\n"
    "  --timeout MS   give up when the server sends nothing for MS milliseconds\n"
    "                 (default 30000; 0 waits without limit)\n"
    "  --cacert FILE  trust the certificates in FILE (PEM) as roots instead of the system's\n"
    "  --retry N      when a connection breaks during a body, ask again (for the rest\n"
    "                 where the server allows it) until N attempts in a row get no\n"
    "                 further (default 0: the first break ends the download)\n";

struct Job {
    std::string Url;
    std::string Output;
};

// The document name of a URL, "index.html" when it names a folder.
std::string DocumentName(const std::string& url) {
    net::TNetURI uri(url);
    return uri.Document.empty() ? std::string("index.html") : uri.Document;
}

class ProgressBar {
  public:
    explicit ProgressBar(bool enabled) : FEnabled(enabled) {}

    void Begin(const std::string& name, int64_t max) {
        FName = name;
        FMax = max;
        FLastDraw = {};
        Draw(0, true);
    }
    void Update(int64_t count) { Draw(count, false); }
    void End(int64_t count) {
        if (!FEnabled) return;
        Draw(count, true);
        platform::WriteStdErr("\n");
    }

  private:
    void Draw(int64_t count, bool force) {
        if (!FEnabled) return;
        auto now = std::chrono::steady_clock::now();
        if (!force && now - FLastDraw < std::chrono::milliseconds(100)) return;
        FLastDraw = now;
        constexpr int width = 40;
        std::string line = "\r" + FName.substr(0, 30) + " ";
        if (FMax > 0) {
            int filled = static_cast<int>(count * width / FMax);
            line += "[" + std::string(filled, '#') + std::string(width - filled, ' ') + "] ";
            line += rtl::IntToStr(count * 100 / FMax) + "% ";
        }
        line += rtl::IntToStr(count / 1024) + " KiB   ";
        platform::WriteStdErr(line);
    }

    bool FEnabled;
    std::string FName;
    int64_t FMax = 0;
    std::chrono::steady_clock::time_point FLastDraw;
};

// The most attempts without progress --retry takes: with the pauses between
// them growing to 16 s, more would only keep a dead download waiting.
constexpr int64_t kMaxRetries = 100;

bool ParseArguments(int argc, char** argv, net::TNetHTTP& http, net::TNetIOHandlerTLS& handler,
                    std::vector<Job>& jobs, int& retries) {
    std::string output;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "-o" || arg == "--proxy" || arg == "--timeout" || arg == "--cacert" ||
             arg == "--retry") &&
            i + 1 >= argc)
            return false;
        if (arg == "-o") {
            output = argv[++i];
        } else if (arg == "--proxy") {
            std::string proxy = argv[++i];
            size_t colon = proxy.rfind(':');
            int64_t port = 0;
            if (colon == std::string::npos || !rtl::TryStrToInt64(proxy.substr(colon + 1), port) ||
                port <= 0 || port > 65535)
                return false;
            http.ProxyParams.ProxyServer = proxy.substr(0, colon);
            http.ProxyParams.ProxyPort = static_cast<int>(port);
        } else if (arg == "--cacert") {
            handler.CAFile = argv[++i];
            if (!platform::FileExists(handler.CAFile)) return false;
        } else if (arg == "--timeout") {
            int64_t ms = 0;
            if (!rtl::TryStrToInt64(argv[++i], ms) || ms < 0 || ms > 0x7fffffff) return false;
            http.ReadTimeout = static_cast<int>(ms);
        } else if (arg == "--retry") {
            int64_t n = 0;
            if (!rtl::TryStrToInt64(argv[++i], n) || n < 0 || n > kMaxRetries) return false;
            retries = static_cast<int>(n);
        } else if (!arg.empty() && arg[0] == '-') {
            return false;
        } else {
            jobs.push_back({arg, output.empty() ? DocumentName(arg) : output});
            output.clear();
        }
    }
    return !jobs.empty();
}

} // namespace

int main(int argc, char** argv) {
    // Larger receives than the library's default mean fewer system calls
    // for big files; progress is still reported per receive. The handler
    // outlives the client that uses it.
    net::TNetIOHandlerTLS handler;
    handler.RecvBufferSize = 128 * 1024;
    net::TNetHTTP http;
    http.SetIOHandler(&handler);
    http.ConnectTimeout = net::NetDownloadConnectTimeoutMs;
    http.ReadTimeout = net::NetDownloadReadTimeoutMs;
    std::vector<Job> jobs;
    int retries = 0;
    try {
        if (!ParseArguments(argc, argv, http, handler, jobs, retries)) {
            platform::WriteStdErr(kUsage);
            return 2;
        }
    } catch (const rtl::Exception& e) {
        platform::WriteStdErr(e.Message() + "\n");
        return 2;
    }

    ProgressBar bar(platform::StdErrIsTerminal());
    std::string current;
    int64_t lastCount = 0;
    http.OnWorkBegin = [&](net::TNetComponent*, net::TWorkMode mode, int64_t max) {
        if (mode != net::TWorkMode::wmRead) return;
        lastCount = 0;
        bar.Begin(current, max);
    };
    http.OnWork = [&](net::TNetComponent*, net::TWorkMode mode, int64_t count) {
        if (mode != net::TWorkMode::wmRead) return;
        lastCount = count;
        bar.Update(count);
    };
    http.OnWorkEnd = [&](net::TNetComponent*, net::TWorkMode mode) {
        if (mode == net::TWorkMode::wmRead) bar.End(lastCount);
    };

    for (const Job& job : jobs) {
        current = platform::ExtractFileName(job.Output);
        try {
            netget::FetchToFile(http, job.Url, job.Output, {retries, {}, {}});
        } catch (const std::exception& e) {
            platform::WriteStdErr(std::string(e.what()) + "\n");
            return 1;
        }
    }
    return 0;
}
