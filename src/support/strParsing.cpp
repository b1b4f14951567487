#include "support/strParsing.h"

#include "core/Assert.h"

QRT_UNIT("Parsing\\strParsing")

namespace qrt {

void SplitAt(std::string& aText, char aDelimiter, bool aFromEnd, std::string& aHead) {
    QRT_ASSERT(!aText.empty(), "WTF?");
    size_t found = std::string::npos;
    if (aFromEnd) {
        for (size_t i = aText.size() - 1; i >= 1; --i)
            if (aText[i] == aDelimiter) {
                found = i;
                break;
            }
    } else {
        found = aText.find(aDelimiter);
    }
    if (found == std::string::npos) {
        aHead = aText;
        aText.clear();
        return;
    }
    aHead = aText.substr(0, found);
    aText.erase(0, found + 1);
}

void GetStringSlice(const std::string& aText, int32_t& aPosition, char aDelimiter, std::string& aSlice,
                    bool aBackwards) {
    QRT_ASSERT(!aText.empty(), "WTF?");
    const int64_t length = static_cast<int64_t>(aText.size());
    QRT_ASSERT(
        aPosition >= 1 && aPosition <= length,
        "You must set Position := 1..strLen before calling GetStringSlice the first time!! (Position = " +
            std::to_string(aPosition) + ")");
    const size_t pos = static_cast<size_t>(aPosition - 1); // 0-based
    // A slice starts right after a delimiter (forward) or ends right before one (backwards).
    bool atBoundary = aBackwards ? (aPosition == length || aText[pos + 1] == aDelimiter)
                                 : (aPosition == 1 || aText[pos - 1] == aDelimiter);
    QRT_ASSERT(atBoundary, "Position is wrong!! (Position = " + std::to_string(aPosition) +
                               ", str[Position] = " + aText.substr(pos) + ")");
    if (!aBackwards) {
        size_t next = aText.find(aDelimiter, pos);
        if (next == std::string::npos) next = aText.size();
        aSlice = aText.substr(pos, next - pos);
        int64_t newPosition = static_cast<int64_t>(next) + 2; // 1-based, past the delimiter
        aPosition = newPosition > length ? -1 : static_cast<int32_t>(newPosition);
    } else {
        // The slice is aText[start .. pos], empty when aPosition is on a delimiter.
        size_t start = pos + 1;
        while (start > 0 && aText[start - 1] != aDelimiter)
            --start;
        aSlice = aText.substr(start, pos + 1 - start);
        // The delimiter before the slice is at 1-based index start; move to the index before it.
        aPosition = start == 0 ? 0 : static_cast<int32_t>(start) - 1;
    }
}

} // namespace qrt
