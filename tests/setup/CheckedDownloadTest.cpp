// The checked download against a scripted loopback HTTP server: what lands
// on disk, which message a failure carries, and the client's time-outs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "ScriptedServer.h"
#include "platform/Files.h"
#include "runtime/Exception.h"
#include "setup/CheckedDownload.h"
#include "tests/TestSupport.h"
#include "tests/archive/zip/ZipTestSupport.h"

using namespace testing_support;
using ziptest::StoredArchive;

namespace {

std::string Response(const std::string& statusLine, const std::string& body,
                     const std::string& extra = "") {
    return statusLine + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra +
           "Connection: close\r\n\r\n" + body;
}

ConnectionScript Answer(const std::string& bytes) {
    return {ReadRequest(), Send(bytes), Close()};
}

class DownloadTest : public ::testing::Test {
  protected:
    DownloadTest() { setup::ConfigureHTTPClient(FHttp); }
    std::string Download(ScriptedServer& server, const std::string& file) {
        return MessageOf([&] {
            setup::DownloadToFile(FHttp, server.Url("/"), "zividezeru/Files/main.zip", file);
        });
    }
    net::TNetHTTP FHttp;
    TempDir FDir;
};

} // namespace

TEST_F(DownloadTest, WholeBodyOf200LandsInTheFileWithTheInstallersHeaders) {
    std::string body(70000, '\0');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>(i * 7 + 3);
    ScriptedServer server({Answer(Response("HTTP/1.1 200 OK", body))});
    EXPECT_EQ(Download(server, FDir.File("main.zip")), "");
    EXPECT_EQ(ReadFileBytes(FDir.File("main.zip")), body);

    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET /zividezeru/Files/main.zip HTTP/1.1\r\n", 0), 0u)
        << requests[0];
    EXPECT_NE(requests[0].find(std::string("User-Agent: ") + setup::SInstallUserAgent + "\r\n"),
              std::string::npos);
    EXPECT_NE(requests[0].find(std::string("Accept: ") + setup::SInstallAccept + "\r\n"),
              std::string::npos);
}

TEST_F(DownloadTest, StatusOtherThan200FailsWithTheStatusLineAndKeepsWhatArrived) {
    ScriptedServer server({Answer("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n"),
                           Answer(Response("HTTP/1.1 404 Not Found", "<p>gone</p>"))});
    EXPECT_EQ(Download(server, FDir.File("a.zip")), "HTTP Error:204: HTTP/1.1 204 No Content");
    EXPECT_TRUE(platform::FileExists(FDir.File("a.zip")));
    EXPECT_EQ(ReadFileBytes(FDir.File("a.zip")), "");

    // The client fails an error status itself, with the status line.
    EXPECT_EQ(Download(server, FDir.File("b.zip")), "HTTP/1.1 404 Not Found");
    // Whether the client keeps an error page's body is its own business; the
    // file is there and holds at most that body.
    EXPECT_TRUE(platform::FileExists(FDir.File("b.zip")));
    std::string kept = ReadFileBytes(FDir.File("b.zip"));
    EXPECT_TRUE(kept.empty() || kept == "<p>gone</p>") << kept;
}

TEST_F(DownloadTest, BodyClosedBeforeItsLengthIsAnIncompleteDownload) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n";
    ScriptedServer server({{ReadRequest(), Send(head + std::string(40, 'x')), Close()}});
    std::string message = Download(server, FDir.File("main.zip"));
    EXPECT_EQ(message,
              "De download van " + server.Url("/") +
                  "zividezeru/Files/main.zip is onvolledig: 40 van de 100 bytes zijn ontvangen.");
    EXPECT_EQ(ReadFileBytes(FDir.File("main.zip")), std::string(40, 'x'));
}

TEST_F(DownloadTest, ExistingFileIsReplacedNotOverwrittenInPlace) {
    WriteFileBytes(FDir.File("main.zip"), std::string(5000, 'o'));
    ScriptedServer server({Answer(Response("HTTP/1.1 200 OK", "new"))});
    EXPECT_EQ(Download(server, FDir.File("main.zip")), "");
    EXPECT_EQ(ReadFileBytes(FDir.File("main.zip")), "new");
}

