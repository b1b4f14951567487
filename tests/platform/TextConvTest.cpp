#include "platform/TextConv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace qrt {
namespace {

// Runs the conversions in a given time zone and restores the previous one afterwards.
class TimeZone {
public:
    explicit TimeZone(const char* aZone) {
        if (const char* old = std::getenv("TZ")) fOld = old, fHadOld = true;
        setenv("TZ", aZone, 1);
        tzset();
    }
    ~TimeZone() {
        if (fHadOld)
            setenv("TZ", fOld.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string fOld;
    bool fHadOld = false;
};

constexpr uint16_t DosDate(int y, int m, int d) {
    return static_cast<uint16_t>(((y - 1980) << 9) | (m << 5) | d);
}
constexpr uint16_t DosTime(int h, int mi, int s) {
    return static_cast<uint16_t>((h << 11) | (mi << 5) | (s / 2));
}
constexpr TFileTime FromUnix(int64_t aSeconds) {
    return static_cast<TFileTime>((aSeconds + 11644473600) * 10000000);
}

TEST(TextConvTest, Utf16BecomesUtf8) {
    struct Case {
        std::u16string In;
        std::string Out;
    };
    const Case cases[] = {
        {u"Photo.jpg", "Photo.jpg"},
        {u"M\u00fcller \u03a9", "M\xc3\xbcller \xce\xa9"},
        {u"\u20ac", "\xe2\x82\xac"},
        {u"a\U0001F600b", "a\xf0\x9f\x98\x80"
                          "b"},                                // a surrogate pair is one character
        {std::u16string{u'x', char16_t(0xD83D), u'y'}, "x_y"}, // a high surrogate without its pair
        {std::u16string{char16_t(0xDE00), u'z'}, "_z"},        // a low surrogate alone
        {std::u16string{u'q', char16_t(0xD83D)}, "q_"},        // a pair cut by the end
        {u"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf16ToUtf8(c.In), c.Out);
}

TEST(TextConvTest, OemCharacters) {
    EXPECT_EQ(OemCharToUtf8('A'), "A");
    EXPECT_EQ(OemCharToUtf8(0x9A), "\xc3\x9c"); // Ü
    EXPECT_EQ(OemCharToUtf8(0xE5), "\xc3\x95"); // Õ
    EXPECT_EQ(Utf8CharToOem("\xc3\x9c"), 0x9A);
    EXPECT_EQ(Utf8CharToOem("Q"), 'Q');
    EXPECT_EQ(Utf8CharToOem("\xe2\x82\xac"), 0); // the euro sign has no place in code page 850
    for (int b = 0x80; b <= 0xFF; ++b)
        EXPECT_EQ(Utf8CharToOem(OemCharToUtf8(static_cast<uint8_t>(b))), b);
}

TEST(TextConvTest, DosDateAndTimeAreLocalTime) {
    {
        TimeZone utc("UTC");
        // 2021-06-15 13:45:30
        EXPECT_EQ(DosDateTimeToFileTime(DosDate(2021, 6, 15), DosTime(13, 45, 30)), FromUnix(1623764730));
        EXPECT_EQ(FileTimeToDosDateTime(FromUnix(1623764730)),
                  (uint32_t{DosDate(2021, 6, 15)} << 16) | DosTime(13, 45, 30));
    }
    {
        TimeZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
        // Summer time: two hours ahead of UTC; winter: one.
        EXPECT_EQ(DosDateTimeToFileTime(DosDate(2021, 6, 15), DosTime(13, 45, 30)),
                  FromUnix(1623764730 - 7200));
        EXPECT_EQ(DosDateTimeToFileTime(DosDate(2021, 1, 15), DosTime(0, 0, 0)), FromUnix(1610665200));
        for (uint16_t date : {DosDate(1980, 1, 1), DosDate(2020, 2, 29), DosDate(2107, 12, 31)}) {
            uint16_t time = DosTime(23, 59, 58);
            EXPECT_EQ(FileTimeToDosDateTime(DosDateTimeToFileTime(date, time)),
                      (uint32_t{date} << 16) | time);
        }
    }
}

TEST(TextConvTest, InvalidDatesGiveZero) {
    TimeZone utc("UTC");
    struct Case {
        uint16_t Date, Time;
    };
    const Case cases[] = {
        {0, 0},                                   // an unset date: month 0, day 0
        {DosDate(2021, 13, 1), 0},                // month 13
        {DosDate(2021, 4, 31), 0},                // April has 30 days
        {DosDate(2021, 2, 29), 0},                // not a leap year
        {DosDate(2021, 2, 1), DosTime(24, 0, 0)}, // hour 24
        {DosDate(2021, 2, 1), DosTime(1, 60, 0)}, // minute 60
        {DosDate(2021, 2, 1), 30},                // 60 seconds
    };
    for (const Case& c : cases)
        EXPECT_EQ(DosDateTimeToFileTime(c.Date, c.Time), 0u) << c.Date << " " << c.Time;
    EXPECT_NE(DosDateTimeToFileTime(DosDate(2020, 2, 29), 0), 0u);
    EXPECT_EQ(FileTimeToDosDateTime(0), 0u);
    EXPECT_EQ(FileTimeToDosDateTime(FromUnix(0)), 0u); // 1970 lies before the DOS range
}

} // namespace
} // namespace qrt
