#include "util/XFun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

using Tokens = std::vector<std::string>;

// Sets TZ for one test and restores the previous value afterwards.
class ZoneTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (hadZone_)
            ::setenv("TZ", oldZone_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    void useZone(const char *zone) {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    static std::string localStamp(std::time_t t) {
        std::tm tm{};
        localtime_r(&t, &tm);
        char text[64];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
        return text;
    }
    // diffTime of a stamp offset seconds away from now, retried until no
    // second boundary falls inside the call.
    static std::int64_t agoOf(std::int64_t offset) {
        for (;;) {
            const std::time_t now = std::time(nullptr);
            const std::string stamp = localStamp(now - static_cast<std::time_t>(offset));
            const std::int64_t r = XFun::diffTime(stamp.c_str());
            if (std::time(nullptr) == now)
                return r;
        }
    }

  private:
    const char *zoneAtStart_ = std::getenv("TZ");
    bool hadZone_ = zoneAtStart_ != nullptr;
    std::string oldZone_ = zoneAtStart_ ? zoneAtStart_ : "";
};

} // namespace

TEST(Tokenize, SkipsRunsAndEndsAndAppends) {
    Tokens t{"keep"};
    XFun::tokenize("  ab, c,,d ", t, " ,");
    EXPECT_EQ(t, (Tokens{"keep", "ab", "c", "d"}));
    XFun::tokenize("x;y", t, ";");
    EXPECT_EQ(t, (Tokens{"keep", "ab", "c", "d", "x", "y"}));
}

TEST(Tokenize, DegenerateInputs) {
    Tokens t;
    XFun::tokenize("abc", t, "");
    EXPECT_EQ(t, Tokens{"abc"});
    t.clear();
    XFun::tokenize("", t, " ");
    XFun::tokenize(" ,, ", t, ", ");
    EXPECT_TRUE(t.empty());
    XFun::tokenize("one two", t);
    EXPECT_EQ(t, (Tokens{"one", "two"}));
}

TEST(CaseFolding, OnlyAsciiLettersChange) {
    EXPECT_EQ(XFun::toUpper("Press again to stop."), "PRESS AGAIN TO STOP.");
    EXPECT_EQ(XFun::toLower("Press again to stop."), "press again to stop.");
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::string lower = XFun::toLower(all);
    const std::string upper = XFun::toUpper(all);
    ASSERT_EQ(lower.size(), 256u);
    ASSERT_EQ(upper.size(), 256u);
    for (int b = 0; b < 256; ++b) {
        const bool isUpper = b >= 'A' && b <= 'Z';
        const bool isLower = b >= 'a' && b <= 'z';
        EXPECT_EQ(static_cast<unsigned char>(lower[b]), isUpper ? b + 32 : b) << b;
        EXPECT_EQ(static_cast<unsigned char>(upper[b]), isLower ? b - 32 : b) << b;
    }
}

TEST_F(ZoneTest, DiffTimeCountsSecondsAgoInUtc) {
    useZone("UTC");
    EXPECT_EQ(agoOf(3600), 3600);
    EXPECT_EQ(agoOf(0), 0);
    EXPECT_EQ(agoOf(-90), -90);
    EXPECT_EQ(agoOf(86400 * 400 + 5), 86400 * 400 + 5);
}

TEST_F(ZoneTest, DiffTimeInZonesWithDaylightSaving) {
    // Northern and southern rules, given inline so no zone files are needed:
    // whatever the date, one of the two is in its summer period.
    for (const char *zone : {"CET-1CEST,M3.5.0,M10.5.0/3", "AEST-10AEDT,M10.1.0,M4.1.0/3"}) {
        useZone(zone);
        const std::time_t now = std::time(nullptr);
        const std::time_t hourAgo = now - 3600;
        std::tm a{}, b{};
        localtime_r(&now, &a);
        localtime_r(&hourAgo, &b);
        if (a.tm_isdst == b.tm_isdst) {
            EXPECT_EQ(agoOf(3600), 3600) << zone;
        }
        EXPECT_EQ(agoOf(-120), -120) << zone;
    }
}

TEST_F(ZoneTest, DiffTimeOfUnparsableTextUsesZeroFields) {
    useZone("UTC");
    // A zero record is 1899-12-31 00:00:00 (day 0 of January 1900).
    for (;;) {
        const std::time_t now = std::time(nullptr);
        const std::int64_t garbage = XFun::diffTime("not a time");
        const std::int64_t null = XFun::diffTime(nullptr);
        const std::int64_t zero = XFun::diffTime("1899-12-31 00:00:00");
        if (std::time(nullptr) != now)
            continue;
        EXPECT_EQ(garbage, zero);
        EXPECT_EQ(null, zero);
        EXPECT_GT(zero, static_cast<std::int64_t>(now));
        break;
    }
}

TEST(FormatTime, LongForms) {
    EXPECT_EQ(XFun::formatTime(90061, false), "1 days, 1 hours, 1 minutes, 1 seconds ago..\n");
    EXPECT_EQ(XFun::formatTime(3600, false), "1 hours, 0 minutes, 0 seconds ago..\n");
    EXPECT_EQ(XFun::formatTime(60, false), "1 minutes, 0 seconds ago..\n");
    EXPECT_EQ(XFun::formatTime(59, false), "59 seconds ago..\n");
    EXPECT_EQ(XFun::formatTime(0, false), "0 seconds ago..\n");
    EXPECT_EQ(XFun::formatTime(86400 * 3, false), "3 days, 0 hours, 0 minutes, 0 seconds ago..\n");
}

TEST(FormatTime, BriefForms) {
    EXPECT_EQ(XFun::formatTime(90061, true), "1day 1hr 1min 1s ago..\n");
    EXPECT_EQ(XFun::formatTime(7322, true), "2hr 2min 2s ago..\n");
    EXPECT_EQ(XFun::formatTime(61, true), "1min 1s ago..\n");
    EXPECT_EQ(XFun::formatTime(5, true), "5s ago..\n");
}

TEST(FormatTime, NegativeAndHugeCounts) {
    EXPECT_EQ(XFun::formatTime(-90, false), "-30 seconds ago..\n");
    EXPECT_EQ(XFun::formatTime(-90061, true), "-1s ago..\n");
    // Day counts beyond 32 bits wrap in the 32-bit printout, but the
    // smaller units stay right and nothing reads past its argument.
    const std::int64_t days = (std::int64_t{1} << 32) + 7;
    EXPECT_EQ(XFun::formatTime(days * 86400 + 3723, true), "7day 1hr 2min 3s ago..\n");
}
