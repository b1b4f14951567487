#pragma once

#include "core/Streams.h"
#include "core/TObject.h"
#include "recognition/FileTypeRecognizer.h"
#include "support/HashedLists.h"
#include "support/ListUtils.h"

#include <cstdint>
#include <string>

namespace qrt {

// The file types registered for one extension, in registration order. The types belong to
// TFileRecognizers::ByName; the list never frees them.
class TFileTypeRecognizerList : public TObjectList {
public:
    QRT_CLASSNAME(TFileTypeRecognizerList)

    TFileTypeRecognizerList() { OwnsItems = false; }

    TFileTypeRecognizer* GetRecognizer(int32_t aIndex) const;
    // True when aList exists and holds at least one type.
    static bool NonEmpty(const TFileTypeRecognizerList* aList) {
        return aList != nullptr && aList->Count > 0;
    }
    // True for the first type of the list that matches.
    bool MatchesStream(TStream& aStream, TFileTypeMatch& aMatch);
    virtual bool MatchesFile(const std::string& aFileName, TFileTypeMatch& aMatch);
};

// The loaded signature database: file types by name and by extension.
class TFileRecognizers : public TObject {
public:
    QRT_CLASSNAME(TFileRecognizers)

    TFileRecognizers();
    ~TFileRecognizers() override;
    TFileRecognizers(const TFileRecognizers&) = delete;
    TFileRecognizers& operator=(const TFileRecognizers&) = delete;

    // (Re)loads the database from aIdsFile (FileIds.ini) and FileIdChecks.ini beside it. A malformed
    // database stops the load with an assertion; the types loaded before it stay, unlinearized.
    void LoadFromIni(const std::string& aIdsFile);

    // aExt with its dot ("." + extension).
    virtual bool HasExtension(const std::string& aExt);
    // False when the file does not exist. ByContent: every type in the linear order of ByName, the
    // first match wins; otherwise only the types of the file's own extension (lower case).
    virtual bool RecognizeFile(const std::string& aFileName, TFileTypeMatch& aMatch, bool aByContent);
    // The same on an open stream: aExt (with its dot) selects the types of that extension, an empty
    // aExt tries all types in the linear order of ByName.
    virtual bool RecognizeStream(TStream& aStream, TFileTypeMatch& aMatch, const std::string& aExt);
    // The default extension of the first type matching by content; a single character 0 when none.
    virtual void GetExtensionOf(TStream& aStream, std::string& aExt);
    // The two int32 fields of a content match: always -1 and -1.
    virtual void GetMatchRange(const TFileTypeMatch& aMatch, int32_t& aOffset, int32_t& aLength);

    // The types of an extension (with its dot), or nullptr.
    TFileTypeRecognizerList* FindByExtension(const std::string& aExt);

    TNamedObjectList ByName;      // type name -> TFileTypeRecognizer (owned)
    TNamedObjectList ByExtension; // "." + extension -> TFileTypeRecognizerList (owned)

private:
    void CheckContentOrder() const;
    void Register(const std::string& aName, TFileTypeRecognizer* aType);
    void Unregister(TFileTypeRecognizer* aType);
};

// The process-wide database: created on first use, freed when the program ends.
TFileRecognizers& FileRecognizers();

} // namespace qrt
