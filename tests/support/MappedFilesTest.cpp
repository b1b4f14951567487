#include "TestUtil.h"

#include "support/MappedFiles.h"
#include "support/PathUtils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

namespace qrt {
namespace {

template <typename E, typename F> void ExpectMessage(F&& aAction, const std::string& aMessage) {
    try {
        aAction();
        ADD_FAILURE() << "expected " << aMessage;
    } catch (const E& e) {
        EXPECT_EQ(e.Message, aMessage);
    }
}

std::string ReadAll(TStream& aStream) {
    std::string data(static_cast<size_t>(aStream.GetSize()), '\0');
    aStream.SetPosition(0);
    aStream.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
    return data;
}

TEST(MappedFilesTest, ReadOnlyStream) {
    test::TempDir dir;
    std::string name = dir.File("photo.jpg");
    std::string data = test::PatternBytes(70000, 3);
    test::WriteFileBytes(name, data);

    TMemoryMappedStream stream(name, -1, mmReadOnly);
    EXPECT_TRUE(stream.IsMapped());
    EXPECT_EQ(stream.GetSize(), 70000);
    EXPECT_EQ(ReadAll(stream), data);
    EXPECT_EQ(stream.Seek(-2, soEnd), 69998);
    char tail[4];
    EXPECT_EQ(stream.Read(tail, 4), 2);
    EXPECT_EQ(std::string(tail, 2), data.substr(69998));
    EXPECT_EQ(stream.Read(tail, 4), 0);

    EXPECT_ASSERTION(stream.Write("x", 1), "WTF?");
    EXPECT_ASSERTION(stream.SetSize(10), "WTF?"); // a read-only stream never changes its file
    EXPECT_ASSERTION(stream.Map(-1), "Already mapped!!");
    EXPECT_EQ(test::ReadFileBytes(name), data);
}

TEST(MappedFilesTest, EmptyAndMissingFiles) {
    test::TempDir dir;
    std::string empty = dir.File("empty");
    test::WriteFileBytes(empty, "");
    {
        TMemoryMappedStream stream(empty, -1, mmReadOnly);
        EXPECT_FALSE(stream.IsMapped());
        EXPECT_EQ(stream.GetSize(), 0);
        char c;
        EXPECT_EQ(stream.Read(&c, 1), 0);
    }
    std::string missing = dir.File("missing");
    ExpectMessage<EFOpenError>([&] { TMemoryMappedStream s(missing, -1, mmReadOnly); }, "File not found");
    ExpectMessage<EFOpenError>([&] { TMemoryMappedStream s(dir.Path(), -1, mmReadOnly); }, "File not found");
    EXPECT_ASSERTION(TMemoryMappedStream("", -1, mmReadOnly), "WTF?");
    EXPECT_ASSERTION(TMemoryMappedStream(missing, -1, 4), "WTF?");
    EXPECT_ASSERTION(TMemoryMappedStream(missing, -1, mmReadWrite),
                     "Must specify a valid aSize if file doesn't exist!!");
    EXPECT_FALSE(FileExists(missing));
}

TEST(MappedFilesTest, MappedFileRules) {
    test::TempDir dir;
    std::string name = dir.File("f.bin");
    test::WriteFileBytes(name, "0123456789");
    {
        TMemoryMappedFile file(name, -1, mmReadOnly);
        EXPECT_EQ(file.Size(), 10);
        void* view = file.GetView();
        EXPECT_EQ(file.GetView(), view);
        EXPECT_EQ(file.LockCount(), 1);
        EXPECT_EQ(std::memcmp(view, "0123456789", 10), 0);
        int other;
        EXPECT_ASSERTION(file.ReleaseView(&other), "UNIMPLEMENTED!!");
        file.ReleaseView(view);
        EXPECT_EQ(file.LockCount(), 0);
        EXPECT_EQ(file.View(), nullptr);
        file.GetView(); // released by the destructor
    }
    std::string missing = dir.File("missing");
    std::string empty = dir.File("empty");
    test::WriteFileBytes(empty, "");
    ExpectMessage<EFOpenError>([&] { TMemoryMappedFile f(missing, -1, mmReadOnly); },
                               "Sorry, could not open \"" + missing + "\"!");
    ExpectMessage<EMapFileError>([&] { TMemoryMappedFile f(empty, -1, mmReadOnly); },
                                 "Sorry, file \"" + empty + "\" cannot be mapped!");
    // Pages beyond the end of a file cannot be read: a larger read-only or private mapping is refused.
    ExpectMessage<EMapFileError>([&] { TMemoryMappedFile f(name, 11, mmReadOnly); },
                                 "Sorry, file \"" + name + "\" cannot be mapped!");
    ExpectMessage<EMapFileError>([&] { TMemoryMappedFile f(name, 11, mmCopy); },
                                 "Sorry, file \"" + name + "\" cannot be mapped!");
    EXPECT_ASSERTION(TMemoryMappedFile(name, -1, mmCreate), "WTF?");
    EXPECT_ASSERTION(TMemoryMappedFile(dir.Path(), 10, mmReadWrite), "WTF? File *DOES* exist!!");

    // A writable mapping creates a missing file, or grows a short one, to its size.
    {
        TMemoryMappedFile created(missing, 100, mmReadWrite);
        static_cast<char*>(created.GetView())[99] = 'z';
    }
    EXPECT_EQ(test::ReadFileBytes(missing), std::string(99, '\0') + "z");
    { TMemoryMappedFile grown(name, 12, mmReadWrite); }
    EXPECT_EQ(test::ReadFileBytes(name), std::string("0123456789\0\0", 12));
}

TEST(MappedFilesTest, WritableStreamWritesIntoTheFile) {
    test::TempDir dir;
    std::string name = dir.File("out.bin");
    {
        TMemoryMappedStream stream(name, 16, mmCreate);
        EXPECT_EQ(stream.Mode(), mmReadWrite);
        EXPECT_EQ(stream.GetSize(), 16);
        EXPECT_EQ(stream.Write("0123456789", 10), 10);
        EXPECT_EQ(stream.GetPosition(), 10);
        EXPECT_ASSERTION(
            stream.Write("abcdefghij", 10),
            "Writing beyond buffer limits, call SetSize to expand stream!! (wFinalPos=20, Stream.Size=16)");
        EXPECT_EQ(stream.Write("x", 0), 0);
        EXPECT_EQ(stream.Write("x", -1), 0);
        stream.SetPosition(0);
        EXPECT_EQ(stream.Write("", 0), 0); // final position 0: nothing happens

        stream.SetSize(20); // grows the file and keeps what was written
        EXPECT_EQ(stream.GetSize(), 20);
        EXPECT_EQ(stream.GetPosition(), 20);
        stream.SetPosition(16);
        EXPECT_EQ(stream.Write("WXYZ", 4), 4);
        EXPECT_ASSERTION(stream.SetSize(0xFFFFFFFFLL), "Such size is not supported (Size >4GB)");
    }
    EXPECT_EQ(test::ReadFileBytes(name), std::string("0123456789\0\0\0\0\0\0WXYZ", 20));

    {
        TMemoryMappedStream stream(name, -1, mmReadWrite);
        stream.SetSize(4);
        EXPECT_EQ(ReadAll(stream), "0123");
        stream.SetSize(0); // nothing left to map
        EXPECT_FALSE(stream.IsMapped());
        EXPECT_EQ(stream.GetSize(), 0);
    }
    EXPECT_EQ(GetFileSize64(name), 0);
}

TEST(MappedFilesTest, WritesNeedAMappedSize) {
    test::TempDir dir;
    std::string name = dir.File("empty.bin");
    test::WriteFileBytes(name, "");
    TMemoryMappedStream stream(name, -1, mmReadWrite);
    EXPECT_FALSE(stream.IsMapped());
    EXPECT_ASSERTION(stream.Write("a", 1), "You must call SetSize if you want to write to 0-sized files!!");
    test::WriteFileBytes(name, "now not empty");
    EXPECT_ASSERTION(stream.Write("a", 1), "WTF?");
    ::unlink(name.c_str());
    EXPECT_ASSERTION(stream.Write("a", 1), "You must call SetSize for non-existant files!!");

    stream.SetSize(3); // a missing file is created at the size
    EXPECT_TRUE(stream.IsMapped());
    stream.SetPosition(0);
    EXPECT_EQ(stream.Write("abc", 3), 3);
    stream.SetPosition(-1);
    EXPECT_EQ(stream.Write("a", 1), 0); // never in front of the memory
    EXPECT_EQ(test::ReadFileBytes(name), "abc");
}

TEST(MappedFilesTest, PrivateCopyLeavesTheFileAlone) {
    test::TempDir dir;
    std::string name = dir.File("copy.bin");
    test::WriteFileBytes(name, "original");
    {
        TMemoryMappedStream stream(name, -1, mmCopy);
        EXPECT_EQ(stream.Write("CHANGED!", 8), 8);
        EXPECT_EQ(ReadAll(stream), "CHANGED!");
    }
    EXPECT_EQ(test::ReadFileBytes(name), "original");
}

} // namespace
} // namespace qrt