TEST_F(DownloadTest, RefusedConnectionPassesTheClientsErrorThrough) {
    ScriptedServer unused({});
    std::string base = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/";
    std::string message =
        MessageOf([&] { setup::DownloadToFile(FHttp, base, "x.zip", FDir.File("x.zip")); });
    EXPECT_NE(message.find("10061"), std::string::npos) << message;
    EXPECT_TRUE(platform::FileExists(FDir.File("x.zip")));
}

TEST_F(DownloadTest, FileThatCannotBeCreatedFailsBeforeAnyRequest) {
    ScriptedServer server({});
    std::string file = FDir.File("missing") + platform::PathDelim() + "main.zip";
    std::string message = Download(server, file);
    EXPECT_EQ(message.rfind("Cannot create file \"", 0), 0u) << message;
    EXPECT_EQ(server.Connections(), 0);
}

// --- Downloads held to a signed release --------------------------------------

namespace {

std::string Chunked(const std::string& body, size_t piece) {
    std::string out;
    char size[32];
    for (size_t at = 0; at < body.size(); at += piece) {
        std::snprintf(size, sizeof size, "%zx\r\n", std::min(piece, body.size() - at));
        out += size + body.substr(at, piece) + "\r\n";
    }
    return out + "0\r\n\r\n";
}

setup::TReleaseFile Listed(const std::string& name, const std::string& body) {
    setup::TReleaseFile file{name, static_cast<int64_t>(body.size()), {}};
    EXPECT_TRUE(platform::Sha256Of(
        std::span(reinterpret_cast<const uint8_t*>(body.data()), body.size()), file.Sha256));
    return file;
}

} // namespace

TEST_F(DownloadTest, ArchiveOfAReleaseIsHeldToItsSizeAndDigestAndDeletedWhenItFails) {
    std::string body(50000, '\0');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>(i * 13 + 1);
    const setup::TReleaseFile listed = Listed("main.zip", body);
    std::string other = body;
    other[25000] ^= 1;
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    auto head = [&](int64_t length) {
        return ok + "Content-Length: " + std::to_string(length) + "\r\n\r\n";
    };
    const std::string chunkedHead = ok + "Transfer-Encoding: chunked\r\n\r\n";
    const std::string differs = "main.zip komt niet overeen met de release: ";
    struct Case {
        const char* Name;
        ConnectionScript Script;
        std::string Message;
    } cases[] = {
        {"the listed bytes", Answer(Response("HTTP/1.1 200 OK", body)), ""},
        {"the listed bytes, chunked",
         {ReadRequest(), Send(chunkedHead + Chunked(body, 4000)), Close()},
         ""},
        {"one byte changed", Answer(Response("HTTP/1.1 200 OK", other)),
         differs + "de SHA-256-controlesom verschilt."},
        // The server waits after the head: a client reading the body would
        // wait for it and fail later, with another message.
        {"longer length announced",
         {ReadRequest(), Send(head(50001)), WaitForClose(3000)},
         differs + "de server kondigt 50001 bytes aan, de release vermeldt 50000 bytes."},
        {"shorter length announced",
         {ReadRequest(), Send(head(49999)), WaitForClose(3000)},
         differs + "de server kondigt 49999 bytes aan, de release vermeldt 50000 bytes."},
        {"chunked body past the size",
         {ReadRequest(), Send(chunkedHead + Chunked(body + body, 4000)), WaitForClose(3000)},
         differs + "de download is langer dan de 50000 bytes die de release vermeldt."},
        {"body read to the close, short",
         {ReadRequest(), Send(ok + "Connection: close\r\n\r\n" + body.substr(0, 100)), Close()},
         differs + "100 van de 50000 bytes zijn ontvangen."},
        {"not found", Answer(Response("HTTP/1.1 404 Not Found", "gone")), "HTTP/1.1 404 Not Found"},
    };
    for (const Case& c : cases) {
        ScriptedServer server({c.Script});
        const std::string file = FDir.File("main.zip");
        WriteFileBytes(file, "an older download");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(MessageOf([&] {
                      setup::DownloadToFile(FHttp, server.Url("/"), "zividezeru/Files/main.zip",
                                            file, listed);
                  }),
                  c.Message)
            << c.Name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500))
            << c.Name;
        if (c.Message.empty())
            EXPECT_TRUE(ReadFileBytes(file) == body) << c.Name;
        else
            EXPECT_FALSE(platform::FileExists(file)) << c.Name << ": a refused archive stays";
        // Nothing of a refused body may be left for the next request.
        EXPECT_FALSE(FHttp.Connected() && c.Message.rfind(differs, 0) == 0) << c.Name;
    }
}

