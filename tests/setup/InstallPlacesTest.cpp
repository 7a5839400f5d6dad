// Where an installation goes and the proxy port the client is given.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "runtime/Exception.h"
#include "setup/InstallPlaces.h"

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
