// The installation's portable steps against a scripted loopback HTTP server
// and archives built here: what lands on disk, which message a failure
// carries, and how transfer counts map onto a 32-bit progress bar.
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
#include "setup/InstallSteps.h"
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

TEST(UnpackArchiveTest, ExtractsFlatBesideTheArchiveAndDeletesIt) {
    TempDir dir;
    WriteFileBytes(dir.File("main.zip"), StoredArchive({{"TORVELIN.EXE", "MZ program"},
                                                        {"docs/HANDLEIDING.TXT", "lees dit"},
                                                        {"LEEG.TXT", ""}}));
    arc::TArcUnZipper unzipper;
    EXPECT_EQ(MessageOf([&] { setup::UnpackArchive(unzipper, dir.File("main.zip")); }), "");
    EXPECT_FALSE(platform::FileExists(dir.File("main.zip")));
    EXPECT_EQ(ReadFileBytes(dir.File("TORVELIN.EXE")), "MZ program");
    EXPECT_EQ(ReadFileBytes(dir.File("HANDLEIDING.TXT")), "lees dit");
    EXPECT_TRUE(platform::FileExists(dir.File("LEEG.TXT")));
    EXPECT_FALSE(platform::DirectoryExists(dir.File("docs")));

    // The same extractor unpacks a second archive after the first.
    WriteFileBytes(dir.File("upgrade.zip"), StoredArchive({{"VERSIE.TXT", "2"}}));
    EXPECT_EQ(MessageOf([&] { setup::UnpackArchive(unzipper, dir.File("upgrade.zip")); }), "");
    EXPECT_EQ(ReadFileBytes(dir.File("VERSIE.TXT")), "2");
    EXPECT_FALSE(platform::FileExists(dir.File("upgrade.zip")));
}

TEST(UnpackArchiveTest, CorruptEntryIsReportedAfterTheOthersAreExtracted) {
    TempDir dir;
    WriteFileBytes(dir.File("main.zip"), StoredArchive({{"A.TXT", "first"},
                                                        {"KAPOT.DAT", "damaged", true},
                                                        {"OOK.DAT", "also damaged", true},
                                                        {"Z.TXT", "last"}}));
    arc::TArcUnZipper unzipper;
    bool callerHandlerCalled = false;
    unzipper.OnProcessItemFailure = [&](arc::TArcArchiveItem&, arc::TArcProcessType,
                                        arc::TArcErrorClass, int,
                                        const std::string&) { callerHandlerCalled = true; };
    std::string message = MessageOf([&] { setup::UnpackArchive(unzipper, dir.File("main.zip")); });
    EXPECT_EQ(
        message.rfind("Het bestand \"KAPOT.DAT\" uit main.zip kon niet worden uitgepakt: ", 0), 0u)
        << message;
    EXPECT_GT(
        message.size(),
        std::string("Het bestand \"KAPOT.DAT\" uit main.zip kon niet worden uitgepakt: ").size());
    EXPECT_EQ(ReadFileBytes(dir.File("A.TXT")), "first");
    EXPECT_EQ(ReadFileBytes(dir.File("Z.TXT")), "last");
    EXPECT_FALSE(platform::FileExists(dir.File("main.zip")));
    // The caller's own failure handler is back in place afterwards.
    ASSERT_TRUE(unzipper.OnProcessItemFailure);
    EXPECT_FALSE(callerHandlerCalled);
}

TEST(UnpackArchiveTest, ArchiveThatIsNotAZipRaisesTheExtractorsErrorAndStays) {
    TempDir dir;
    WriteFileBytes(dir.File("main.zip"), "<html>not an archive</html>");
    arc::TArcUnZipper unzipper;
    EXPECT_NE(MessageOf([&] { setup::UnpackArchive(unzipper, dir.File("main.zip")); }), "");
    EXPECT_TRUE(platform::FileExists(dir.File("main.zip")));
}

