#include "TestUtil.h"

#include "platform/DeviceIO.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace qrt {
namespace {

// A device table entry whose reads fail in chosen ranges behaves as a medium with bad sectors.
class DeviceBadRangesTest : public ::testing::Test {
protected:
    void SetUp() override {
        fImage = fDir.File("card.img");
        fBytes = test::PatternBytes(16384, 3);
        test::WriteFileBytes(fImage, fBytes);
        DeviceTableSet(kName, fImage);
        DeviceSetBadRanges(kName, {{4096, 1024}, {10240, 512}});
    }
    void TearDown() override {
        DeviceClearBadRanges();
        DeviceTableClear();
    }

    // Reads aCount bytes at aOffset through a fresh handle; the bytes read, "" with aError on failure.
    std::string ReadAt(const std::string& aName, uint64_t aOffset, uint32_t aCount, int* aError = nullptr) {
        TDeviceHandle h = DeviceOpen(aName);
        EXPECT_NE(h, InvalidDeviceHandle);
        EXPECT_TRUE(DeviceSeek(h, aOffset));
        std::string buffer(aCount, '\0');
        int64_t got = DeviceRead(h, buffer.data(), aCount);
        if (aError) *aError = got < 0 ? DeviceLastError() : 0;
        DeviceClose(h);
        buffer.resize(got < 0 ? 0 : static_cast<size_t>(got));
        return buffer;
    }

    static constexpr const char* kName = "\\\\.\\K:";
    test::TempDir fDir;
    std::string fImage;
    std::string fBytes;
};

TEST_F(DeviceBadRangesTest, ReadsFailInsideAndStopBeforeTheRanges) {
    struct Case {
        uint64_t Offset;
        uint32_t Count;
        size_t Got; // bytes returned; 0 with EIO
    };
    const Case cases[] = {
        {0, 4096, 4096},     // up to the first range
        {0, 8192, 4096},     // runs into it: the bytes before it
        {4096, 512, 0},      // starts inside: fails
        {5119, 1, 0},        // its last byte
        {5120, 8192, 5120},  // after it, up to the second range
        {10752, 8192, 5632}, // after the second range, up to the end
    };
    for (const Case& c : cases) {
        int error = -1;
        std::string got = ReadAt(kName, c.Offset, c.Count, &error);
        EXPECT_EQ(got.size(), c.Got) << "at " << c.Offset;
        EXPECT_EQ(got, fBytes.substr(c.Offset, c.Got)) << "at " << c.Offset;
        EXPECT_EQ(error, c.Got == 0 ? EIO : 0) << "at " << c.Offset;
    }
}

TEST_F(DeviceBadRangesTest, RangesBelongToTheNameTheyWereGivenFor) {
    // The image under its own path, and the name after its ranges are removed, read whole.
    EXPECT_EQ(ReadAt(fImage, 0, 16384), fBytes);
    DeviceSetBadRanges(kName, {});
    EXPECT_EQ(ReadAt(kName, 0, 16384), fBytes);
}

} // namespace
} // namespace qrt
