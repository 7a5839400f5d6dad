#include <gtest/gtest.h>

#include "http/NetHeaderList.h"
#include "runtime/Exception.h"

using net::TNetHeaderList;

namespace {

TNetHeaderList FromText(const char* text) {
    TNetHeaderList list;
    list.SetText(text);
    return list;
}

} // namespace

TEST(HeaderList, ReadsValuesByNameIgnoringCaseAndJoinsContinuationLines) {
    TNetHeaderList list = FromText("Content-Type:   text/html  \r\n"
                                   "X-Long: first  \r\n"
                                   " \t second part \r\n"
                                   "\tthird\r\n"
                                   "x-long: another\r\n"
                                   "NoColonLine\r\n"
                                   " Name: spaced\r\n");
    EXPECT_EQ(list.Count(), 7u);
    EXPECT_EQ(list.Values("content-type"), "text/html");
    EXPECT_EQ(list.Values("X-LONG"), "first second part third");
    EXPECT_EQ(list.GetValues("X-Long"),
              (std::vector<std::string>{"first second part third", "another"}));
    EXPECT_EQ(list.Values("Missing"), "");
    EXPECT_TRUE(list.GetValues("Missing").empty());
    // Names are the untrimmed text before the first ":".
    EXPECT_EQ(list.Names(0), "Content-Type");
    EXPECT_EQ(list.Names(5), "");
    EXPECT_EQ(list.IndexOfName("Name"), -1);
    EXPECT_EQ(list.IndexOfName("x-long"), 1);
    // The first ":" separates; later ones belong to the value.
    list.Add("Location: http://h:81/a");
    EXPECT_EQ(list.Values("location"), "http://h:81/a");
}

TEST(HeaderList, ContinuationLinesNeverCountAsHeadersOfTheirOwn) {
    // Written as a continuation, the second "Set-Cookie" belongs to the first value.
    TNetHeaderList list = FromText("Set-Cookie: a=1\r\n Set-Cookie: b=2\r\nSet-Cookie: c=3");
    EXPECT_EQ(list.GetValues("set-cookie"),
              (std::vector<std::string>{"a=1 Set-Cookie: b=2", "c=3"}));
}

TEST(HeaderList, SettingReplacesInPlaceAppendsOrDeletes) {
    TNetHeaderList list = FromText("Host: a\r\nX-Folded: one\r\n two\r\nAccept: */*");
    list.SetValues("x-folded", "new");
    EXPECT_EQ(list.Text(), "Host: a\r\nx-folded: new\r\nAccept: */*");
    list.SetValues("User-Agent", "ua");
    EXPECT_EQ(list.Strings(3), "User-Agent: ua");
    list.SetValues("HOST", "");
    EXPECT_EQ(list.Text(), "x-folded: new\r\nAccept: */*\r\nUser-Agent: ua");
    list.SetValues("Not-There", "");
    EXPECT_EQ(list.Count(), 3u);
    // Only the first line of a repeated name is replaced.
    list.Add("Accept: text/plain");
    list.SetValues("Accept", "x/y");
    EXPECT_EQ(list.GetValues("accept"), (std::vector<std::string>{"x/y", "text/plain"}));
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Text(), "");
}

TEST(HeaderList, LongValuesAreNeverFoldedAndLineBreaksCannotSplitALine) {
    TNetHeaderList list;
    std::string longValue(5000, 'v');
    list.SetValues("Cookie", longValue);
    EXPECT_EQ(list.Text(), "Cookie: " + longValue);
    // A value with a line break must not smuggle a header line into the head.
    list.SetValues("User-Agent", "x\r\nInjected: 1");
    list.AddValue("Referer", "r\nEvil: 2");
    list.Add("Raw: a\rb");
    EXPECT_EQ(list.Count(), 4u);
    EXPECT_EQ(list.IndexOfName("Injected"), -1);
    EXPECT_EQ(list.IndexOfName("Evil"), -1);
    EXPECT_EQ(list.Text().find("\r\nInjected"), std::string::npos);
    EXPECT_EQ(list.Values("raw"), "a b");
}

TEST(HeaderList, IndexesOutsideTheListRaiseRangeErrors) {
    TNetHeaderList list = FromText("A: 1\nB: 2\rC: 3\r\n");
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_THROW(list.Strings(3), rtl::ERangeError);
    EXPECT_THROW(list.Delete(3), rtl::ERangeError);
    EXPECT_THROW(list.Insert(4, "x"), rtl::ERangeError);
    list.Insert(3, "D: 4");
    list.Delete(0);
    EXPECT_EQ(list.Text(), "B: 2\r\nC: 3\r\nD: 4");
}
