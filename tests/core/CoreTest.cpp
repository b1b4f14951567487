#include "TestUtil.h"

#include "core/Application.h"
#include "core/Assert.h"
#include "core/Hooks.h"
#include "core/Streams.h"

#include <gtest/gtest.h>

QRT_UNIT("Tests\\Core")

namespace qrt {
namespace {

TEST(AssertTest, MessageCarriesUnitAndLine) {
    try {
        QRT_ASSERT(1 + 1 == 3, "WTF? two");
        FAIL();
    } catch (const EAssertionFailed& e) {
        std::string text = e.Message;
        EXPECT_EQ(text.rfind("WTF? two (Tests\\Core, line ", 0), 0u) << text;
        EXPECT_EQ(text.back(), ')');
        EXPECT_EQ(test::AssertionText(e), "WTF? two");
        EXPECT_STREQ(e.ClassName(), "EAssertionFailed");
    }
}

TEST(ExceptionTest, OSErrorTextAndClassNames) {
    try {
        RaiseOSError(2);
        FAIL();
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode, 2u);
        EXPECT_EQ(e.Message, "System Error.  Code: 2.\r\nNo such file or directory");
    }
    EXPECT_EQ(ExceptionClassName(EFOpenError("x")), "EFOpenError");
    EXPECT_EQ(ExceptionClassName(std::runtime_error("x")), "std::runtime_error");
    EXPECT_EQ(DescribeException(EReadError("Stream read error")), "EReadError: Stream read error");
}

TEST(StreamTest, FileStreamRoundTripAndErrors) {
    test::TempDir dir;
    std::string name = dir.File("a.bin");
    {
        TFileStream out(name, fmCreate);
        out.WriteBuffer("hello world", 11);
        out.SetSize(5);
        EXPECT_EQ(out.GetSize(), 5);
    }
    TFileStream in(name, fmOpenRead);
    char buf[8] = {};
    EXPECT_EQ(in.Read(buf, 8), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    in.SetPosition(0);
    EXPECT_THROW(in.ReadBuffer(buf, 6), EReadError);
    EXPECT_THROW(TFileStream(dir.File("missing"), fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(dir.File("no/such/dir/x"), fmCreate), EFCreateError);
    try {
        TFileStream s(dir.File("missing"), fmOpenReadWrite);
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message, "Cannot open file \"" + dir.File("missing") + "\". No such file or directory");
    }
}

TEST(StreamTest, MemoryStreamGrowsSeeksAndCopies) {
    TMemoryStream m;
    std::string data = test::PatternBytes(100000, 7);
    m.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    EXPECT_EQ(m.GetSize(), 100000);
    EXPECT_EQ(m.Seek(-10, soEnd), 99990);
    char tail[10];
    m.ReadBuffer(tail, 10);
    EXPECT_EQ(std::string(tail, 10), data.substr(99990));
    EXPECT_EQ(m.Read(tail, 1), 0);

    TMemoryStream copy;
    copy.CopyFrom(m, 0);
    EXPECT_EQ(std::string(static_cast<char*>(copy.Memory()), 100000), data);
    m.Clear();
    EXPECT_EQ(m.GetSize(), 0);
}

TEST(HooksTest, DefaultsAndInstalledHandlers) {
    EXPECT_EQ(DefaultMessageBoxResult(MB_YESNO | MB_ICONHAND | MB_DEFBUTTON2 | MB_TOPMOST), IDNO);
    EXPECT_EQ(DefaultMessageBoxResult(MB_OK | MB_ICONHAND | MB_DEFBUTTON2 | MB_TOPMOST), IDOK);
    EXPECT_EQ(DefaultMessageBoxResult(MB_YESNO), IDYES);

    std::string seen;
    auto previous = SetExceptionHandler([&](const std::exception& e) { seen = DescribeException(e); });
    HandleException(EConvertError("bad number"));
    SetExceptionHandler(previous);
    EXPECT_EQ(seen, "EConvertError: bad number");

    int pumped = 0;
    auto oldPump = Application().SetMessagePump([&] { ++pumped; });
    Application().ProcessMessages();
    Application().SetMessagePump(oldPump);
    EXPECT_EQ(pumped, 1);
    EXPECT_FALSE(Application().ExeFolder().empty());
}

} // namespace
} // namespace qrt
