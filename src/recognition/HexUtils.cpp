#include "recognition/HexUtils.h"

#include "core/Assert.h"

QRT_UNIT("misc\\HexUtils")

namespace qrt {

bool HasWildcards(const TWildcardMask& aMask) {
    for (uint8_t b : aMask)
        if (b != 0) return true;
    return false;
}

int HexDigitValue(char aChar) {
    if (aChar >= '0' && aChar <= '9') return aChar - '0';
    if (aChar >= 'A' && aChar <= 'F') return aChar - 'A' + 10;
    if (aChar >= 'a' && aChar <= 'f') return aChar - 'a' + 10;
    return -1;
}

bool TryHexToInt32(const std::string& aText, int32_t& aValue) {
    if (aText.empty() || aText.size() > 8) return false;
    uint32_t value = 0;
    for (char c : aText) {
        int digit = HexDigitValue(c);
        if (digit < 0) return false;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    aValue = static_cast<int32_t>(value);
    return true;
}

bool TryDecToInt32(const std::string& aText, int32_t& aValue) {
    size_t i = 0;
    bool negative = false;
    if (i < aText.size() && (aText[i] == '-' || aText[i] == '+')) negative = aText[i++] == '-';
    if (i == aText.size()) return false;
    int64_t value = 0;
    for (; i < aText.size(); ++i) {
        char c = aText[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > int64_t{INT32_MAX} + 1) return false;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return false;
    aValue = static_cast<int32_t>(value);
    return true;
}

bool ParseBytePattern(const std::string& aText, std::string& aBytes, TWildcardMask& aMask) {
    aBytes.clear();
    aMask.fill(0);
    size_t i = 0;
    const size_t n = aText.size();
    while (i < n) {
        char c = aText[i];
        if (HexDigitValue(c) >= 0) {
            if (i + 1 < n && aText[i + 1] == '?') QRT_FAIL("WTF?");
            if (i + 1 >= n || HexDigitValue(aText[i + 1]) < 0) return false;
            aBytes += static_cast<char>(HexDigitValue(c) * 16 + HexDigitValue(aText[i + 1]));
            i += 2;
        } else if (c == '?') {
            if (i + 1 >= n || aText[i + 1] != '?') return false;
            if (aBytes.size() < kMaxPatternBytes) SetWildcard(aMask, aBytes.size());
            aBytes += static_cast<char>(kWildcardByte);
            i += 2;
        } else if (c == '"' || c == '`') {
            size_t close = aText.find(c, i + 1);
            if (close == std::string::npos) return false;
            std::string run = aText.substr(i + 1, close - i - 1);
            if (c == '"') {
                aBytes += run;
            } else {
                for (size_t k = 0; k < run.size(); ++k) {
                    aBytes += run[k];
                    if (k + 1 < run.size()) aBytes += '\0';
                }
            }
            i = close + 1;
        } else if (c == ' ') {
            size_t next = aText.find_first_not_of(' ', i);
            if (next != std::string::npos && aText[next] != ';') return false;
            break;
        } else {
            return false;
        }
    }
    return !aBytes.empty() && aBytes.size() <= kMaxPatternBytes;
}

std::string TrimText(const std::string& aText) {
    size_t first = 0, last = aText.size();
    while (first < last && static_cast<unsigned char>(aText[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(aText[last - 1]) <= ' ')
        --last;
    return aText.substr(first, last - first);
}

std::string LowerCaseAscii(const std::string& aText) {
    std::string result = aText;
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

} // namespace qrt
