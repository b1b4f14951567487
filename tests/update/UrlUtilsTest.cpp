#include "TestUtil.h"

#include "update/UrlUtils.h"

#include <gtest/gtest.h>

namespace qrt {
namespace {

struct SplitCase {
    const char* Address;
    const char* Scheme;
    const char* UserName;
    const char* Password;
    const char* Host;
    int32_t Port;
    const char* Path;
    const char* Document;
    const char* Query;
    const char* Fragment;
    const char* Url; // nullptr: the address itself
};

const SplitCase kSplitCases[] = {
    {"http://www.example.com/a/b/file.txt?x=1#top", "http://", "", "", "www.example.com", 80, "/a/b/",
     "file.txt", "?x=1", "#top", nullptr},
    {"http://u:p@www.example.com:8080/", "http://", "u", "p", "www.example.com", 8080, "/", "", "", "",
     nullptr},
    {"https://secure.example.com/dl", "https://", "", "", "secure.example.com", 443, "/", "dl", "", "",
     nullptr},
    {"HTTPS://secure.example.com/", "HTTPS://", "", "", "secure.example.com", 443, "/", "", "", "", nullptr},
    {"www.example.com", "", "", "", "www.example.com", 80, "", "", "", "", nullptr},
    {"www.example.com/index.html", "", "", "", "www.example.com", 80, "/", "index.html", "", "", nullptr},
    // A '/' inside the query does not end the host or the path.
    {"http://h.example/x?q=a/b", "http://", "", "", "h.example", 80, "/", "x", "?q=a/b", "", nullptr},
    {"http://h.example?q=1", "http://", "", "", "h.example", 80, "", "", "?q=1", "", nullptr},
    // Only letters, digits and '_' make a fragment; anything else stays in the path.
    {"http://h.example/p#a-b", "http://", "", "", "h.example", 80, "/", "p#a-b", "", "", nullptr},
    {"http://h.example/p#", "http://", "", "", "h.example", 80, "/", "p", "", "#", nullptr},
    // The last '@' ends the user part; the password may hold ':' and '@'.
    {"http://me:s:e@cret@h.example/", "http://", "me", "s:e@cret", "h.example", 80, "/", "", "", "", nullptr},
    // An empty user name leaves the user part out of the rebuilt address.
    {"http://:pw@h.example/", "http://", "", "pw", "h.example", 80, "/", "", "", "", "http://h.example/"},
    {"http://[::1]:8080/x", "http://", "", "", "[::1]", 8080, "/", "x", "", "", nullptr},
    {"svn+ssh://h.example:22/r/", "svn+ssh://", "", "", "h.example", 22, "/r/", "", "", "", nullptr},
};

TEST(PrepareRequestTest, SplitsAddressesIntoTheirParts) {
    for (const auto& c : kSplitCases) {
        SCOPED_TRACE(c.Address);
        ThttpRequestData r;
        r.ExtraHeaders = "left over";
        PrepareRequest(c.Address, r);
        EXPECT_EQ(r.Scheme, c.Scheme);
        EXPECT_EQ(r.UserName, c.UserName);
        EXPECT_EQ(r.Password, c.Password);
        EXPECT_EQ(r.Host, c.Host);
        EXPECT_EQ(r.Port, c.Port);
        EXPECT_EQ(r.Path, c.Path);
        EXPECT_EQ(r.Document, c.Document);
        EXPECT_EQ(r.Query, c.Query);
        EXPECT_EQ(r.Fragment, c.Fragment);
        EXPECT_EQ(r.Url, c.Url ? c.Url : c.Address);
        EXPECT_EQ(r.HttpVersion, "HTTP/1.1");
        EXPECT_EQ(r.AcceptTypes, "*/*");
        EXPECT_EQ(r.Verb, "GET");
        EXPECT_EQ(r.Referrer, "");
        EXPECT_EQ(r.ExtraHeaders, "");
    }
}

TEST(PrepareRequestTest, MalformedAddressesFailTheCheck) {
    const char* malformed[] = {
        "",                       // empty
        "www.example.com:8080",   // a ':' without "//" is not a scheme
        "127.0.0.1:8080/x",       //   (nor is a numeric host)
        "://h.example/",          // no scheme name
        "http://user@h.example/", // a user part without ':'
        "http:///path",           // no host
        "http://u:p@/",           //   (only a user part)
        "http://h.example:/",     // empty port
        "http://h.example:http/", // port not a number
        "http://h.example:0/",    // port out of range
        "http://h.example:65536/",
        "http://h.example:123456/",
        "http://[::1/", // unclosed IPv6 literal
        "http://[::1]x/",
    };
    for (const char* address : malformed) {
        SCOPED_TRACE(address);
        ThttpRequestData r;
        EXPECT_ASSERTION(PrepareRequest(address, r), "WTF?");
    }
}

} // namespace
} // namespace qrt
