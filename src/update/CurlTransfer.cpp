#include "update/CurlTransfer.h"

#include "core/Assert.h"
#include "core/Exceptions.h"

#include <curl/curl.h>

#include <cstring>
#include <exception>
#include <optional>
#include <string_view>

QRT_UNIT("web\\urlDownloads")

namespace qrt {

namespace {

// The silent abort of a failed transfer; the transfer catches it itself.
QRT_DECLARE_EXCEPTION(ETransferAbort, EAbort)

constexpr const char* kFormContentType = "Content-Type: application/x-www-form-urlencoded";
constexpr long kMaxRedirects = 10;

void EnsureCurlInitialised() {
    static const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)rc; // a failure shows up again when a handle cannot be made
}

bool StartsWithNoCase(std::string_view aText, std::string_view aPrefix) {
    if (aText.size() < aPrefix.size()) return false;
    for (size_t i = 0; i < aPrefix.size(); i++) {
        char a = aText[i], b = aPrefix[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
        if (a != b) return false;
    }
    return true;
}

std::string_view TrimHeaderText(std::string_view aText) {
    while (!aText.empty() && static_cast<unsigned char>(aText.front()) <= ' ')
        aText.remove_prefix(1);
    while (!aText.empty() && static_cast<unsigned char>(aText.back()) <= ' ')
        aText.remove_suffix(1);
    return aText;
}

// A Content-Length value as a decimal number with an optional sign; anything else is a conversion error.
int64_t ContentLengthValue(const std::string& aText) {
    size_t i = 0;
    bool negative = false;
    if (i < aText.size() && (aText[i] == '+' || aText[i] == '-')) negative = aText[i++] == '-';
    bool valid = i < aText.size();
    uint64_t value = 0;
    for (; valid && i < aText.size(); i++) {
        char c = aText[i];
        if (c < '0' || c > '9' || value > (static_cast<uint64_t>(INT64_MAX) - (c - '0')) / 10)
            valid = false;
        else
            value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (!valid) throw EConvertError("'" + aText + "' is not a valid integer value");
    return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

class TCurlTransfer {
public:
    TCurlTransfer(TDownloadState& aState, bool aRequestVariant, const std::string& aBody)
        : fState(aState), fRequestVariant(aRequestVariant), fBody(aBody) {}
    ~TCurlTransfer() {
        if (fCurl) curl_easy_cleanup(fCurl);
        if (fHeaders) curl_slist_free_all(fHeaders);
        fState.RequestHandle = nullptr;
    }
    TCurlTransfer(const TCurlTransfer&) = delete;
    TCurlTransfer& operator=(const TCurlTransfer&) = delete;

    // The whole transfer; a platform failure ends in ETransferAbort after phase 3.
    void Run(const std::string& aUrl);

private:
    static size_t OnHeader(char* aData, size_t aSize, size_t aCount, void* aSelf);
    static size_t OnBody(char* aData, size_t aSize, size_t aCount, void* aSelf);

    void Report(int32_t aPhase) {
        if (!fState.OnProgress) return;
        fState.Phase = aPhase;
        fState.OnProgress(fState);
    }
    void ReportResponse();
    [[noreturn]] void Fail(uint32_t aErrorCode) {
        fState.ErrorCode = aErrorCode;
        Report(dpFinished);
        throw ETransferAbort("Operation aborted");
    }
    template <typename T> void Set(CURLoption aOption, T aValue) {
        CURLcode rc = curl_easy_setopt(fCurl, aOption, aValue);
        if (rc != CURLE_OK) Fail(rc);
    }
    void AddHeader(const std::string& aLine) {
        curl_slist* list = curl_slist_append(fHeaders, aLine.c_str());
        if (!list) Fail(CURLE_OUT_OF_MEMORY);
        fHeaders = list;
    }
    std::string PrepareVariant();
    void Configure(const std::string& aAddress, uint32_t aFlags);

    TDownloadState& fState;
    bool fRequestVariant;
    const std::string& fBody;
    CURL* fCurl = nullptr;
    curl_slist* fHeaders = nullptr;
    std::optional<std::string> fContentLength; // of the latest response
    bool fResponseReported = false;
    std::exception_ptr fPending; // raised inside a callback, rethrown after it
    char fErrorText[CURL_ERROR_SIZE] = {};
};

void TCurlTransfer::Run(const std::string& aUrl) {
    EnsureCurlInitialised();
    fCurl = curl_easy_init();
    if (!fCurl) Fail(CURLE_FAILED_INIT);
    fState.RequestHandle = fCurl;
    PrepareRequest(aUrl, fState.Request);
    Report(dpSending);

    std::string address = fState.Request.Url;
    uint32_t flags = fState.Flags;
    if (fRequestVariant) {
        address = PrepareVariant();
        flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
        if (fState.Request.Scheme == "https://")
            flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION;
    }
    Configure(address, flags);

    CURLcode rc = curl_easy_perform(fCurl);
    if (fPending) std::rethrow_exception(fPending);
    if (rc != CURLE_OK) {
        // libcurl refuses a response whose Content-Length is not a number before showing us the
        // header; that is the conversion error of reading the header, not a failed connection.
        if (rc == CURLE_WEIRD_SERVER_REPLY && fState.OnProgress &&
            std::strncmp(fErrorText, "Invalid Content-Length", 22) == 0)
            throw EConvertError(fErrorText);
        Fail(rc);
    }
    if (!fResponseReported) ReportResponse();
    Report(dpFinished);
}

// The request variant: verb and content type from the body, the address from the parts (the
// object name is Path + Document + Query, the credentials go separately).
std::string TCurlTransfer::PrepareVariant() {
    ThttpRequestData& request = fState.Request;
    if (!fBody.empty()) {
        request.Verb = "POST";
        if (!request.ExtraHeaders.empty() && request.ExtraHeaders.back() != '\n')
            request.ExtraHeaders += "\r\n";
        request.ExtraHeaders += kFormContentType;
    } else {
        request.Verb = "GET";
    }
    std::string scheme = request.Scheme.empty() ? std::string("http://") : request.Scheme;
    std::string object = request.Path + request.Document + request.Query;
    if (object.empty() || object[0] != '/') object.insert(0, "/");
    return scheme + request.Host + ":" + std::to_string(request.Port) + object;
}

void TCurlTransfer::Configure(const std::string& aAddress, uint32_t aFlags) {
    const ThttpRequestData& request = fState.Request;
    TTransferTimeouts timeouts = TransferTimeouts();
    Set(CURLOPT_ERRORBUFFER, fErrorText);
    Set(CURLOPT_URL, aAddress.c_str());
    Set(CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075500
    Set(CURLOPT_PROTOCOLS_STR, "http,https");
#else
    Set(CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    Set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.ConnectMs));
    Set(CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts.TotalMs));

    // Redirects: none with NO_AUTO_REDIRECT; a change between http and https only when the flag
    // for that direction allows it.
    bool secure = StartsWithNoCase(request.Scheme, "https://");
    std::string redirectSchemes = secure ? "https" : "http";
    if (!secure && (aFlags & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS)) redirectSchemes += ",https";
    if (secure && (aFlags & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP)) redirectSchemes += ",http";
    Set(CURLOPT_FOLLOWLOCATION, (aFlags & INTERNET_FLAG_NO_AUTO_REDIRECT) ? 0L : 1L);
    Set(CURLOPT_MAXREDIRS, kMaxRedirects);
#if LIBCURL_VERSION_NUM >= 0x075500
    Set(CURLOPT_REDIR_PROTOCOLS_STR, redirectSchemes.c_str());
#else
    long redirectMask = secure ? CURLPROTO_HTTPS : CURLPROTO_HTTP;
    if (redirectSchemes.find(',') != std::string::npos) redirectMask = CURLPROTO_HTTP | CURLPROTO_HTTPS;
    Set(CURLOPT_REDIR_PROTOCOLS, redirectMask);
#endif

    // There is no local cache here; what the cache flags ask of the servers on the way is sent as headers.
    if (aFlags & INTERNET_FLAG_RELOAD) AddHeader("Cache-Control: no-cache");
    if (aFlags & INTERNET_FLAG_PRAGMA_NOCACHE) AddHeader("Pragma: no-cache");
    size_t start = 0;
    const std::string& extra = request.ExtraHeaders;
    while (start < extra.size()) {
        size_t stop = extra.find_first_of("\r\n", start);
        if (stop == std::string::npos) stop = extra.size();
        if (stop > start) AddHeader(extra.substr(start, stop - start));
        start = stop + 1;
    }

    if (fRequestVariant) {
        std::string accept;
        start = 0;
        const std::string& types = request.AcceptTypes;
        while (start <= types.size()) {
            size_t stop = types.find_first_of(std::string_view("\r\n\f\0", 4), start);
            if (stop == std::string::npos) stop = types.size();
            if (stop > start) accept += (accept.empty() ? "" : ", ") + types.substr(start, stop - start);
            start = stop + 1;
        }
        if (!accept.empty()) AddHeader("Accept: " + accept);
        if (!request.Referrer.empty()) Set(CURLOPT_REFERER, request.Referrer.c_str());
        if (!request.UserName.empty()) {
            Set(CURLOPT_USERNAME, request.UserName.c_str());
            Set(CURLOPT_PASSWORD, request.Password.c_str());
        }
        if (request.Verb == "POST") {
            AddHeader("Expect:"); // send the body at once, without waiting for "100 Continue"
            Set(CURLOPT_POST, 1L);
            Set(CURLOPT_POSTFIELDS, fBody.data());
            Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(fBody.size()));
        }
    }
    if (fHeaders) Set(CURLOPT_HTTPHEADER, fHeaders);

    Set(CURLOPT_HEADERFUNCTION, &TCurlTransfer::OnHeader);
    Set(CURLOPT_HEADERDATA, static_cast<void*>(this));
    Set(CURLOPT_WRITEFUNCTION, &TCurlTransfer::OnBody);
    Set(CURLOPT_WRITEDATA, static_cast<void*>(this));
}

void TCurlTransfer::ReportResponse() {
    fResponseReported = true;
    if (!fState.OnProgress) return;
    fState.ContentLength = fContentLength ? ContentLengthValue(*fContentLength) : 0;
    fState.BytesReceived = 0;
    Report(dpResponse);
}

size_t TCurlTransfer::OnHeader(char* aData, size_t aSize, size_t aCount, void* aSelf) {
    auto* self = static_cast<TCurlTransfer*>(aSelf);
    size_t length = aSize * aCount;
    try {
        std::string_view line(aData, length);
        if (line.substr(0, 5) == "HTTP/") // a new response (after an interim one or a redirect)
            self->fContentLength.reset();
        else if (StartsWithNoCase(line, "Content-Length:"))
            self->fContentLength = std::string(TrimHeaderText(line.substr(15)));
        return length;
    } catch (...) {
        self->fPending = std::current_exception();
        return 0;
    }
}

size_t TCurlTransfer::OnBody(char* aData, size_t aSize, size_t aCount, void* aSelf) {
    auto* self = static_cast<TCurlTransfer*>(aSelf);
    size_t length = aSize * aCount;
    try {
        if (length == 0) return 0;
        if (!self->fResponseReported) self->ReportResponse();
        TDownloadState& state = self->fState;
        state.Chunk = aData;
        state.ChunkLength = static_cast<uint32_t>(length);
        self->Report(dpChunk);
        state.BytesReceived += state.ChunkLength;
        state.Chunk = nullptr;
        return length;
    } catch (...) {
        self->fPending = std::current_exception();
        return 0; // stops the transfer; the exception is raised again once libcurl returns
    }
}

// Hands the working copy of the target back to the caller, whatever happened.
class TTargetReturn {
public:
    TTargetReturn(TDownloadState& aState, ThttpData& aTarget, bool aReleaseCreatedStream)
        : fState(aState), fTarget(aTarget),
          fReleaseCreatedStream(aReleaseCreatedStream && aTarget.Kind == hdkFile && !aTarget.Stream) {}
    ~TTargetReturn() {
        fTarget = std::move(fState.Target);
        if (fReleaseCreatedStream) fTarget.Stream.reset();
    }
    TTargetReturn(const TTargetReturn&) = delete;
    TTargetReturn& operator=(const TTargetReturn&) = delete;

private:
    TDownloadState& fState;
    ThttpData& fTarget;
    bool fReleaseCreatedStream;
};

} // namespace

int32_t RunTransfer(const std::string& aUrl, ThttpData& aTarget, uint32_t aFlags, int32_t aUserData,
                    const TDownloadProgress& aOnProgress, bool aRequestVariant, const std::string& aBody) {
    TDownloadState state;
    state.OnProgress = aOnProgress;
    state.UserData = aUserData;
    state.Flags = aFlags;
    state.Target = aTarget;
    // Declared first so that the handles are closed before the target goes back.
    TTargetReturn giveBack(state, aTarget, aRequestVariant);
    TCurlTransfer transfer(state, aRequestVariant, aBody);
    try {
        transfer.Run(aUrl);
        return 0;
    } catch (const ETransferAbort&) {
        return static_cast<int32_t>(state.ErrorCode);
    }
}

} // namespace qrt
