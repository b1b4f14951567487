#pragma once

#include "core/Streams.h"
#include "core/TObject.h"
#include "recognition/HeaderMatchingChecks.h"
#include "support/ListUtils.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace qrt {

class TFileTypeRecognizer;

// The answer of a content match: the matching type (nullptr when none) and two fields that are
// always -1.
struct TFileTypeMatch {
    TFileTypeRecognizer* Recognizer = nullptr;
    int32_t Offset = -1;
    int32_t Length = -1;
};

// One alternative of a file type: checks that must all hold. The checks belong to the type's Checks.
using TFileTypeCheckComboArray = std::vector<TFileTypeCheckItem*>;

// An alternative while it is being built.
struct TCheckComboArray {
    int32_t Count = 0;
    TFileTypeCheckComboArray Items;
};

// One file type of the signature database: section Name of FileIds.ini.
class TFileTypeRecognizer : public TObject {
public:
    QRT_CLASSNAME(TFileTypeRecognizer)

    TFileTypeRecognizer(); // Checks owns its items
    ~TFileTypeRecognizer() override;
    TFileTypeRecognizer(const TFileTypeRecognizer&) = delete;
    TFileTypeRecognizer& operator=(const TFileTypeRecognizer&) = delete;

    // The first comma-separated entry of Extensions, trimmed.
    virtual void GetDefaultExtension(std::string& aExt) const;
    // True at the first alternative whose checks all hold; aMatch is then (this, -1, -1). A type
    // without alternatives never matches.
    virtual bool MatchesStream(TStream& aStream, TFileTypeMatch& aMatch);
    // Maps the file read-only (anew on every call) and runs MatchesStream.
    virtual bool MatchesFile(const std::string& aFileName, TFileTypeMatch& aMatch);

    // Reads section aTypeName of aIdsFile: the alternatives of "Items" (checks from the checks file
    // beside it) and "FileExtensions". A malformed check stops the load with an assertion.
    void LoadFromIni(const std::string& aIdsFile, const std::string& aTypeName);

    std::string Name;
    std::string Extensions; // comma-separated, lower case, without dots; the first is the default
    TObjectList Checks;     // every check object the type created
    std::vector<TFileTypeCheckComboArray> Combinations;

private:
    void ParseAlternatives(const std::string& aChecksFile, const std::string& aItems);
    // Adds the checks of a comma-separated list (and, before each, those of its "Also") to an
    // alternative. aPending holds the checks being added, which are not expanded again.
    void FillAlternative(const std::string& aChecksFile, const std::string& aNames, TCheckComboArray& aCombo,
                         std::set<std::string>& aPending);
};

} // namespace qrt
