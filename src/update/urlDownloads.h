#pragma once

#include "core/Streams.h"
#include "update/UrlUtils.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qrt {

// Kinds of transfer target.
enum : uint8_t {
    hdkText = 1,   // into Text
    hdkStream = 2, // into Stream, supplied by the caller
    hdkFile = 3,   // into a new file FileName, whose stream the transfer creates
};

// The target of a transfer.
struct ThttpData {
    uint8_t Kind = hdkText;
    std::shared_ptr<TStream> Stream;
    std::string FileName;
    std::string Text;       // receive buffer; its length may exceed the data
    int32_t TextLength = 0; // bytes of Text holding data
};

struct TDownloadState;
using TDownloadProgress = std::function<void(TDownloadState&)>;

// Phases a transfer reports, always in this order (a failure jumps to dpFinished).
enum : int32_t { dpSending = 0, dpResponse = 1, dpChunk = 2, dpFinished = 3 };

// The state of one transfer, handed to the progress routine.
struct TDownloadState {
    int32_t Phase = dpSending;
    TDownloadProgress OnProgress;
    int32_t UserData = 0;
    void* ConnectHandle = nullptr; // not used by this platform: one handle carries the connection
    void* RequestHandle = nullptr; // the transfer's handle while it runs
    uint32_t Flags = 0;
    int64_t ContentLength = 0; // announced body length; 0 when none was announced
    int64_t BytesReceived = 0; // body bytes before the current chunk
    const void* Chunk = nullptr;
    uint32_t ChunkLength = 0;
    uint32_t ErrorCode = 0; // the platform's error code after a failure
    ThttpRequestData Request;
    ThttpData Target; // working copy of the caller's target
};

// Open flags, with the values callers pass. Only some of them mean something to this platform:
// the two cache flags become request headers, the redirect flags decide which redirects are followed.
enum : uint32_t {
    INTERNET_FLAG_RELOAD = 0x80000000, // "Cache-Control: no-cache"
    INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000,
    INTERNET_FLAG_SECURE = 0x00800000,
    INTERNET_FLAG_KEEP_CONNECTION = 0x00400000,
    INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000,         // no redirect is followed
    INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x00008000,  // follow redirects from https to http
    INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000, // follow redirects from http to https
    INTERNET_FLAG_RESYNCHRONIZE = 0x00000800,
    INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100, // "Pragma: no-cache"
};

// The most a text target holds.
constexpr int32_t kMaxTextTargetLength = 16777215;

// GET into memory: returns the body in aText (empty when nothing arrived). Failures of the
// transfer do not raise; the result is 0 when the transfer completed.
int32_t DownloadToString(const std::string& aUrl, std::string& aText, uint32_t aFlags);
// The same as a request with a body (POST when aBody is not empty).
int32_t PostToString(const std::string& aUrl, std::string& aText, uint32_t aFlags, const std::string& aBody);

// GET transfer into aTarget, reporting to aOnProgress (may be empty). A stream created for a kind 3
// target stays in aTarget.Stream. Returns 0 when the transfer completed, the platform's error
// code when it failed; platform failures never raise. A Content-Length header that is not a number
// raises EConvertError; exceptions of the progress routine propagate.
int32_t HttpGet(const std::string& aUrl, ThttpData& aTarget, uint32_t aFlags, int32_t aUserData,
                const TDownloadProgress& aOnProgress);
// Transfer built from the parsed request: POST with aBody and the form content type when aBody is
// not empty, GET otherwise; never follows redirects and never answers from a cache. A stream
// created for a kind 3 target is closed and released at the end.
int32_t HttpRequest(const std::string& aUrl, ThttpData& aTarget, uint32_t aFlags, int32_t aUserData,
                    const TDownloadProgress& aOnProgress, const std::string& aBody = std::string());

// The standard progress routine: stores the body into aState.Target.
void StoreToTarget(TDownloadState& aState);

// Connection state: offline when no network interface other than loopback is up.
bool IsOffline();
// Nothing can be asked to connect here: returns whether the machine is online.
bool GoOnline();

// Time limits of every transfer, in milliseconds: connecting at most 10 s, the whole transfer at
// most 60 s. Tests shorten them; values above those limits (and 0) are taken as the limits.
struct TTransferTimeouts {
    uint32_t ConnectMs = 10000;
    uint32_t TotalMs = 60000;
};
TTransferTimeouts TransferTimeouts();
// Returns the previous limits.
TTransferTimeouts SetTransferTimeouts(const TTransferTimeouts& aTimeouts);

} // namespace qrt
