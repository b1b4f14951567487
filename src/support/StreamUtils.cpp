#include "support/StreamUtils.h"

#include "core/Assert.h"

QRT_UNIT("Streams\\StreamUtils")

namespace qrt {

void WriteString(TStream* aStream, const std::string& aText) {
    QRT_ASSERT(aStream != nullptr, "NIL Stream!!");
    if (!aText.empty()) aStream->WriteBuffer(aText.data(), static_cast<int64_t>(aText.size()));
}

void WriteText(TStream* aStream, const std::string& aText) {
    QRT_ASSERT(aStream != nullptr, "NIL Stream!!");
    if (!aText.empty()) aStream->Write(aText.data(), static_cast<int64_t>(aText.size()));
}

void WriteLine(TStream* aStream, const std::string& aText) {
    QRT_ASSERT(aStream != nullptr, "NIL Stream!!");
    if (!aText.empty()) WriteText(aStream, aText);
    aStream->Write("\r\n", 2);
}

} // namespace qrt
