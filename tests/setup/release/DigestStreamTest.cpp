// The stream that hashes a download as it lands: its cap, its restart, and
// the digest of many pieces hashed on the stream's own thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "runtime/Streams.h"
#include "setup/release/DigestStream.h"
#include "tests/TestSupport.h"

using namespace setup;
using testing_support::MessageOf;

TEST(DigestStream, HashesWhatLandsHoldsTheCapAndStartsOver) {
    rtl::TMemoryStream target;
    target.WriteBuffer("stale", 5);
    TDigestStream sink(target, 10, "full");
    EXPECT_EQ(target.Size(), 0) << "the target is emptied first";
    struct Step {
        const char* Name;
        std::function<void()> Act;
        std::string Message, Content;
    } steps[] = {
        {"write", [&] { sink.WriteBuffer("abcdef", 6); }, "", "abcdef"},
        // The client reserves room for an announced length: nothing changes.
        {"reserve", [&] { sink.SetSize(4096), sink.SetPosition(6); }, "", "abcdef"},
        {"past the cap", [&] { sink.WriteBuffer("ghijk", 5); }, "full", "abcdef"},
        {"up to the cap", [&] { sink.WriteBuffer("ghij", 4); }, "", "abcdefghij"},
        {"one more byte", [&] { sink.WriteBuffer("k", 1); }, "full", "abcdefghij"},
        {"seek back", [&] { sink.SetPosition(3); }, "Stream write error", "abcdefghij"},
        {"cut", [&] { sink.SetSize(3); }, "Stream write error", "abcdefghij"},
        {"restart", [&] { sink.SetPosition(0), sink.SetSize(0), sink.WriteBuffer("abc", 3); }, "",
         "abc"},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(MessageOf(s.Act), s.Message) << s.Name;
        EXPECT_EQ(std::string(target.Bytes().begin(), target.Bytes().end()), s.Content) << s.Name;
        EXPECT_EQ(sink.Written(), static_cast<int64_t>(s.Content.size())) << s.Name;
    }
    platform::Sha256Digest got, want;
    ASSERT_TRUE(sink.Finish(got));
    ASSERT_TRUE(platform::Sha256Of(std::span(reinterpret_cast<const uint8_t*>("abc"), 3), want));
    EXPECT_EQ(got, want) << "the hash forgot what came before the restart";
}

TEST(DigestStream, ManyPiecesHashedAsideGiveTheDigestOfTheWholeInOrder) {
    // Far more bytes than the hashing thread's slots hold, in pieces of
    // changing sizes that straddle the slots' ends, and a restart in the
    // middle of a slot: a slot refilled before it was hashed, a piece hashed
    // out of order, or a part-filled slot kept across the restart or lost at
    // the end changes the digest.
    std::string whole;
    for (int i = 0; i < 4000; ++i)
        whole += static_cast<char>(i * 7 + i / 13);
    rtl::TMemoryStream target;
    TDigestStream sink(target, static_cast<int64_t>(whole.size()), "full", 61);
    for (int pass = 0; pass < 2; ++pass) {
        sink.SetSize(0);
        for (size_t at = 0, piece = 1; at < whole.size(); at += piece, piece = piece % 97 + 1)
            sink.WriteBuffer(whole.data() + at, std::min(piece, whole.size() - at));
    }
    platform::Sha256Digest got, want;
    ASSERT_TRUE(sink.Finish(got));
    ASSERT_TRUE(platform::Sha256Of(
        std::span(reinterpret_cast<const uint8_t*>(whole.data()), whole.size()), want));
    EXPECT_EQ(got, want);
    EXPECT_EQ(std::string(target.Bytes().begin(), target.Bytes().end()), whole);
}
