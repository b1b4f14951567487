#include "TestUtil.h"

#include "support/FileUtils.h"
#include "support/PathUtils.h"
#include "support/StreamUtils.h"

#include <gtest/gtest.h>

namespace qrt {
namespace {

// Far beyond what any file system here holds: setting the end of file there fails.
constexpr int64_t kImpossibleSize = int64_t(1) << 62;

template <typename E, typename F> void ExpectMessage(F&& aAction, const std::string& aMessage) {
    try {
        aAction();
        ADD_FAILURE() << "expected " << aMessage;
    } catch (const E& e) {
        EXPECT_EQ(e.Message, aMessage);
    }
}

TEST(FileUtilsTest, CreateFileOfSize) {
    test::TempDir dir;
    std::string name = dir.File("f.bin");
    test::WriteFileBytes(name, "old content");
    CreateFileOfSize(name, 1000);
    EXPECT_EQ(test::ReadFileBytes(name), std::string(1000, '\0'));
    CreateFileOfSize(name, -1); // emptied, no size set
    EXPECT_EQ(GetFileSize64(name), 0);

    std::string missing = dir.File("no/such/f.bin");
    ExpectMessage<EFCreateError>([&] { CreateFileOfSize(missing, 10); },
                                 "Sorry, could not create \"" + missing + "\"!");
    ExpectMessage<EWriteError>([&] { CreateFileOfSize(name, kImpossibleSize); },
                               "Sorry, could not write to \"" + name + "\"!");
}

TEST(FileUtilsTest, TruncateFile) {
    test::TempDir dir;
    std::string name = dir.File("t.bin");
    test::WriteFileBytes(name, "0123456789");
    TruncateFile(name, 4);
    EXPECT_EQ(test::ReadFileBytes(name), "0123");
    TruncateFile(name, 6);
    EXPECT_EQ(test::ReadFileBytes(name), std::string("0123\0\0", 6));

    EXPECT_ASSERTION(TruncateFile(name, -1), "WTF?");
    std::string missing = dir.File("missing");
    ExpectMessage<EFOpenError>([&] { TruncateFile(missing, 0); },
                               "Sorry, could not open \"" + missing + "\" for writing!");
    EXPECT_FALSE(FileExists(missing)); // never created
    ExpectMessage<EWriteError>([&] { TruncateFile(name, kImpossibleSize); },
                               "Sorry, could not write to \"" + name + "\"!");
}

TEST(FileUtilsTest, StreamsOnFiles) {
    test::TempDir dir;
    std::string name = dir.File("log.txt");
    EXPECT_THROW(OpenFileStream(name), EFOpenError);

    auto log = OpenFileForAppend(name); // created
    WriteLine(log.get(), "first");
    log.reset();
    log = OpenFileForAppend(name); // appended at the end
    WriteLine(log.get(), "");
    WriteText(log.get(), "x");
    WriteString(log.get(), "yz");
    log.reset();
    EXPECT_EQ(test::ReadFileBytes(name), "first\r\n\r\nxyz");

    auto rw = OpenFileStream(name); // read and write, at the start
    EXPECT_EQ(rw->GetPosition(), 0);
    WriteString(rw.get(), "F");
    rw.reset();
    EXPECT_EQ(test::ReadFileBytes(name), "First\r\n\r\nxyz");

    auto created = CreateFileStream(name); // emptied
    EXPECT_EQ(created->GetSize(), 0);
    EXPECT_THROW(CreateFileStream(dir.File("no/such/file")), EFCreateError);

    EXPECT_ASSERTION(WriteText(nullptr, "a"), "NIL Stream!!");
    EXPECT_ASSERTION(WriteLine(nullptr, "a"), "NIL Stream!!");
    EXPECT_ASSERTION(WriteString(nullptr, "a"), "NIL Stream!!");
}

TEST(FileUtilsTest, WriteStringChecksTheCountWriteTextDoesNot) {
    test::TempDir dir;
    std::string name = dir.File("ro.txt");
    test::WriteFileBytes(name, "data");
    TFileStream readOnly(name, fmOpenRead);
    WriteString(&readOnly, ""); // nothing to write: fine
    WriteText(&readOnly, "lost");
    WriteLine(&readOnly, "lost");
    EXPECT_THROW(WriteString(&readOnly, "lost"), EWriteError);
    EXPECT_EQ(test::ReadFileBytes(name), "data");
}

TEST(FileUtilsTest, SaveStringToFile) {
    test::TempDir dir;
    std::string name = dir.File("FileIds.ini");
    test::WriteFileBytes(name, std::string(5000, 'o'));
    std::string text = std::string("[!!version+etc]\r\nversion=7\r\n") + '\0' + "tail";
    SaveStringToFile(name, text);
    EXPECT_EQ(test::ReadFileBytes(name), text);
    SaveStringToFile(name, "");
    EXPECT_EQ(GetFileSize64(name), 0);
    EXPECT_THROW(SaveStringToFile(dir.File("no/such/file"), "x"), EFCreateError);
}

} // namespace
} // namespace qrt
