// netget's fetch of one URL: what it leaves on disk and the message of each
// failure, a body cut short before its announced length among them.
#include <gtest/gtest.h>

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
