#include "TestUtil.h"

#include "core/Exceptions.h"
#include "core/Streams.h"
#include "recognition/HeaderMatchingChecks.h"
#include "recognition/HexUtils.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace qrt {
namespace {

using test::TempDir;

// A memory stream over given bytes that counts its reads.
class TCountingStream : public TMemoryStream {
public:
    explicit TCountingStream(const std::string& aBytes) {
        if (!aBytes.empty()) WriteBuffer(aBytes.data(), static_cast<int64_t>(aBytes.size()));
        SetPosition(0);
    }
    int64_t Read(void* aBuffer, int64_t aCount) override {
        ++Reads;
        return TMemoryStream::Read(aBuffer, aCount);
    }
    int Reads = 0;
};

std::string Hex(const std::string& aBytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : aBytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// A checks file with one check "!<name>" holding the given keys.
class ChecksFile {
public:
    std::string Write(const std::string& aText) {
        test::WriteFileBytes(fPath, "[!!version+etc]\nversion=1\n\n" + aText);
        return fPath;
    }
    const std::string& Path() const { return fPath; }

private:
    TempDir fDir;
    std::string fPath = fDir.File("FileIdChecks.ini");
};

template <typename TCheck>
std::unique_ptr<TCheck> LoadCheck(ChecksFile& aFile, const std::string& aName, const std::string& aSection) {
    aFile.Write("[!" + aName + "]\n" + aSection);
    auto check = std::make_unique<TCheck>();
    check->LoadFromIni(aFile.Path(), aName);
    return check;
}

// --- Patterns --------------------------------------------------------------------------------------

TEST(PatternTest, ParsesTokens) {
    struct Case {
        std::string pattern;
        std::string bytes;
    } cases[] = {
        {"4D5a", std::string("\x4D\x5A")},
        {"`PK`", std::string("P\0K", 3)},
        {"`A`", "A"},
        {"``41", "A"},
        {"\"ftyp\"00", std::string("ftyp\0", 5)},
        {"41 ;note", "A"},
        {"41   ", "A"},
        {"\"a b;c\"", "a b;c"},
        {"\"\"41", "A"},
    };
    for (const Case& c : cases) {
        std::string bytes;
        TWildcardMask mask{};
        EXPECT_TRUE(ParseBytePattern(c.pattern, bytes, mask)) << c.pattern;
        EXPECT_EQ(Hex(bytes), Hex(c.bytes)) << c.pattern;
        EXPECT_FALSE(HasWildcards(mask)) << c.pattern;
    }
}

TEST(PatternTest, WildcardsAreMarked) {
    std::string bytes;
    TWildcardMask mask{};
    ASSERT_TRUE(ParseBytePattern("41??\"B\"??", bytes, mask));
    EXPECT_EQ(Hex(bytes), "41B742B7");
    EXPECT_EQ(mask[0], 0x0A); // positions 1 and 3
    EXPECT_TRUE(IsWildcard(mask, 1));
    EXPECT_FALSE(IsWildcard(mask, 2));
}

TEST(PatternTest, RejectsMalformedPatterns) {
    struct Case {
        std::string pattern;
        std::string parsed; // what was parsed before the error
    } cases[] = {
        {"41 42", "A"}, {"4", ""},     {"4G", ""},  {"41\"abc", "A"},
        {"`abc", ""},   {"", ""},      {" 41", ""}, {"?", ""},
        {"?4", ""},     {"41\t", "A"}, {"x", ""},   {std::string(2050, '4'), std::string(1025, '\x44')},
    };
    for (const Case& c : cases) {
        std::string bytes;
        TWildcardMask mask{};
        EXPECT_FALSE(ParseBytePattern(c.pattern, bytes, mask)) << c.pattern;
        EXPECT_EQ(Hex(bytes), Hex(c.parsed)) << c.pattern;
    }
    std::string bytes;
    TWildcardMask mask{};
    EXPECT_TRUE(ParseBytePattern(std::string(2048, '4'), bytes, mask)); // exactly 1024 bytes
    EXPECT_ASSERTION(ParseBytePattern("4?", bytes, mask), "WTF?");
}

// --- Data ------------------------------------------------------------------------------------------

TEST(CheckDataTest, HexDatumSyntax) {
    THexCheckData d = ParseHexDatum(" 1A:*??00 ");
    EXPECT_EQ(d.Offset, 0x1A);
    EXPECT_EQ(d.Origin, 0);
    EXPECT_EQ(d.Exact, 0);
    EXPECT_EQ(Hex(d.Bytes), "B700");
    EXPECT_TRUE(IsWildcard(d.WildcardMask, 0));

    EXPECT_EQ(ParseHexDatum("4D5A").Offset, kNoHexOffset);
    EXPECT_EQ(ParseHexDatum("zz:4D5A").Offset, 0); // unreadable offsets read as 0
    EXPECT_EQ(ParseHexDatum("FFFFFFFF:4D").Offset, -1);
    EXPECT_EQ(ParseHexDatum("0:4D").Exact, 1);

    EXPECT_ASSERTION(ParseHexDatum("0: 4D5A"), "Error with [ 4D5A], only got ");
    EXPECT_ASSERTION(ParseHexDatum("10:*4D5G"), "Error with [*4D5G], only got M");
}

TEST(CheckDataTest, TextDatumSyntax) {
    struct Case {
        std::string datum;
        int32_t start, length;
        uint16_t origin;
        uint8_t caseSensitive, notMarker;
        std::string bytes;
    } cases[] = {
        {"\"<html\"", 0, 262144, 0, 0, 0, "<html"},
        {"*\"<html\"", 0, 262144, 0, 1, 0, "<html"},
        {"-1024:\"JFIF\"", -1024, 1024, 2, 0, 0, "JFIF"},
        {"100-50:\"ab\"", 100, 50, 0, 0, 0, "ab"},
        {"20:3C3F786D6C", 0, 20, 0, 0, 0, "<?xml"},
        {" 7 :*!41", 0, 7, 0, 1, 1, "A"},
        {"9999999:41", 0, 262144, 0, 0, 0, "A"},
        {"x:41", 0, 262144, 0, 0, 0, "A"},
        {"x-5:41", 0, 5, 0, 0, 0, "A"},
        {"5-x:41", 5, 262144, 0, 0, 0, "A"},
        {"-300000:41", -300000, 262144, 2, 0, 0, "A"},
    };
    for (const Case& c : cases) {
        TTextCheckData d = ParseTextDatum(c.datum);
        EXPECT_EQ(d.Start, c.start) << c.datum;
        EXPECT_EQ(d.Length, c.length) << c.datum;
        EXPECT_EQ(d.Origin, c.origin) << c.datum;
        EXPECT_EQ(d.CaseSensitive, c.caseSensitive) << c.datum;
        EXPECT_EQ(d.NotMarker, c.notMarker) << c.datum;
        EXPECT_EQ(d.Bytes, c.bytes) << c.datum;
    }
    EXPECT_ASSERTION(ParseTextDatum(" 20:41 42 "), "Error with [20:41 42], only got A");
    // The range ends at the first ":", even inside quotes.
    EXPECT_ASSERTION(ParseTextDatum("\"http://x\""), "Error with [\"http://x\"], only got ");
}

TEST(CheckDataTest, FoldsCaseByWindows1252) {
    struct Case {
        uint8_t in, out;
    } cases[] = {{'A', 'a'},   {'Z', 'z'},   {'a', 'a'},   {'@', '@'},   {0x8A, 0x9A},
                 {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}, {0xC0, 0xE0}, {0xD6, 0xF6},
                 {0xD7, 0xD7}, {0xDE, 0xFE}, {0xDF, 0xDF}, {0x8B, 0x8B}, {0xE9, 0xE9}};
    for (const Case& c : cases)
        EXPECT_EQ(FoldCase1252(c.in), c.out) << int(c.in);
}

// --- Loading ---------------------------------------------------------------------------------------

TEST(CheckLoadTest, HexDataEndAtTheFirstEmptyDatum) {
    ChecksFile file;
    auto check = LoadCheck<TFileTypeCheckItemByHex>(
        file, "hexExe", "0=0:4D5A ; program\n1=1A:??00\n2=;only a comment\n3=0:FF\n");
    EXPECT_EQ(check->Name, "hexExe");
    ASSERT_EQ(check->Data.size(), 2u);
    EXPECT_EQ(Hex(check->Data[0].Bytes), "4D5A");
    EXPECT_EQ(check->Data[1].Offset, 0x1A);
}

TEST(CheckLoadTest, ParseErrorStopsTheLoad) {
    ChecksFile file;
    file.Write("[!hexBad]\n0=0:4D5A\n1=0: 4D5A\n");
    TFileTypeCheckItemByHex hex;
    EXPECT_ASSERTION(hex.LoadFromIni(file.Path(), "hexBad"), "Error with [ 4D5A], only got ");
    file.Write("[!textBad]\n0=16:\"unclosed\n");
    TFileTypeCheckItemByText text;
    EXPECT_ASSERTION(text.LoadFromIni(file.Path(), "textBad"), "Error with [16:\"unclosed], only got ");
}

TEST(CheckLoadTest, AlsoIsExpandedDepthFirstWithEachNameOnce) {
    ChecksFile file;
    file.Write("[!hexA]\nAlso= hexB , ,hexC\n0=0:41\n"
               "[!hexB]\nAlso=hexD\n"
               "[!hexC]\nAlso=hexB,hexA\n"
               "[!hexD]\n0=0:44\n"
               "[!hexE]\nAlso=hexD\n"
               "[!hexSelf]\nAlso=hexSelf\n"
               "[!hexCommas]\nAlso= , \n");
    struct Case {
        std::string name, also;
    } cases[] = {
        {"hexA", "hexB,hexD,hexC,hexA"}, // the chain through hexC leads back to hexA
        {"hexB", "hexD"},
        {"hexD", ""},
        {"hexE", "hexD"},
        {"hexSelf", "hexSelf"},
        {"hexMissing", ""},
    };
    for (const Case& c : cases) {
        TFileTypeCheckItemByHex check;
        check.LoadFromIni(file.Path(), c.name);
        EXPECT_EQ(check.Also, c.also) << c.name;
        EXPECT_EQ(check.Name, c.name);
    }
    TFileTypeCheckItemByHex commas;
    EXPECT_ASSERTION(commas.LoadFromIni(file.Path(), "hexCommas"), "WTF?");
}

TEST(CheckLoadTest, KindsFollowTheName) {
    struct Case {
        std::string name, kind;
    } cases[] = {{"hexA", "hex"}, {"textA", "text"}, {"regexA", "regex"}};
    for (const Case& c : cases) {
        std::unique_ptr<TFileTypeCheckItem> check(CreateCheckItemForName(c.name));
        ASSERT_NE(check, nullptr);
        std::string kind;
        check->KindName(kind);
        EXPECT_EQ(kind, c.kind);
    }
    EXPECT_EQ(CreateCheckItemForName("HexA"), nullptr); // compared exactly
    EXPECT_EQ(CreateCheckItemForName("jpeg"), nullptr);

    TFileTypeCheckItemByRegExpr regex;
    TCountingStream stream("abc");
    EXPECT_ASSERTION(regex.LoadFromIni("/nonexistent/FileIdChecks.ini", "regexA"), "UNIMPLEMENTED!!");
    EXPECT_ASSERTION(regex.Matches(stream), "UNIMPLEMENTED!!");
}

// --- Matching --------------------------------------------------------------------------------------

TEST(HexMatchTest, DataAtOffsets) {
    ChecksFile file;
    const std::string exe = "MZ" + std::string(0x18, 'x') + "\x77" + std::string(1, '\0') + "tail";
    struct Case {
        std::string data;
        std::string content;
        bool matches;
    } cases[] = {
        {"0=0:4D5A\n", exe, true},
        {"0=0:4D5A ; program\n", exe, true},
        {"0=1A:??00\n", exe, true},
        {"0=1A:??00\n", exe.substr(0, 0x1B), false}, // the zero byte is missing
        {"0=1A:??\n", exe.substr(0, 0x1A), false},   // a wildcard needs a byte too
        {"0=0:4D5A\n", "M", false},                  // one-byte file
        {"0=0:4D5A\n1=2:\"x\"\n", exe, true},
        {"0=0:4D5A\n1=2:\"y\"\n", exe, false},
        {"0=4D5A\n", exe, false},        // no offset: never matches
        {"0=FFFFFFFF:4D\n", exe, false}, // negative offset
        {"", "", true},                  // no data: matches anything
        {"0=0:4d5a\n", "mz", false},     // bytes, not text
    };
    for (const Case& c : cases) {
        auto check = LoadCheck<TFileTypeCheckItemByHex>(file, "hexCase", c.data);
        TCountingStream stream(c.content);
        EXPECT_EQ(check->Matches(stream), c.matches) << c.data;
    }
}

TEST(HexMatchTest, SharesReadsAtTheSameOffset) {
    ChecksFile file;
    auto check =
        LoadCheck<TFileTypeCheckItemByHex>(file, "hexShared", "0=0:4D5A90\n1=0:4D5A\n2=0:4D\n3=1:5A\n");
    TCountingStream stream("MZ\x90");
    EXPECT_TRUE(check->Matches(stream));
    EXPECT_EQ(stream.Reads, 2); // offset 0 once, offset 1 once

    // A longer pattern at the same offset needs a new read.
    check = LoadCheck<TFileTypeCheckItemByHex>(file, "hexLonger", "0=0:4D\n1=0:4D5A\n");
    TCountingStream again("MZ");
    EXPECT_TRUE(check->Matches(again));
    EXPECT_EQ(again.Reads, 2);
}

TEST(TextMatchTest, Windows) {
    ChecksFile file;
    auto at = [](size_t aSize, size_t aPos, const std::string& aText) {
        std::string s(aSize, '.');
        s.replace(aPos, aText.size(), aText);
        return s;
    };
    struct Case {
        std::string datum;
        std::string content;
        bool matches;
    } cases[] = {
        {"\"<html\"", "xx<HTML>", true},
        {"\"<html\"", at(262144 + 10, 262139, "<html"), true},  // ends with the window
        {"\"<html\"", at(262144 + 10, 262140, "<html"), false}, // one byte beyond
        {"*\"<html\"", "xx<HTML>", false},
        {"*\"<html\"", "xx<html>", true},
        {"-1024:\"JFIF\"", at(2000, 1500, "JFIF"), true},
        {"-1024:\"JFIF\"", at(2000, 500, "JFIF"), false},
        {"-1024:\"JFIF\"", at(800, 100, "JFIF"), false}, // the window starts in front of the file
        {"100-50:\"ab\"", at(300, 148, "ab"), true},
        {"100-50:\"ab\"", at(300, 149, "ab"), false},
        {"100-50:\"ab\"", at(300, 99, "ab"), false},
        {"20:3C3F786D6C", at(40, 15, "<?xml"), true},
        {"20:3C3F786D6C", at(40, 16, "<?xml"), false},
        {"20:\"a??c\"", "xxaXc", false}, // quotes hold the question marks
        {"20:61????64", "xxaXYd", true},
        {"20:\"\xC9T\xC9\"", "xx\xE9t\xE9", true}, // É and é are one letter
        {"20:\"\xD7\"", "xx\xF7", false},          // × has no lower case
        {"20:*\"\xC9\"", "xx\xE9", false},
        {"5000:\"end\"", "the end", true}, // a file shorter than the window
    };
    for (const Case& c : cases) {
        auto check = LoadCheck<TFileTypeCheckItemByText>(file, "textCase", "0=" + c.datum + "\n");
        TCountingStream stream(c.content);
        EXPECT_EQ(check->Matches(stream), c.matches) << c.datum;
    }
}

TEST(TextMatchTest, SharesWindowsButSearchesOnlyItsOwn) {
    ChecksFile file;
    std::string content(2000, '.');
    content.replace(10, 1, "x");
    content.replace(500, 1, "y");
    auto check =
        LoadCheck<TFileTypeCheckItemByText>(file, "textShared", "0=1000:\"x\"\n1=1000:\"y\"\n2=20:\"x\"\n");
    TCountingStream stream(content);
    EXPECT_TRUE(check->Matches(stream));
    EXPECT_EQ(stream.Reads, 1);

    // "y" lies in the shared 1000-byte window but outside the 20 bytes the datum asks for.
    check = LoadCheck<TFileTypeCheckItemByText>(file, "textNarrow", "0=1000:\"x\"\n1=20:\"y\"\n");
    TCountingStream narrow(content);
    EXPECT_FALSE(check->Matches(narrow));
    EXPECT_EQ(narrow.Reads, 1);
}

TEST(CheckFileTest, MapsTheFile) {
    TempDir dir;
    ChecksFile file;
    auto check = LoadCheck<TFileTypeCheckItemByHex>(file, "hexPng", "0=0:89\"PNG\"\n");
    test::WriteFileBytes(dir.File("a.png"), "\x89PNG\r\n");
    test::WriteFileBytes(dir.File("empty"), "");
    EXPECT_TRUE(check->MatchesFile(dir.File("a.png")));
    EXPECT_FALSE(check->MatchesFile(dir.File("empty")));
    EXPECT_THROW(check->MatchesFile(dir.File("missing")), EFOpenError);

    auto window = LoadCheck<TFileTypeCheckItemByText>(file, "textTail", "0=-4:\"G\"\n");
    EXPECT_FALSE(window->MatchesFile(dir.File("empty")));
    EXPECT_TRUE(window->MatchesFile(dir.File("a.png")));
}

} // namespace
} // namespace qrt
