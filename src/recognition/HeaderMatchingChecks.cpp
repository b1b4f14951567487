#include "recognition/HeaderMatchingChecks.h"

#include "core/Assert.h"
#include "support/IniUtils.h"
#include "support/MappedFiles.h"

#include <algorithm>
#include <array>
#include <string_view>

QRT_UNIT("misc\\HeaderMatchingChecks")

namespace qrt {

namespace {

std::string SectionOf(const std::string& aCheckName) {
    return "!" + aCheckName;
}

std::string ReadValue(const std::string& aChecksFile, const std::string& aCheckName,
                      const std::string& aKey) {
    std::string value;
    ReadIniString(aChecksFile, SectionOf(aCheckName), aKey, value, "");
    return value;
}

// Appends the names of aAlsoValue, and depth first the names their own "Also" brings in, to the list
// ",a,b,...,"; a name already in the list is not expanded again, which ends every cycle.
void ExpandAlso(const std::string& aChecksFile, const std::string& aAlsoValue, std::string& aList) {
    size_t pos = 0;
    while (pos <= aAlsoValue.size()) {
        size_t comma = aAlsoValue.find(',', pos);
        if (comma == std::string::npos) comma = aAlsoValue.size();
        std::string name = TrimText(aAlsoValue.substr(pos, comma - pos));
        pos = comma + 1;
        if (name.empty() || aList.find("," + name + ",") != std::string::npos) continue;
        aList += aList.empty() ? "," + name + "," : name + ",";
        std::string nested = TrimText(ReadValue(aChecksFile, name, "Also"));
        if (!nested.empty()) ExpandAlso(aChecksFile, nested, aList);
    }
}

[[noreturn]] void PatternError(const std::string& aDatum, const std::string& aParsed) {
    QRT_FAIL("Error with [" + aDatum + "], only got " + aParsed);
}

// The data of a check: keys "0", "1", ... until the first missing or empty one.
template <typename TParse>
void ReadData(const std::string& aChecksFile, const std::string& aCheckName, bool aCutComment,
              TParse aParse) {
    for (int k = 0;; ++k) {
        std::string datum = ReadValue(aChecksFile, aCheckName, std::to_string(k));
        if (aCutComment) {
            size_t semicolon = datum.find(';');
            if (semicolon != std::string::npos) datum.resize(semicolon);
            datum = TrimText(datum);
        }
        if (datum.empty()) break;
        aParse(datum);
    }
}

const std::array<uint8_t, 256>& FoldTable() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[i] = static_cast<uint8_t>(i);
        for (int c = 'A'; c <= 'Z'; ++c)
            t[c] = static_cast<uint8_t>(c + 0x20);
        t[0x8A] = 0x9A;
        t[0x8C] = 0x9C;
        t[0x8E] = 0x9E;
        t[0x9F] = 0xFF;
        for (int c = 0xC0; c <= 0xDE; ++c)
            if (c != 0xD7) t[c] = static_cast<uint8_t>(c + 0x20);
        return t;
    }();
    return table;
}

bool ContainsPattern(std::string_view aWindow, const std::string& aPattern, const TWildcardMask& aMask) {
    if (!HasWildcards(aMask)) return aWindow.find(aPattern) != std::string_view::npos;
    if (aPattern.size() > aWindow.size()) return false;
    for (size_t at = 0; at + aPattern.size() <= aWindow.size(); ++at) {
        size_t k = 0;
        while (k < aPattern.size() && (IsWildcard(aMask, k) || aWindow[at + k] == aPattern[k]))
            ++k;
        if (k == aPattern.size()) return true;
    }
    return false;
}

} // namespace

uint8_t FoldCase1252(uint8_t aByte) {
    return FoldTable()[aByte];
}

THexCheckData ParseHexDatum(const std::string& aDatum) {
    THexCheckData data;
    std::string datum = TrimText(aDatum);
    size_t colon = datum.find(':');
    std::string rest = datum;
    if (colon != std::string::npos) {
        int32_t offset;
        data.Offset = TryHexToInt32(TrimText(datum.substr(0, colon)), offset) ? offset : 0;
        rest = datum.substr(colon + 1);
    }
    std::string pattern = rest;
    if (!pattern.empty() && pattern[0] == '*') {
        data.Exact = 0;
        pattern.erase(0, 1);
    }
    if (!ParseBytePattern(pattern, data.Bytes, data.WildcardMask)) PatternError(rest, data.Bytes);
    return data;
}

TTextCheckData ParseTextDatum(const std::string& aDatum) {
    TTextCheckData data;
    std::string datum = TrimText(aDatum);
    size_t colon = datum.find(':');
    std::string pattern = datum;
    if (colon != std::string::npos) {
        std::string range = TrimText(datum.substr(0, colon));
        int32_t a, b;
        size_t minus = range.find('-');
        if (minus == 0) {
            int32_t n = INT32_MAX;
            if (!TryDecToInt32(range.substr(1), n) || n < 0) n = INT32_MAX;
            data.Origin = soEnd;
            data.Start = -n;
            data.Length = n;
        } else if (minus != std::string::npos) {
            data.Start = TryDecToInt32(TrimText(range.substr(0, minus)), a) ? a : 0;
            data.Length = TryDecToInt32(TrimText(range.substr(minus + 1)), b) ? b : INT32_MAX;
        } else {
            data.Start = 0;
            data.Length = TryDecToInt32(range, a) ? a : INT32_MAX;
        }
        data.Length = std::min(data.Length, kMaxTextWindow);
        pattern = datum.substr(colon + 1);
    }
    if (!pattern.empty() && pattern[0] == '*') {
        data.CaseSensitive = 1;
        pattern.erase(0, 1);
    }
    if (!pattern.empty() && pattern[0] == '!') {
        data.NotMarker = 1;
        pattern.erase(0, 1);
    }
    if (!ParseBytePattern(pattern, data.Bytes, data.WildcardMask)) PatternError(datum, data.Bytes);
    return data;
}

