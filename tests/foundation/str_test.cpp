#include "foundation/str.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>
#include <tuple>

#include "platform/cfdate.h"
#include "support/bundle_fixture.h"
#include "support/scoped_env.h"

namespace {

TEST(CStr, NewAssignAndGrowth)
{
    CStr s;
    EXPECT_EQ(s.GetLength(), 0u);
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_EQ(s.GetCapacity(), 1u);
    EXPECT_FALSE(s.Assign(nullptr));
    EXPECT_TRUE(s.Assign("hello world"));
    size_t grown = s.GetCapacity();
    EXPECT_TRUE(s.Assign("hi"));
    EXPECT_STREQ(s.c_str(), "hi");
    EXPECT_EQ(s.GetCapacity(), grown);  // never shrinks
    EXPECT_TRUE(s.Assign(s.c_str() + 1));  // assigning a tail of itself
    EXPECT_STREQ(s.c_str(), "i");
}

TEST(CStr, FormatKeepsLongTextsWhole)
{
    CStr s;
    for (size_t n : {0u, 1u, 255u, 256u, 300u, 511u, 512u, 5000u}) {
        std::string expected(n, 'x');
        ASSERT_TRUE(s.Format("%s", expected.c_str()));
        EXPECT_EQ(s.GetLength(), n);
        EXPECT_EQ(std::string(s.c_str()), expected);
    }
    // Several arguments across a regrowth: each attempt needs its own argument list.
    std::string a(400, 'a');
    ASSERT_TRUE(s.Format("%s-%d-%s", a.c_str(), 42, "end"));
    EXPECT_EQ(std::string(s.c_str()), a + "-42-end");
    // A wide character outside the C locale's range makes printf fail.
    EXPECT_FALSE(s.Format("%lc", static_cast<wint_t>(0x1F600)));
    EXPECT_EQ(std::string(s.c_str()), a + "-42-end");
    EXPECT_FALSE(s.Format(nullptr));
}

TEST(CStr, EqualsAndNumbers)
{
    CStr s;
    s.Assign("True");
    EXPECT_TRUE(s.Equals("true", false));
    EXPECT_FALSE(s.Equals("true", true));
    EXPECT_TRUE(s.Equals("True", true));
    EXPECT_FALSE(s.Equals(nullptr, false));
    s.Assign("-12abc");
    EXPECT_EQ(s.ToInt(), -12);
    s.Assign("2.5e1");
    EXPECT_DOUBLE_EQ(s.ToDouble(), 25.0);

    long v = 0;
    EXPECT_EQ(StringToLong("77", &v), 77);
    EXPECT_EQ(v, 77);
    double d = 0;
    EXPECT_DOUBLE_EQ(StringToDouble("0.125", &d), 0.125);
    EXPECT_DOUBLE_EQ(d, 0.125);
    char buf[256];
    IntToString(-2147483647L - 1, buf);
    EXPECT_STREQ(buf, "-2147483648");
}

TEST(FormatTime, Rows)
{
    const std::pair<uint32_t, const char*> rows[] = {
        {0, "00:00.00"},         {9, "00:00.00"},          {10, "00:00.01"},         {999, "00:00.99"},
        {1000, "00:01.00"},      {59999, "00:59.99"},      {60000, "01:00.00"},      {61010, "01:01.01"},
        {3599990, "59:59.99"},   {6000000, "100:00.00"},   {4294967295u, "71582:47.29"},
    };
    for (auto [ms, text] : rows) {
        char buf[32];
        FormatTime(ms, buf, sizeof buf);
        EXPECT_STREQ(buf, text) << ms;
    }
    char tiny[4];
    FormatTime(61010, tiny, sizeof tiny);  // truncated, never overrun
    EXPECT_STREQ(tiny, "01:");
}

TEST(LocalizedStrings, LookupAndMissingKeys)
{
    tavrel_test::ScopedBundle bundle(
        "/* test table */\n\"100\" = \"Hello \\\"you\\\"\";\n\"101\" = \"\";\n"
        "\"102\" = \"caf\xc3\xa9\";\n\"103\" = \"\xe2\x82\xac \xf0\x9f\x98\x80\";\n");
    struct Row {
        int id;
        bool made;
        const char* text;
    } rows[] = {
        {100, true, "Hello \"you\""}, {4242, true, "4242"},  // no entry: the number's own digits
        {-7, true, "-7"}, {101, true, ""}, {102, true, "caf\x8e"},  // Mac Roman in the program
        {103, false, ""},  // no Mac Roman form: not made
    };
    CStr s;
    for (const Row& row : rows) {
        EXPECT_EQ(GetLocalizedString(s, row.id), row.made) << row.id;
        EXPECT_STREQ(s.c_str(), row.text) << row.id;
    }
    EXPECT_STREQ(CStr::LoadString(100).c_str(), "Hello \"you\"");
    EXPECT_STREQ(CStr::LoadString(103).c_str(), "");
}

TEST(LocalizedStrings, ShippedTableIsFoundInTheBuiltBundle)
{
    CStr s;
    ASSERT_TRUE(GetLocalizedString(s, 11101));
    EXPECT_STREQ(s.c_str(), "Cancel");
}

// The local date follows the time zone in force at each call; POSIX zone
// texts need no zone database.
TEST(CDate, FollowsTheTimeZone)
{
    struct Zone {
        const char* tz;
        int offsetMinutes;
        platform::GregorianDate start;  // of absolute time 0, 2001-01-01 00:00 UTC
    } zones[] = {
        {"UTC0", 0, {2001, 1, 1, 0, 0, 0}},
        {"IST-5:30", 330, {2001, 1, 1, 5, 30, 0}},
        {"NST3:30", -210, {2000, 12, 31, 20, 30, 0}},
    };
    for (const Zone& zone : zones) {
        tavrel_test::ScopedEnv tz("TZ", zone.tz);
        platform::GregorianDate d = platform::AbsoluteTimeGetGregorianDate(0.25);
        EXPECT_EQ(std::make_tuple(d.year, d.month, d.day, d.hour, d.minute),
                  std::make_tuple(zone.start.year, zone.start.month, zone.start.day, zone.start.hour,
                                  zone.start.minute))
            << zone.tz;
        EXPECT_DOUBLE_EQ(d.second, 0.25);

        CDate now;
        time_t shifted = static_cast<time_t>(now.GetAbsoluteTime() + 978307200.0) + zone.offsetMinutes * 60;
        tm expected{};
        gmtime_r(&shifted, &expected);
        EXPECT_EQ(std::make_tuple(now.GetYear(), now.GetMonth(), now.GetDay(), now.GetHour(), now.GetMinute(),
                                  now.GetSecond()),
                  std::make_tuple(expected.tm_year + 1900, expected.tm_mon + 1, expected.tm_mday, expected.tm_hour,
                                  expected.tm_min, expected.tm_sec))
            << zone.tz;
    }
}

}  // namespace