TEST(UnpackArchiveTest, DateThatCannotBeConvertedOnlyWarnsButABadChecksumStillFails) {
    struct Case {
        bool BadCrc;
        std::string Message;
    } cases[] = {
        {false, ""},
        {true,
         "Het bestand \"DATUM0.TXT\" uit main.zip kon niet worden uitgepakt: Failed CRC Check"}};
    for (const Case& c : cases) {
        TempDir dir;
        WriteFileBytes(dir.File("main.zip"),
                       StoredArchive({{"DATUM0.TXT", "dated 0", c.BadCrc, 0}, {"B.TXT", "b"}}));
        arc::TArcUnZipper unzipper;
        EXPECT_EQ(MessageOf([&] { setup::UnpackArchive(unzipper, dir.File("main.zip")); }),
                  c.Message);
        EXPECT_EQ(ReadFileBytes(dir.File("DATUM0.TXT")), "dated 0");
        EXPECT_EQ(ReadFileBytes(dir.File("B.TXT")), "b");
    }
}

TEST(UnpackArchiveTest, ArchiveIsReleasedWhenExtractionRaises) {
    TempDir dir;
    // A name with a character no path may hold stops the whole extraction.
    WriteFileBytes(dir.File("main.zip"), StoredArchive({{"A.TXT", "a"}, {"B|C.TXT", "b"}}));
    arc::TArcUnZipper unzipper;
    EXPECT_EQ(MessageOf([&] { setup::UnpackArchive(unzipper, dir.File("main.zip")); }),
              "Invalid characters in path");
    EXPECT_EQ(unzipper.Archive(), nullptr);
    EXPECT_EQ(unzipper.FileName(), "");
    EXPECT_TRUE(platform::DeleteFileByName(dir.File("main.zip")))
        << "the archive is still held open";
}

TEST(ProgressMapperTest, SizesWithinRangeMapOneToOne) {
    setup::TProgressMapper mapper;
    int32_t max = 0;
    ASSERT_TRUE(mapper.WorkBegin(12345, max));
    EXPECT_EQ(max, 12345);
    EXPECT_EQ(mapper.Position(0), 0);
    EXPECT_EQ(mapper.Position(6000), 6000);
    EXPECT_EQ(mapper.Position(12345), 12345);
    int32_t exact = 0;
    ASSERT_TRUE(mapper.WorkBegin(std::numeric_limits<int32_t>::max(), exact));
    EXPECT_EQ(exact, std::numeric_limits<int32_t>::max());
}

TEST(ProgressMapperTest, UnknownSizeKeepsTheMaximumAndTheCountStillMoves) {
    setup::TProgressMapper mapper;
    int32_t max = 777;
    EXPECT_FALSE(mapper.WorkBegin(0, max));
    EXPECT_FALSE(mapper.WorkBegin(-1, max));
    EXPECT_EQ(max, 777);
    EXPECT_EQ(mapper.Position(50), 50);
    EXPECT_EQ(mapper.Position(500), 500); // past the maximum: a full bar
}

TEST(ProgressMapperTest, SizeBeyond32BitsIsScaledInProportion) {
    setup::TProgressMapper mapper;
    const int64_t size = (int64_t{1} << 33) + 12345; // about 8 GiB
    int32_t max = 0;
    ASSERT_TRUE(mapper.WorkBegin(size, max));
    EXPECT_GT(max, 0);
    EXPECT_GE(max, std::numeric_limits<int32_t>::max() / 2);
    EXPECT_EQ(mapper.Position(0), 0);
    int32_t half = mapper.Position(size / 2);
    EXPECT_NEAR(static_cast<double>(half) / max, 0.5, 0.001);
    EXPECT_EQ(mapper.Position(size), max);
    // The low 32 bits of 2^32 are 0: the bar must not drop back there.
    EXPECT_NEAR(static_cast<double>(mapper.Position(int64_t{1} << 32)) / max, 0.5, 0.001);
    // A later small transfer is not scaled any more.
    ASSERT_TRUE(mapper.WorkBegin(1000, max));
    EXPECT_EQ(mapper.Position(999), 999);
}