// --- TFileTypeCheckItem ----------------------------------------------------------------------------

void TFileTypeCheckItem::LoadFromIni(const std::string& aChecksFile, const std::string& aCheckName) {
    Also.clear();
    std::string also = TrimText(ReadValue(aChecksFile, aCheckName, "Also"));
    if (!also.empty()) {
        std::string list;
        ExpandAlso(aChecksFile, also, list);
        QRT_ASSERT(list.size() >= 2 && list.front() == ',' && list.back() == ',', "WTF?");
        Also = TrimText(list.substr(1, list.size() - 2));
    }
    Name = aCheckName;
}

bool TFileTypeCheckItem::MatchesFile(const std::string& aFileName) {
    TMemoryMappedStream stream(aFileName, -1, mmReadOnly);
    return Matches(stream);
}

TFileTypeCheckItem* CreateCheckItemForName(const std::string& aCheckName) {
    if (aCheckName.starts_with("hex")) return new TFileTypeCheckItemByHex();
    if (aCheckName.starts_with("text")) return new TFileTypeCheckItemByText();
    if (aCheckName.starts_with("regex")) return new TFileTypeCheckItemByRegExpr();
    return nullptr;
}

// --- TFileTypeCheckItemByHex -----------------------------------------------------------------------

void TFileTypeCheckItemByHex::LoadFromIni(const std::string& aChecksFile, const std::string& aCheckName) {
    TFileTypeCheckItem::LoadFromIni(aChecksFile, aCheckName);
    Data.clear();
    ReadData(aChecksFile, Name, true,
             [this](const std::string& aDatum) { Data.push_back(ParseHexDatum(aDatum)); });
}

bool TFileTypeCheckItemByHex::Matches(TStream& aStream) {
    std::array<char, kMaxPatternBytes> buffer;
    int64_t got = 0;
    const THexCheckData* previous = nullptr;
    for (const THexCheckData& datum : Data) {
        // A datum without an offset never matches (and reads nothing).
        if (datum.Offset == kNoHexOffset) return false;
        const size_t length = std::min(datum.Bytes.size(), buffer.size());
        bool reuse = previous != nullptr && previous->Offset == datum.Offset &&
                     previous->Origin == datum.Origin && previous->Bytes.size() >= length;
        if (!reuse) {
            got = 0;
            if (aStream.Seek(datum.Offset, datum.Origin) >= 0)
                got = std::max<int64_t>(aStream.Read(buffer.data(), length), 0);
        }
        previous = &datum;
        for (size_t k = 0; k < length; ++k) {
            if (static_cast<int64_t>(k) >= got) return false;
            if (!IsWildcard(datum.WildcardMask, k) && buffer[k] != datum.Bytes[k]) return false;
        }
    }
    return true;
}

// --- TFileTypeCheckItemByText ----------------------------------------------------------------------

void TFileTypeCheckItemByText::LoadFromIni(const std::string& aChecksFile, const std::string& aCheckName) {
    TFileTypeCheckItem::LoadFromIni(aChecksFile, aCheckName);
    Data.clear();
    ReadData(aChecksFile, Name, false,
             [this](const std::string& aDatum) { Data.push_back(ParseTextDatum(aDatum)); });
}

bool TFileTypeCheckItemByText::Matches(TStream& aStream) {
    std::string window; // the bytes read for the current window
    std::string folded; // its lower-case form, made on demand
    bool foldedValid = false;
    const TTextCheckData* previous = nullptr;
    for (const TTextCheckData& datum : Data) {
        const int64_t length = std::max<int32_t>(datum.Length, 0);
        bool reuse = previous != nullptr && previous->Start == datum.Start &&
                     previous->Origin == datum.Origin && previous->Length >= datum.Length;
        if (!reuse) {
            window.assign(static_cast<size_t>(length), '\0');
            int64_t got = 0;
            // A window starting in front of the file reads nothing.
            if (length > 0 && aStream.Seek(datum.Start, datum.Origin) >= 0)
                got = std::max<int64_t>(aStream.Read(window.data(), length), 0);
            window.resize(static_cast<size_t>(std::min(got, length)));
            foldedValid = false;
        }
        previous = &datum;
        // A reused window is searched only as far as this datum's own window reaches.
        std::string_view view(window);
        view = view.substr(0, std::min<size_t>(view.size(), static_cast<size_t>(length)));
        bool found;
        if (datum.CaseSensitive) {
            found = ContainsPattern(view, datum.Bytes, datum.WildcardMask);
        } else {
            if (!foldedValid) {
                folded = window;
                for (char& c : folded)
                    c = static_cast<char>(FoldCase1252(static_cast<uint8_t>(c)));
                foldedValid = true;
            }
            std::string pattern = datum.Bytes;
            for (char& c : pattern)
                c = static_cast<char>(FoldCase1252(static_cast<uint8_t>(c)));
            found =
                ContainsPattern(std::string_view(folded).substr(0, view.size()), pattern, datum.WildcardMask);
        }
        if (!found) return false;
    }
    return true;
}

// --- TFileTypeCheckItemByRegExpr -------------------------------------------------------------------

void TFileTypeCheckItemByRegExpr::LoadFromIni(const std::string&, const std::string&) {
    QRT_FAIL("UNIMPLEMENTED!!");
}

bool TFileTypeCheckItemByRegExpr::Matches(TStream&) {
    QRT_FAIL("UNIMPLEMENTED!!");
}

} // namespace qrt
