#pragma once

#include "HttpTestServer.h"
#include "TestUtil.h"

#include "update/urlDownloads.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace qrt::test {

// A temporary folder served by a loopback HTTP server.
class HttpFixture : public ::testing::Test {
protected:
    void SetUp() override { fServer = std::make_unique<HttpTestServer>(fRoot.Path()); }
    void TearDown() override { fServer.reset(); }

    // Puts a file into the served folder and returns its address (with aQuery appended).
    std::string Serve(const std::string& aName, const std::string& aContent, const std::string& aQuery = "") {
        WriteFileBytes(fRoot.File(aName), aContent);
        return fServer->Url("/" + aName + aQuery);
    }

    TempDir fRoot;
    std::unique_ptr<HttpTestServer> fServer;
};

// Shortens the transfer time limits for one test.
class ShortTimeouts {
public:
    ShortTimeouts(uint32_t aConnectMs, uint32_t aTotalMs)
        : fPrevious(SetTransferTimeouts({aConnectMs, aTotalMs})) {}
    ~ShortTimeouts() { SetTransferTimeouts(fPrevious); }
    ShortTimeouts(const ShortTimeouts&) = delete;
    ShortTimeouts& operator=(const ShortTimeouts&) = delete;

private:
    TTransferTimeouts fPrevious;
};

} // namespace qrt::test
