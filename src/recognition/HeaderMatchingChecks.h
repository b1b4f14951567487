#pragma once

#include "core/Streams.h"
#include "core/TObject.h"
#include "recognition/HexUtils.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qrt {

// The offset of a hex datum written without one; such a datum never matches.
inline constexpr int32_t kNoHexOffset = 2147483647;
// The largest window a text datum searches.
inline constexpr int32_t kMaxTextWindow = 262144;

// One datum of a hex check: Bytes must stand at Offset.
struct THexCheckData {
    int32_t Offset = kNoHexOffset;
    uint16_t Origin = soBeginning;
    uint8_t Exact = 1; // 0 with the "*" marker; matching does not consult it
    std::string Bytes;
    TWildcardMask WildcardMask{};
};

// One datum of a text check: Bytes must occur somewhere in the window of Length bytes at Start.
struct TTextCheckData {
    int32_t Start = 0;
    int32_t Length = kMaxTextWindow;
    uint16_t Origin = soBeginning; // soEnd: Start counts from the end of the file
    uint8_t CaseSensitive = 0;     // 1 with the "*" marker
    uint8_t NotMarker = 0;         // 1 with the "!" marker; matching does not consult it
    std::string Bytes;
    TWildcardMask WildcardMask{};
};

// Parses one datum as written in the checks file; a pattern that does not parse fails the assertion
// "Error with [<datum>], only got <bytes>".
THexCheckData ParseHexDatum(const std::string& aDatum);
TTextCheckData ParseTextDatum(const std::string& aDatum);

// Windows-1252 lower case of one byte.
uint8_t FoldCase1252(uint8_t aByte);

// A named signature check of the checks file (section "!" + Name). The kind follows from the start
// of the name: "hex", "text" or "regex".
class TFileTypeCheckItem : public TObject {
public:
    QRT_CLASSNAME(TFileTypeCheckItem)

    // Reads Also (expanded to every check reachable through "Also", each once, depth first) and
    // sets Name; the derived classes then read their data.
    virtual void LoadFromIni(const std::string& aChecksFile, const std::string& aCheckName);
    virtual void KindName(std::string& aText) const = 0;
    // Runs the check on a readable, seekable stream (Seek and Read only).
    virtual bool Matches(TStream& aStream) = 0;
    // Maps the file read-only and runs Matches on it; a missing file raises EFOpenError.
    virtual bool MatchesFile(const std::string& aFileName);

    std::string Name;
    std::string Also; // comma-separated, without blanks
};

class TFileTypeCheckItemByHex : public TFileTypeCheckItem {
public:
    QRT_CLASSNAME(TFileTypeCheckItemByHex)

    void LoadFromIni(const std::string& aChecksFile, const std::string& aCheckName) override;
    void KindName(std::string& aText) const override { aText = "hex"; }
    bool Matches(TStream& aStream) override;

    std::vector<THexCheckData> Data;
};

class TFileTypeCheckItemByText : public TFileTypeCheckItem {
public:
    QRT_CLASSNAME(TFileTypeCheckItemByText)

    void LoadFromIni(const std::string& aChecksFile, const std::string& aCheckName) override;
    void KindName(std::string& aText) const override { aText = "text"; }
    bool Matches(TStream& aStream) override;

    std::vector<TTextCheckData> Data;
};

// Declared for the database format; loading and matching fail "UNIMPLEMENTED!!".
class TFileTypeCheckItemByRegExpr : public TFileTypeCheckItem {
public:
    QRT_CLASSNAME(TFileTypeCheckItemByRegExpr)

    void LoadFromIni(const std::string& aChecksFile, const std::string& aCheckName) override;
    void KindName(std::string& aText) const override { aText = "regex"; }
    bool Matches(TStream& aStream) override;
};

// Creates the check class a name asks for ("hex...", "text...", "regex...", compared exactly), or
// returns nullptr for any other name.
TFileTypeCheckItem* CreateCheckItemForName(const std::string& aCheckName);

} // namespace qrt
