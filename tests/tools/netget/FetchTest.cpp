// netget's fetch of one URL: what it leaves on disk and the message of each
// failure, a body cut short before its announced length among them, and a
// download through connections that break every few MiB.
#include <gtest/gtest.h>

#include <iostream>

#include "RangeServer.h"
#include "ScriptedServer.h"
#include "runtime/Exception.h"
#include "tests/TestSupport.h"
#include "tools/netget/Fetch.h"

using namespace testing_support;

TEST(FetchToFile, KeepsOnlyACompleteBody) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    const std::string whole(100, 'w');
    struct Case {
        const char* Name;
        std::string Reply, Message, Kept; // Kept: the file's content, "-" for no file
    } cases[] = {
        {"whole", head + whole, "", whole},
        {"closed short", head + std::string(40, 's'),
         "The body of %URL ended after 40 of the 100 bytes announced.", "-"},
        {"error status", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n",
         "HTTP/1.1 404 Not Found", "-"},
        {"no content, whatever it announces",
         "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", "", ""},
    };
    TempDir dir;
    for (const Case& c : cases) {
        ScriptedServer server({{ReadRequest(), Send(c.Reply), Close()}});
        const std::string url = server.Url("/file.bin"), file = dir.File("file.bin");
        std::string message;
        net::TNetHTTP http;
        http.ReadTimeout = 5000;
        try {
            netget::FetchToFile(http, url, file);
        } catch (const rtl::Exception& e) {
            message = e.Message();
        }
        std::string expected = c.Message;
        if (size_t at = expected.find("%URL"); at != std::string::npos)
            expected.replace(at, 4, url);
        EXPECT_EQ(message, expected) << c.Name;
        EXPECT_EQ(platform::FileExists(file) ? ReadFileBytes(file) : "-", c.Kept) << c.Name;
    }
}

TEST(FetchToFile, RetriesThroughConnectionsThatBreakEveryFewMiB) {
    constexpr int64_t kMiB = 1 << 20;
    std::string content(16 * kMiB + 3, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 7919) >> 5);
    struct Case {
        const char* Name;
        bool HonourRanges, Reset;
        std::string Message; // empty: the whole file arrives
    } cases[] = {
        {"closes", true, false, ""},
        {"resets", true, true, ""},
        {"ignores Range", false, false,
         "The body of %URL ended after 4194304 of the 16777219 bytes announced."},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        RangeServer server([&](const RangeRequest& r) {
            return FileReply(c.HonourRanges ? r : RangeRequest{}, content, "\"v1\"", 4 * kMiB,
                             c.Reset);
        });
        const std::string url = server.Url("/big.bin"), file = dir.File("big.bin");
        net::TNetHTTP http;
        http.ReadTimeout = 10000;
        std::string message;
        try {
            netget::FetchToFile(http, url, file, {3, [](int) {}});
        } catch (const rtl::Exception& e) {
            message = e.Message();
        }
        std::string expected = c.Message;
        if (size_t at = expected.find("%URL"); at != std::string::npos)
            expected.replace(at, 4, url);
        EXPECT_EQ(message, expected);
        if (c.Message.empty()) {
            EXPECT_TRUE(ReadFileBytes(file) == content) << "not byte for byte the file";
            EXPECT_LE(server.BodyBytesSent(), static_cast<int64_t>(content.size()) * 105 / 100);
            std::cout << c.Name << ": the server sent " << server.BodyBytesSent() << " bytes for "
                      << content.size() << " in " << server.Requests().size() << " requests\n";
        } else {
            EXPECT_FALSE(platform::FileExists(file));
        }
    }
}
