#include "TestUtil.h"

#include "support/IniReader.h"
#include "support/IniUtils.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrt {
namespace {

std::string Read(const std::string& aFile, const std::string& aSection, const std::string& aKey,
                 const std::string& aDefault = "<default>") {
    std::string value = "<untouched>";
    ReadIniString(aFile, aSection, aKey, value, aDefault);
    return value;
}

TEST(IniUtilsTest, ValuesAndTheReadersRules) {
    test::TempDir dir;
    std::string file = dir.File("FileIdChecks.ini");
    test::WriteFileBytes(file, "orphan=before any section\r\n"
                               "; a comment line\r\n"
                               "[Main]\r\n"
                               "Items = JPEG,ZIP   \r\n"
                               "\t key2 =\t spaced  value \t\r\n"
                               "Quoted=\"<html\"\r\n"
                               "Hex=0:FFD8FF ; the rest is the check's business\r\n"
                               ";Commented=1\r\n"
                               "   ; Indented=2\r\n"
                               "dup=first\r\n"
                               "DUP=second\r\n"
                               "no equals sign here\r\n"
                               "=nameless\r\n"
                               "EmptyValue=\r\n"
                               "\r\n"
                               "  [  Spaced Section  ]  trailing text\r\n"
                               "a=1=2\r\n"
                               "[main]\n"
                               "late=3\n"
                               "dup=third\r"
                               "[!hexJpegStart]\n"
                               "0=0:FFD8FF");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"Main", "Items", "JPEG,ZIP"},
        {"MAIN", "items", "JPEG,ZIP"},
        {"main", "key2", "spaced  value"},
        {"Main", "Quoted", "\"<html\""},
        {"Main", "Hex", "0:FFD8FF ; the rest is the check's business"},
        {"Main", "Commented", "<default>"},
        {"Main", "Indented", "<default>"},
        {"Main", ";Commented", "<default>"},
        {"Main", "dup", "first"},
        {"Main", "late", "3"}, // a repeated header continues the section
        {"Main", "EmptyValue", ""},
        {"Main", "no equals sign here", "<default>"},
        {"Main", "orphan", "<default>"},
        {"Spaced Section", "a", "1=2"},
        {"spaced SECTION", "A", "1=2"},
        {"!hexJpegStart", "0", "0:FFD8FF"},
        {"!hexJpegStart", "1", "<default>"},
        {"Missing", "Items", "<default>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Read(file, c.section, c.key), c.expected) << c.section << "/" << c.key;

    EXPECT_EQ(Read(dir.File("missing.ini"), "Main", "Items"), "<default>");
    EXPECT_EQ(Read(dir.Path(), "Main", "Items"), "<default>");
    EXPECT_ASSERTION(Read("", "Main", "Items"), "WTF?");
    EXPECT_ASSERTION(Read(file, "", "Items"), "WTF?");
    EXPECT_ASSERTION(Read(file, "Main", ""), "WTF?");
}

TEST(IniUtilsTest, LongValuesAreCutAtTheBuffer) {
    test::TempDir dir;
    std::string file = dir.File("long.ini");
    test::WriteFileBytes(file, "\xEF\xBB\xBF[s]\nk=" + std::string(70000, 'v') + "\n");
    EXPECT_EQ(Read(file, "s", "k"), std::string(65535, 'v'));
}

TEST(IniUtilsTest, AChangedFileIsReadAgain) {
    test::TempDir dir;
    std::string file = dir.File("FileIds.ini");
    test::WriteFileBytes(file, "[!!version+etc]\nversion=7\n");
    EXPECT_EQ(Read(file, "!!version+etc", "version"), "7");

    // Same size, and a modification time set apart so the change is visible at any time resolution.
    test::WriteFileBytes(file, "[!!version+etc]\nversion=8\n");
    struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_EQ(Read(file, "!!version+etc", "version"), "8");

    test::WriteFileBytes(file, "[!!version+etc]\nversion=10\n");
    EXPECT_EQ(Read(file, "!!version+etc", "version"), "10");
    ::unlink(file.c_str());
    EXPECT_EQ(Read(file, "!!version+etc", "version"), "<default>");
}

TEST(IniUtilsTest, LargeFileWithManySections) {
    test::TempDir dir;
    std::string file = dir.File("big.ini");
    std::string text;
    const int kSections = 20000;
    for (int i = 0; i < kSections; ++i) {
        text += "[!check" + std::to_string(i) + "]\r\n";
        for (int k = 0; k < 4; ++k)
            text += std::to_string(k) + " = " + std::to_string(i) + ":" + std::to_string(k) + "\r\n";
    }
    ASSERT_GT(text.size(), 1000000u);
    test::WriteFileBytes(file, text);
    TIniReader reader(text);
    EXPECT_EQ(reader.SectionCount(), static_cast<size_t>(kSections));
    for (int i = 0; i < kSections; i += 97)
        EXPECT_EQ(Read(file, "!CHECK" + std::to_string(i), "3"), std::to_string(i) + ":3");
    EXPECT_EQ(Read(file, "!check19999", "0"), "19999:0");
    EXPECT_EQ(Read(file, "!check20000", "0"), "<default>");
}

} // namespace
} // namespace qrt
