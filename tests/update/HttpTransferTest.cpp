#include "HttpFixture.h"

#include "core/Exceptions.h"
#include "update/urlDownloads.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <vector>

namespace qrt {
namespace {

using test::HttpFixture;

// What the standard progress routine did at one call.
struct StoreStep {
    int32_t Phase;
    int64_t ContentLength;
    int64_t BytesReceived;
    uint32_t ChunkLength;
    int32_t LengthBefore;
    size_t SizeBefore;
    int32_t LengthAfter;
    size_t SizeAfter;
    uint32_t ErrorCode;
};

// Runs StoreToTarget and records every call.
struct StoreRecorder {
    std::vector<StoreStep> Steps;
    TDownloadProgress Routine() {
        return [this](TDownloadState& s) {
            StoreStep step{s.Phase,
                           s.ContentLength,
                           s.BytesReceived,
                           s.ChunkLength,
                           s.Target.TextLength,
                           s.Target.Text.size(),
                           0,
                           0,
                           s.ErrorCode};
            StoreToTarget(s);
            step.LengthAfter = s.Target.TextLength;
            step.SizeAfter = s.Target.Text.size();
            Steps.push_back(step);
        };
    }
    std::vector<int32_t> Phases() const {
        std::vector<int32_t> phases;
        for (const auto& s : Steps)
            if (phases.empty() || s.Phase != 2 || phases.back() != 2) phases.push_back(s.Phase);
        return phases; // runs of phase 2 folded into one
    }
};

size_t RoundUp512(int64_t n) {
    return static_cast<size_t>((n + 511) / 512 * 512);
}

class HttpTransferTest : public HttpFixture {};

TEST_F(HttpTransferTest, BodyWithoutContentLengthGrowsInStepsOf512AndIsCutAtTheEnd) {
    const std::string body = test::PatternBytes(70000, 7);
    for (const char* framing : {"close", "chunked"}) {
        SCOPED_TRACE(framing);
        std::string url = Serve("big.bin", body, std::string("?piece=5000&framing=") + framing);
        StoreRecorder recorder;
        ThttpData target;
        ASSERT_EQ(HttpGet(url, target, 0, 0, recorder.Routine()), 0);

        EXPECT_EQ(recorder.Phases(), (std::vector<int32_t>{0, 1, 2, 3}));
        ASSERT_GE(recorder.Steps.size(), 4u);
        const StoreStep& response = recorder.Steps[1];
        EXPECT_EQ(response.ContentLength, 0);
        EXPECT_EQ(response.SizeAfter, 32768u);
        EXPECT_EQ(response.LengthAfter, 0);

        int growths = 0;
        int64_t received = 0;
        for (const auto& step : recorder.Steps) {
            if (step.Phase != 2) continue;
            EXPECT_EQ(step.BytesReceived, received);
            EXPECT_EQ(step.LengthBefore, received);
            int64_t needed = step.LengthBefore + int64_t(step.ChunkLength);
            if (needed > int64_t(step.SizeBefore)) {
                EXPECT_EQ(step.SizeAfter, RoundUp512(needed));
                growths++;
            } else {
                EXPECT_EQ(step.SizeAfter, step.SizeBefore);
            }
            received += step.ChunkLength;
        }
        EXPECT_GE(growths, 1);
        EXPECT_EQ(received, 70000);
        EXPECT_EQ(recorder.Steps.back().Phase, 3);
        EXPECT_EQ(recorder.Steps.back().SizeAfter, 70000u);
        EXPECT_EQ(target.TextLength, 70000);
        EXPECT_EQ(target.Text, body);
    }
}

TEST_F(HttpTransferTest, AnnouncedLengthSizesTheTextOnce) {
    const std::string body = test::PatternBytes(70000, 8);
    StoreRecorder recorder;
    ThttpData target;
    ASSERT_EQ(HttpGet(Serve("big.bin", body, "?piece=5000"), target, 0, 0, recorder.Routine()), 0);
    ASSERT_GE(recorder.Steps.size(), 4u);
    EXPECT_EQ(recorder.Steps[1].ContentLength, 70000);
    EXPECT_EQ(recorder.Steps[1].SizeAfter, 70000u);
    for (const auto& step : recorder.Steps)
        if (step.Phase == 2) {
            EXPECT_EQ(step.SizeAfter, 70000u);
        }
    EXPECT_EQ(target.Text, body);

    std::string text;
    EXPECT_EQ(DownloadToString(Serve("small.txt", "hello"), text, 0), 0);
    EXPECT_EQ(text, "hello");
    EXPECT_EQ(DownloadToString(Serve("empty.txt", ""), text, 0), 0);
    EXPECT_EQ(text, "");
}

TEST_F(HttpTransferTest, TextAlreadyInTheTargetIsKept) {
    ThttpData target;
    target.Text = "head:";
    ASSERT_EQ(HttpGet(Serve("a.txt", "body"), target, 0, 0, StoreToTarget), 0);
    EXPECT_EQ(target.Text, "head:body");
    EXPECT_EQ(target.TextLength, 9);
}

TEST_F(HttpTransferTest, ErrorPageIsDeliveredAsTheText) {
    std::string text;
    EXPECT_EQ(DownloadToString(fServer->Url("/no/such/file"), text, 0), 0);
    EXPECT_NE(text.find("<h1>Not Found</h1>"), std::string::npos) << text;
    EXPECT_EQ(DownloadToString(Serve("gone.html", "<p>gone</p>", "?status=500"), text, 0), 0);
    EXPECT_EQ(text, "<p>gone</p>");
}

TEST_F(HttpTransferTest, PlatformFailuresEndSilentlyWithTheErrorCode) {
    struct Case {
        const char* Name;
        std::string Url;
        uint32_t ErrorCode;
        std::string Text; // what arrived before the failure
    };
    const std::string part = test::PatternBytes(50, 3);
    std::vector<Case> cases = {
        {"nobody listens", "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/x",
         CURLE_COULDNT_CONNECT, ""},
        {"body shorter than announced", Serve("part.bin", part, "?framing=close&cl=100"), CURLE_PARTIAL_FILE,
         part},
        {"scheme not spoken here", "ftp://127.0.0.1/x", CURLE_UNSUPPORTED_PROTOCOL, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string text = "old";
        EXPECT_EQ(DownloadToString(c.Url, text, 0), int32_t(c.ErrorCode));
        EXPECT_EQ(text, c.Text);

        StoreRecorder recorder;
        ThttpData target;
        EXPECT_EQ(HttpGet(c.Url, target, 0, 0, recorder.Routine()), int32_t(c.ErrorCode));
        ASSERT_FALSE(recorder.Steps.empty());
        EXPECT_EQ(recorder.Steps.front().Phase, 0);
        EXPECT_EQ(recorder.Steps.back().Phase, 3);
        EXPECT_EQ(recorder.Steps.back().ErrorCode, c.ErrorCode);
        EXPECT_EQ(target.Text, c.Text);
    }
}

TEST_F(HttpTransferTest, ServerThatNeverAnswersEndsAtTheTimeLimit) {
    test::ShortTimeouts limits(1000, 1000);
    StoreRecorder recorder;
    ThttpData target;
    EXPECT_EQ(HttpGet(fServer->Url("/_hang"), target, 0, 0, recorder.Routine()),
              int32_t(CURLE_OPERATION_TIMEDOUT));
    EXPECT_EQ(recorder.Phases(), (std::vector<int32_t>{0, 3}));
    EXPECT_EQ(target.Text, "");
    std::string text = "old";
    EXPECT_EQ(DownloadToString(fServer->Url("/_hang"), text, 0), int32_t(CURLE_OPERATION_TIMEDOUT));
    EXPECT_EQ(text, "");
}

TEST_F(HttpTransferTest, DefaultTimeLimitsAreTheCeiling) {
    TTransferTimeouts defaults = TransferTimeouts();
    EXPECT_EQ(defaults.ConnectMs, 10000u);
    EXPECT_EQ(defaults.TotalMs, 60000u);
    {
        test::ShortTimeouts longer(50000, 500000);
        EXPECT_EQ(TransferTimeouts().ConnectMs, 10000u);
        EXPECT_EQ(TransferTimeouts().TotalMs, 60000u);
    }
    EXPECT_EQ(TransferTimeouts().TotalMs, 60000u);
}

TEST_F(HttpTransferTest, ContentLengthThatIsNotANumberIsAConversionError) {
    for (const char* value : {"abc", "12abc", "-"}) {
        SCOPED_TRACE(value);
        std::string url = Serve("a.txt", "hello", std::string("?framing=close&cl=") + value);
        std::string text;
        EXPECT_THROW(DownloadToString(url, text, 0), EConvertError);
        // Without a progress routine the header is never read.
        ThttpData target;
        EXPECT_NO_THROW(HttpGet(url, target, 0, 0, TDownloadProgress()));
    }
}

TEST_F(HttpTransferTest, AnnouncedLengthBeyondTheTextLimitIsNotReserved) {
    StoreRecorder recorder;
    ThttpData target;
    std::string url = Serve("a.txt", "hello", "?framing=close&cl=9000000000");
    EXPECT_EQ(HttpGet(url, target, 0, 0, recorder.Routine()), int32_t(CURLE_PARTIAL_FILE));
    ASSERT_GE(recorder.Steps.size(), 2u);
    EXPECT_EQ(recorder.Steps[1].ContentLength, 9000000000);
    EXPECT_EQ(recorder.Steps[1].SizeAfter, size_t(kMaxTextTargetLength) + 1);
    EXPECT_EQ(target.Text, "hello");
}

TEST_F(HttpTransferTest, TextTargetHoldsAtMost16MiB) {
    std::string url = Serve("huge.bin", std::string(kMaxTextTargetLength + 70000, 'x'), "?framing=close");
    std::string text;
    EXPECT_ASSERTION(DownloadToString(url, text, 0), "RealLen < 0!!");
}

TEST_F(HttpTransferTest, ExceptionOfTheProgressRoutinePropagatesWithTheTargetHandedBack) {
    ThttpData target;
    auto stopAtResponse = [](TDownloadState& s) {
        StoreToTarget(s);
        if (s.Phase == 1) throw EAbort("stopped by the caller");
    };
    EXPECT_THROW(HttpGet(Serve("a.txt", "hello"), target, 0, 0, stopAtResponse), EAbort);
    EXPECT_EQ(target.Text.size(), 5u); // sized at phase 1 from the announced length
    EXPECT_EQ(target.TextLength, 0);

    auto failAtStart = [](TDownloadState& s) {
        if (s.Phase == 0) throw std::runtime_error("not a system exception");
    };
    EXPECT_THROW(HttpGet(fServer->Url("/a.txt"), target, 0, 0, failAtStart), std::runtime_error);
}

TEST_F(HttpTransferTest, MalformedAddressFailsTheCheckBeforeAnyPhase) {
    StoreRecorder recorder;
    ThttpData target;
    EXPECT_ASSERTION(HttpGet("127.0.0.1:8080/x", target, 0, 0, recorder.Routine()), "WTF?");
    EXPECT_TRUE(recorder.Steps.empty());
    std::string text;
    EXPECT_ASSERTION(DownloadToString("", text, 0), "WTF?");
}

TEST(StoreToTargetTest, TextChecks) {
    TDownloadState state;
    state.Phase = 2;
    const char piece[4] = {'a', 'b', 'c', 'd'};
    state.Chunk = piece;
    state.ChunkLength = 4;
    EXPECT_ASSERTION(StoreToTarget(state), "aStr has not been initialized!!");
    state.Target.Text.assign(512, '\0');
    state.Target.TextLength = kMaxTextTargetLength + 1;
    EXPECT_ASSERTION(StoreToTarget(state), "RealLen < 0!!");
    state.Target.TextLength = 510;
    state.ChunkLength = 0x80000000u;
    EXPECT_ASSERTION(StoreToTarget(state), "aPieceLen < 0!!");
    state.ChunkLength = 4;
    StoreToTarget(state);
    EXPECT_EQ(state.Target.TextLength, 514);
    EXPECT_EQ(state.Target.Text.size(), 1024u);
    EXPECT_EQ(state.Target.Text.substr(510, 4), "abcd");
    state.Target.Kind = 9;
    EXPECT_ASSERTION(StoreToTarget(state), "WTF?");
}

} // namespace
} // namespace qrt