TEST_F(DownloadTest, ManifestIsFetchedIntoMemoryBoundedAndChecked) {
    const std::string good = ReadFileBytes(DataFile("release/release.txt"));
    std::string hex = ReadFileBytes(DataFile("release/test.pub.hex"));
    std::vector<uint8_t> point;
    ASSERT_TRUE(setup::FromHex(hex.substr(0, 130), point));
    setup::TReleaseKeys keys{{{}}, 5};
    std::copy(point.begin(), point.end(), keys.Keys[0].begin());
    std::string forged = good;
    forged[forged.find("serial 5") + 7] = '6';
    const std::string tooLarge = "Het releasemanifest is groter dan 65536 bytes.";
    struct Case {
        const char* Name;
        ConnectionScript Script;
        std::string Message;
    } cases[] = {
        {"signed", Answer(Response("HTTP/1.1 200 OK", good, "Content-Type: text/html\r\n")), ""},
        {"missing", Answer(Response("HTTP/1.1 404 Not Found", "no")),
         "Het releasemanifest release.txt kon niet worden opgehaald: HTTP/1.1 404 Not Found"},
        {"no content", Answer("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n"),
         "Het releasemanifest release.txt kon niet worden opgehaald: HTTP/1.1 204 No Content"},
        {"changed", Answer(Response("HTTP/1.1 200 OK", forged)),
         "De handtekening van het releasemanifest is ongeldig: de release komt niet van de maker "
         "of is onderweg gewijzigd."},
        {"announced too large",
         {ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 65537\r\n\r\n"),
          WaitForClose(3000)},
         tooLarge},
        {"chunked too large",
         {ReadRequest(),
          Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
               Chunked(std::string(70000, 'm'), 8192)),
          WaitForClose(3000)},
         tooLarge},
    };
    for (const Case& c : cases) {
        ScriptedServer server({c.Script});
        setup::TReleaseManifest manifest;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(
            MessageOf([&] { manifest = setup::DownloadManifest(FHttp, server.Url("/"), keys, 0); }),
            c.Message)
            << c.Name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500))
            << c.Name;
        ASSERT_EQ(server.Requests().size(), 1u) << c.Name;
        EXPECT_EQ(server.Requests()[0].rfind("GET /zividezeru/Files/release.txt HTTP/1.1\r\n", 0),
                  0u);
        if (c.Message.empty()) {
            EXPECT_EQ(manifest.Files.size(), 2u);
        }
    }
}

TEST(InstallPathsTest, TimeoutsAreBoundedAndTheTestVariableCanOnlyShortenThem) {
    const std::pair<std::string, int> cases[] = {{"", 0},         {"abc", 0},      {"0", 0},
                                                 {"-5", 0},       {"99999999", 0}, {"2500", 2500},
                                                 {"25000", 25000}};
    for (const auto& [text, shortened] : cases) {
        net::TNetHTTP http;
        setup::ConfigureHTTPClient(http);
        setup::ShortenTimeouts(http, text);
        EXPECT_EQ(http.ConnectTimeout,
                  std::min(shortened ? shortened : INT32_MAX, net::NetDownloadConnectTimeoutMs))
            << text;
        EXPECT_EQ(http.ReadTimeout,
                  std::min(shortened ? shortened : INT32_MAX, net::NetDownloadReadTimeoutMs))
            << text;
        // The pauses between download attempts follow the same rule.
        EXPECT_EQ(setup::ShortenedPause(4000, text), std::min(shortened ? shortened : 4000, 4000))
            << text;
    }
}
