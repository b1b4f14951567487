#include "TestUtil.h"

#include "support/strParsing.h"

#include <gtest/gtest.h>

#include <vector>

namespace qrt {
namespace {

TEST(strParsingTest, SplitAt) {
    struct Case {
        std::string text;
        bool fromEnd;
        std::string head;
        std::string rest;
    } cases[] = {
        {"x=y", false, "x", "y"},
        {"a=b=c", false, "a", "b=c"},
        {"a=b=c", true, "a=b", "c"},
        {"abc=", true, "abc", ""},
        {"=abc", false, "", "abc"},
        {"=abc", true, "=abc", ""}, // searching from the end stops at the second character
        {"abc", false, "abc", ""},
        {"abc", true, "abc", ""},
        {"=", false, "", ""},
    };
    for (const auto& c : cases) {
        std::string text = c.text, head = "<untouched>";
        SplitAt(text, '=', c.fromEnd, head);
        EXPECT_EQ(head, c.head) << c.text << " " << c.fromEnd;
        EXPECT_EQ(text, c.rest) << c.text << " " << c.fromEnd;
    }
    std::string empty, head;
    EXPECT_ASSERTION(SplitAt(empty, '=', false, head), "WTF?");
}

std::vector<std::string> Slices(const std::string& aText, bool aBackwards, int32_t* aEnd = nullptr) {
    std::vector<std::string> slices;
    int32_t position = aBackwards ? static_cast<int32_t>(aText.size()) : 1;
    while (position > 0) {
        std::string slice;
        GetStringSlice(aText, position, ',', slice, aBackwards);
        slices.push_back(slice);
    }
    if (aEnd) *aEnd = position;
    return slices;
}

TEST(strParsingTest, GetStringSliceWalksBothWays) {
    using V = std::vector<std::string>;
    struct Case {
        std::string text;
        bool backwards;
        V slices;
        int32_t end;
    } cases[] = {
        {"a,b,,c", false, V{"a", "b", "", "c"}, -1},
        {"a,b,,c", true, V{"c", "", "b", "a"}, 0},
        {"abc", false, V{"abc"}, -1},
        {"abc", true, V{"abc"}, 0},
        {"a,", false, V{"a"}, -1}, // a delimiter at the far end gives no empty slice
        {",a", true, V{"a"}, 0},
        {",a", false, V{"", "a"}, -1},
        {"a,", true, V{"", "a"}, 0},
        {",", false, V{""}, -1},
    };
    for (const auto& c : cases) {
        int32_t end = 99;
        EXPECT_EQ(Slices(c.text, c.backwards, &end), c.slices) << c.text << " " << c.backwards;
        EXPECT_EQ(end, c.end) << c.text << " " << c.backwards;
    }
}

TEST(strParsingTest, GetStringSliceChecksPosition) {
    std::string slice;
    struct Case {
        std::string text;
        int32_t position;
        bool backwards;
        std::string message;
    } cases[] = {
        {"a,b", 0, false,
         "You must set Position := 1..strLen before calling GetStringSlice the first time!! (Position = 0)"},
        {"a,b", -1, false,
         "You must set Position := 1..strLen before calling GetStringSlice the first time!! (Position = -1)"},
        {"a,b", 4, true,
         "You must set Position := 1..strLen before calling GetStringSlice the first time!! (Position = 4)"},
        {"ab,c", 2, false, "Position is wrong!! (Position = 2, str[Position] = b,c)"},
        {"ab,c", 1, true, "Position is wrong!! (Position = 1, str[Position] = ab,c)"},
        {"", 1, false, "WTF?"},
    };
    for (const auto& c : cases) {
        int32_t position = c.position;
        EXPECT_ASSERTION(GetStringSlice(c.text, position, ',', slice, c.backwards), c.message);
    }
}

} // namespace
} // namespace qrt
