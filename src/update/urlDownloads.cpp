#include "update/urlDownloads.h"

#include "core/Assert.h"
#include "platform/Network.h"
#include "update/CurlTransfer.h"

#include <algorithm>
#include <cstring>

QRT_UNIT("web\\urlDownloads")

namespace qrt {

namespace {

constexpr int64_t kInitialTextCapacity = 32768;
constexpr int64_t kTextGrowthStep = 512;

TTransferTimeouts& CurrentTimeouts() {
    static TTransferTimeouts timeouts;
    return timeouts;
}

// Appends a piece to a text buffer whose first aRealLen bytes hold data, growing the buffer to
// the needed length raised to a multiple of 512 when the piece does not fit.
void AppendToText(std::string& aStr, int32_t& aRealLen, const void* aPiece, uint32_t aPieceLen) {
    QRT_ASSERT(!aStr.empty(), "aStr has not been initialized!!");
    QRT_ASSERT(aRealLen >= 0 && aRealLen <= kMaxTextTargetLength, "RealLen < 0!!");
    QRT_ASSERT(static_cast<int32_t>(aPieceLen) >= 0, "aPieceLen < 0!!");
    if (aPieceLen == 0) return;
    QRT_ASSERT(aPiece != nullptr, "WTF?");
    int64_t needed = static_cast<int64_t>(aRealLen) + aPieceLen;
    if (needed > static_cast<int64_t>(aStr.size()))
        aStr.resize(static_cast<size_t>((needed + kTextGrowthStep - 1) / kTextGrowthStep * kTextGrowthStep));
    std::memcpy(aStr.data() + aRealLen, aPiece, aPieceLen);
    aRealLen = static_cast<int32_t>(needed);
}

void StoreToText(TDownloadState& aState) {
    ThttpData& target = aState.Target;
    switch (aState.Phase) {
    case dpResponse: {
        int64_t capacity =
            aState.ContentLength > 0
                ? aState.ContentLength
                : std::max<int64_t>(aState.BytesReceived + aState.ChunkLength, kInitialTextCapacity);
        // Never reserve more than a text target can hold, whatever length the server announces.
        capacity = std::min<int64_t>(capacity, int64_t(kMaxTextTargetLength) + 1);
        QRT_ASSERT(target.Text.size() <= static_cast<size_t>(kMaxTextTargetLength), "RealLen < 0!!");
        target.TextLength = static_cast<int32_t>(target.Text.size());
        target.Text.resize(static_cast<size_t>((target.TextLength / capacity + 1) * capacity));
        break;
    }
    case dpChunk:
        AppendToText(target.Text, target.TextLength, aState.Chunk, aState.ChunkLength);
        break;
    case dpFinished:
        if (!target.Text.empty()) target.Text.resize(static_cast<size_t>(std::max(target.TextLength, 0)));
        break;
    default:
        break;
    }
}

void StoreToStream(TDownloadState& aState) {
    ThttpData& target = aState.Target;
    switch (aState.Phase) {
    case dpResponse:
        if (target.Kind == hdkFile) {
            QRT_ASSERT(!target.Stream, "WTF?");
            target.Stream = std::make_shared<TFileStream>(target.FileName, fmCreate);
        } else {
            QRT_ASSERT(target.Stream != nullptr, "WTF?");
        }
        if (aState.ContentLength > 0) {
            target.Stream->SetSize(aState.ContentLength);
            target.Stream->SetPosition(0);
        }
        break;
    case dpChunk:
        QRT_ASSERT(target.Stream != nullptr, "WTF?");
        target.Stream->WriteBuffer(aState.Chunk, aState.ChunkLength);
        break;
    case dpFinished:
        // Also after a failure, when the stream may never have been made.
        if (target.Stream) target.Stream->SetSize(target.Stream->GetPosition());
        break;
    default:
        break;
    }
}

} // namespace

void StoreToTarget(TDownloadState& aState) {
    switch (aState.Target.Kind) {
    case hdkText:
        StoreToText(aState);
        break;
    case hdkStream:
    case hdkFile:
        StoreToStream(aState);
        break;
    default:
        QRT_FAIL("WTF?");
    }
}

int32_t HttpGet(const std::string& aUrl, ThttpData& aTarget, uint32_t aFlags, int32_t aUserData,
                const TDownloadProgress& aOnProgress) {
    return RunTransfer(aUrl, aTarget, aFlags, aUserData, aOnProgress, false, std::string());
}

int32_t HttpRequest(const std::string& aUrl, ThttpData& aTarget, uint32_t aFlags, int32_t aUserData,
                    const TDownloadProgress& aOnProgress, const std::string& aBody) {
    return RunTransfer(aUrl, aTarget, aFlags, aUserData, aOnProgress, true, aBody);
}

int32_t DownloadToString(const std::string& aUrl, std::string& aText, uint32_t aFlags) {
    aText.clear();
    ThttpData target;
    target.Kind = hdkText;
    int32_t result = HttpGet(aUrl, target, aFlags, 0, StoreToTarget);
    target.Text.resize(
        static_cast<size_t>(std::clamp<int32_t>(target.TextLength, 0, int32_t(target.Text.size()))));
    aText = std::move(target.Text);
    return result;
}

int32_t PostToString(const std::string& aUrl, std::string& aText, uint32_t aFlags, const std::string& aBody) {
    aText.clear();
    ThttpData target;
    target.Kind = hdkText;
    int32_t result = HttpRequest(aUrl, target, aFlags, 0, StoreToTarget, aBody);
    aText = std::move(target.Text);
    return result;
}

bool IsOffline() {
    return !NetworkConnectionUp();
}

bool GoOnline() {
    return !IsOffline();
}

TTransferTimeouts TransferTimeouts() {
    return CurrentTimeouts();
}

TTransferTimeouts SetTransferTimeouts(const TTransferTimeouts& aTimeouts) {
    TTransferTimeouts previous = CurrentTimeouts();
    TTransferTimeouts limits;
    TTransferTimeouts& current = CurrentTimeouts();
    current.ConnectMs =
        aTimeouts.ConnectMs == 0 ? limits.ConnectMs : std::min(aTimeouts.ConnectMs, limits.ConnectMs);
    current.TotalMs = aTimeouts.TotalMs == 0 ? limits.TotalMs : std::min(aTimeouts.TotalMs, limits.TotalMs);
    return previous;
}

} // namespace qrt
