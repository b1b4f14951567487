#include "TestUtil.h"

#include "fat/diskFsFAT.h"

#include <gtest/gtest.h>

#include <string>

namespace qrt {
namespace {

TFATDirEntry Entry(const std::string& aName11, uint8_t aCaseFlags = 0) {
    TFATDirEntry e{};
    for (size_t i = 0; i < 11; ++i)
        e[i] = static_cast<uint8_t>(aName11.at(i));
    e[11] = 0x20;
    e[12] = aCaseFlags;
    return e;
}

TEST(FatNameTest, ShortEntryNames) {
    struct Case {
        std::string Name11;
        uint8_t CaseFlags;
        bool Valid;
        std::string Text;
    };
    const Case cases[] = {
        {"README  TXT", 0, true, "README.TXT"},
        {"FOO        ", 0, true, "FOO"},
        {"README  TXT", 0x18, true, "readme.txt"}, // both parts in lower case
        {"README  TXT", 0x08, true, "readme.TXT"},
        {"README  TXT", 0x10, true, "README.txt"},
        {"X#Y&Z^1 $%~", 0, true, "X#Y&Z^1.$%~"},
        {"M\x9aLLER  TXT", 0, true, "M\xc3\x9cLLER.TXT"}, // OEM characters become UTF-8
        {"           ", 0, true, ""},                     // all blank passes
        {"\xe5"
         "BC     TXT",
         0, true,
         "\xc3\x95"
         "BC.TXT"},                              // a deleted entry: byte 0 is not checked
        {"Readme  TXT", 0, false, "Readme.TXT"}, // lower case in the raw bytes
        {"A+B     TXT", 0, false, "A+B.TXT"},
        {"AB CD   TXT", 0, false, "AB.TXT"}, // a space inside the name
        {"ABC     T T", 0, false, "ABC.T"},
        {"A.B        ", 0, false, "A.B"},
    };
    for (const Case& c : cases) {
        TFATDirEntry e = Entry(c.Name11, c.CaseFlags);
        EXPECT_EQ(IsValidShortEntryName(e), c.Valid) << c.Name11;
        EXPECT_EQ(ShortNameToString(e), c.Text) << c.Name11;
    }
}

TEST(FatNameTest, ChecksumOfTheShortName) {
    // Values of the published algorithm (the reader tests check it against the entries mtools writes).
    EXPECT_EQ(ShortNameChecksum(Entry("PHOTO   JPG")), 0x33);
    EXPECT_EQ(ShortNameChecksum(Entry("AB~1    TXT")), 0xEC);
    // The case flags are not part of it.
    EXPECT_EQ(ShortNameChecksum(Entry("PHOTO   JPG", 0x18)), 0x33);
}

TEST(FatNameTest, LongAndShortNameRules) {
    for (const char* name : {"Photo.jpg", "a b.txt", "M\xc3\xbcller.txt", "..", "x#y+z,[1]"})
        EXPECT_TRUE(IsValidLongName(name)) << name;
    for (const char* name : {"a*b", "a/b", "a:b", "a<b", "a>b", "a?b", "a\\b", "a|b", "a\"b", "a\tb"})
        EXPECT_FALSE(IsValidLongName(name)) << name;
    EXPECT_ASSERTION(IsValidLongName(""), "WTF?");

    for (const char* name :
         {"README.TXT", "FOO", "ABCDEFGH.ABC", "X#Y.$%~", "M\xc3\x9cLLER.TXT", "@HOTO.JPG"})
        EXPECT_TRUE(IsValidShortName(name)) << name;
    for (const char* name : {".", "..", "A.B.C", "ABCDEFGHI.TXT", "README.", "readme.txt", "A B", "A+B"})
        EXPECT_FALSE(IsValidShortName(name)) << name;
    EXPECT_ASSERTION(IsValidShortName(""), "WTF?");
}

TEST(FatNameTest, LongNameEntries) {
    TFATDirEntry e{};
    e[0] = 0x41;
    e[11] = 0x0F;
    const char16_t text[] = u"abcdefghijklm";
    static constexpr size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (size_t i = 0; i < 13; ++i) {
        e[kOffsets[i]] = static_cast<uint8_t>(text[i]);
        e[kOffsets[i] + 1] = 0;
    }
    EXPECT_TRUE(IsLongNameEntry(e));
    EXPECT_EQ(LongNamePart(e), u"abcdefghijklm");
    e[kOffsets[5]] = 0; // a terminator ends the part
    EXPECT_EQ(LongNamePart(e), u"abcde");
    e[26] = 5; // a first cluster: not a long-name entry
    EXPECT_FALSE(IsLongNameEntry(e));
    e[26] = 0;
    e[11] = 0x0E;
    EXPECT_FALSE(IsLongNameEntry(e));
    e[11] = 0x3F; // the upper attribute bits do not matter here
    EXPECT_TRUE(IsLongNameEntry(e));
    e[0] = 0;
    EXPECT_FALSE(IsLongNameEntry(e));
}

} // namespace
} // namespace qrt