TEST(ProgressPacerTest, DrawsNewPixelColumnsAtMostEveryIntervalButTheEndsAtOnce) {
    // A bar of 200 pixels over 1,000,000 units: a column is 5,000 units.
    struct Step {
        int32_t position;
        uint64_t ms;
        bool drawn;
        const char* why;
    };
    const uint64_t gap = setup::TProgressPacer::kRedrawIntervalMs;
    const Step steps[] = {
        {0, 1000, true, "the first position of a range is drawn"},
        {4999, 1000 + gap, false, "still the empty column"},
        {5000, 1000 + gap, true, "a new column after the interval"},
        {20000, 1001 + gap, false, "a new column within the interval waits"},
        {20000, 1000 + 2 * gap, true, "and is drawn once the interval has passed"},
        {1000000, 1001 + 2 * gap, true, "the full bar at once"},
        {1200000, 1000 + 4 * gap, false, "past the maximum is still the full bar"},
        {995000, 1000 + 5 * gap, true, "one column back from full"},
        {0, 1001 + 5 * gap, true, "the empty bar at once"},
    };
    setup::TProgressPacer pacer;
    pacer.SetRange(1000000, 200);
    for (const Step& s : steps)
        EXPECT_EQ(pacer.ShouldDraw(s.position, s.ms), s.drawn) << s.why;
    // A new range draws its first position whatever the time.
    pacer.SetRange(1000, 200);
    EXPECT_TRUE(pacer.ShouldDraw(0, 1001 + 5 * gap));

    // The queue is looked at on the first call, then once per interval.
    const uint64_t every = setup::TProgressPacer::kQueueIntervalMs;
    EXPECT_LT(every, 1000u) << "well within the five seconds of a hung window";
    EXPECT_TRUE(pacer.ShouldLookAtQueue(5000));
    EXPECT_FALSE(pacer.ShouldLookAtQueue(5000 + every - 1));
    EXPECT_TRUE(pacer.ShouldLookAtQueue(5000 + every));
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

TEST(InstallPathsTest, TargetFolderLinkFileAndLanguageCode) {
    EXPECT_EQ(setup::TargetFolder('D'), "D:\\TORVELINNEW\\");
    EXPECT_EQ(setup::LinkFileFor(""), "\\Torvelin.lnk");
    EXPECT_EQ(setup::LinkFileFor("C:\\users\\me\\Desktop"), "C:\\users\\me\\Desktop\\Torvelin.lnk");
    EXPECT_EQ(setup::LinkFileFor("C:\\Desktop\\"), "C:\\Desktop\\Torvelin.lnk");
    EXPECT_EQ(setup::LanguageCode({true, true, true, true, true}), "NLB");
    EXPECT_EQ(setup::LanguageCode({false, false, true, true, false}), "UKB");
    EXPECT_EQ(setup::LanguageCode({false, false, false, false, true}), "ES");
    EXPECT_EQ(setup::LanguageCode({false, false, false, false, false}), "GEB");
}

TEST(InstallPathsTest, ProxyPortOutsideTheTcpRangeIsRefusedNotWrapped) {
    EXPECT_EQ(setup::ProxyPortFrom(0), 0) << "left to the client, which asks for a port";
    EXPECT_EQ(setup::ProxyPortFrom(8080), 8080);
    EXPECT_EQ(setup::ProxyPortFrom(65535), 65535);
    for (int64_t bad : {int64_t(65536), int64_t(4294967376), int64_t(-1)}) {
        try {
            setup::ProxyPortFrom(bad);
            FAIL() << bad;
        } catch (const rtl::Exception& e) {
            EXPECT_EQ(e.Message(), "Ongeldige poort voor de proxyserver: " + std::to_string(bad) +
                                       ". Geef een poort van 1 tot 65535 op.");
        }
    }
}
