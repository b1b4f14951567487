#include "HttpFixture.h"

#include "core/Streams.h"
#include "platform/Network.h"
#include "update/urlDownloads.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

namespace qrt {
namespace {

using test::HttpFixture;

class HttpRequestTest : public HttpFixture {};

TEST_F(HttpRequestTest, FileTargetIsCreatedAndLeftOpenForTheCaller) {
    const std::string body = test::PatternBytes(40000, 11);
    for (const char* query : {"", "?framing=close"}) {
        SCOPED_TRACE(query);
        ThttpData target;
        target.Kind = hdkFile;
        target.FileName = fRoot.File("saved.bin");
        ASSERT_EQ(HttpGet(Serve("src.bin", body, query), target, 0, 0, StoreToTarget), 0);
        ASSERT_NE(target.Stream, nullptr);
        EXPECT_EQ(target.Stream->GetSize(), 40000);
        target.Stream.reset();
        EXPECT_EQ(test::ReadFileBytes(fRoot.File("saved.bin")), body);
    }

    // The request variant closes the stream it created.
    ThttpData target;
    target.Kind = hdkFile;
    target.FileName = fRoot.File("posted.bin");
    ASSERT_EQ(HttpRequest(fServer->Url("/src.bin"), target, 0, 0, StoreToTarget), 0);
    EXPECT_EQ(target.Stream, nullptr);
    EXPECT_EQ(test::ReadFileBytes(fRoot.File("posted.bin")), body);

    // A stream already in a kind 3 target is inconsistent.
    target.Stream = std::make_shared<TMemoryStream>();
    EXPECT_ASSERTION(HttpGet(fServer->Url("/src.bin"), target, 0, 0, StoreToTarget), "WTF?");
}

TEST_F(HttpRequestTest, StreamTargetReceivesTheBody) {
    // Without an announced length the body goes where the stream stands; with one, it replaces
    // the stream's content from position 0.
    struct Case {
        const char* Query;
        std::string Expected;
    } cases[] = {{"?framing=close", "prefix:body"}, {"", "body"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Query);
        auto stream = std::make_shared<TMemoryStream>();
        stream->WriteBuffer("prefix:and more", 15);
        stream->SetPosition(7);
        ThttpData target;
        target.Kind = hdkStream;
        target.Stream = stream;
        ASSERT_EQ(HttpGet(Serve("b.txt", "body", c.Query), target, 0, 0, StoreToTarget), 0);
        EXPECT_EQ(target.Stream, stream);
        EXPECT_EQ(std::string(static_cast<const char*>(stream->Memory()), size_t(stream->GetSize())),
                  c.Expected);
    }

    ThttpData missing;
    missing.Kind = hdkStream;
    EXPECT_ASSERTION(HttpGet(fServer->Url("/b.txt"), missing, 0, 0, StoreToTarget), "WTF?");
    // A failure before any answer leaves a kind 2 target without a stream untouched.
    std::string nowhere = "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/";
    EXPECT_EQ(HttpGet(nowhere, missing, 0, 0, StoreToTarget), int32_t(CURLE_COULDNT_CONNECT));
}

TEST_F(HttpRequestTest, PostSendsTheBodyAsAForm) {
    std::string text;
    EXPECT_EQ(PostToString(fServer->Url("/_echo"), text, 0, "a=1&b=two"), 0);
    EXPECT_EQ(text, "POST\napplication/x-www-form-urlencoded\na=1&b=two");
    EXPECT_EQ(PostToString(fServer->Url("/_echo?x=1"), text, 0, ""), 0);
    EXPECT_EQ(text, "GET\n\n");

    auto requests = fServer->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Method, "POST");
    EXPECT_EQ(requests[0].Target, "/_echo");
    EXPECT_EQ(requests[1].Target, "/_echo?x=1");
    for (const auto& r : requests) {
        EXPECT_TRUE(r.HasHeader("Cache-Control: no-cache"));
        EXPECT_TRUE(r.HasHeader("Accept: */*"));
    }
}

TEST_F(HttpRequestTest, RedirectsAreFollowedAsTheFlagsAllow) {
    Serve("target.txt", "arrived");
    std::string local = fServer->Url("/_redirect?to=/target.txt");
    std::string toHttps =
        fServer->Url("/_redirect?to=https://127.0.0.1:" + std::to_string(fServer->Port()) + "/x");
    std::string text;

    EXPECT_EQ(DownloadToString(local, text, 0), 0);
    EXPECT_EQ(text, "arrived");
    EXPECT_EQ(DownloadToString(local, text, INTERNET_FLAG_NO_AUTO_REDIRECT), 0);
    EXPECT_EQ(text, "moved");
    // The request variant never follows.
    EXPECT_EQ(PostToString(local, text, 0, "a=1"), 0);
    EXPECT_EQ(text, "moved");
    EXPECT_EQ(fServer->Requests().size(), 4u);

    // From http to https only with the flag for that direction (the loopback server speaks no TLS,
    // so the followed redirect fails differently).
    EXPECT_EQ(DownloadToString(toHttps, text, 0), int32_t(CURLE_UNSUPPORTED_PROTOCOL));
    EXPECT_EQ(text, "");
    int32_t followed = DownloadToString(toHttps, text, INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS);
    EXPECT_NE(followed, 0);
    EXPECT_NE(followed, int32_t(CURLE_UNSUPPORTED_PROTOCOL));
}

TEST_F(HttpRequestTest, CacheFlagsBecomeRequestHeaders) {
    Serve("a.txt", "x");
    std::string text;
    DownloadToString(fServer->Url("/a.txt"), text, 0x8000C900);
    DownloadToString(fServer->Url("/a.txt"), text, 0);
    DownloadToString(fServer->Url("/a.txt"), text, INTERNET_FLAG_PRAGMA_NOCACHE);
    auto requests = fServer->Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(requests[0].HasHeader("Cache-Control: no-cache"));
    EXPECT_TRUE(requests[0].HasHeader("Pragma: no-cache"));
    EXPECT_FALSE(requests[1].HasHeader("Cache-Control: no-cache"));
    EXPECT_FALSE(requests[1].HasHeader("Pragma: no-cache"));
    EXPECT_FALSE(requests[2].HasHeader("Cache-Control: no-cache"));
    EXPECT_TRUE(requests[2].HasHeader("Pragma: no-cache"));
    for (const auto& r : requests)
        for (const auto& h : r.Headers)
            EXPECT_NE(h.rfind("User-Agent:", 0), 0u) << "no agent name is sent";
}

TEST_F(HttpRequestTest, ExtraHeadersSetAtTheFirstPhaseAreSent) {
    Serve("a.txt", "x");
    ThttpData target;
    auto addHeaders = [](TDownloadState& s) {
        if (s.Phase == 0) s.Request.ExtraHeaders = "X-One: 1\r\nX-Two: 2\r\n";
        StoreToTarget(s);
    };
    ASSERT_EQ(HttpGet(fServer->Url("/a.txt"), target, 0, 0, addHeaders), 0);
    auto requests = fServer->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].HasHeader("X-One: 1"));
    EXPECT_TRUE(requests[0].HasHeader("X-Two: 2"));
}

TEST(ConnectionStateTest, OnlyAnInterfaceOtherThanLoopbackCounts) {
    TNetworkInterface lo{"lo", true, true, true, true};
    TNetworkInterface eth{"eth0", true, true, false, true};
    TNetworkInterface down{"eth1", false, false, false, true};
    TNetworkInterface noLink{"eth2", true, false, false, true};
    TNetworkInterface noAddress{"eth3", true, true, false, false};
    EXPECT_FALSE(AnyNetworkInterfaceUp({}));
    EXPECT_FALSE(AnyNetworkInterfaceUp({lo}));
    EXPECT_FALSE(AnyNetworkInterfaceUp({lo, down, noLink, noAddress}));
    EXPECT_TRUE(AnyNetworkInterfaceUp({lo, down, eth}));

    bool sawLoopback = false;
    for (const auto& item : NetworkInterfaces())
        sawLoopback = sawLoopback || item.Loopback;
    EXPECT_TRUE(sawLoopback);
    EXPECT_EQ(IsOffline(), !AnyNetworkInterfaceUp(NetworkInterfaces()));
    EXPECT_EQ(GoOnline(), !IsOffline());
}

} // namespace
} // namespace qrt
