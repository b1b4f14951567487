#include "recognition/HeaderMatching.h"

#include "core/Assert.h"
#include "support/IniUtils.h"
#include "support/PathUtils.h"

#include <memory>

QRT_UNIT("misc\\HeaderMatching")

namespace qrt {

namespace {

constexpr int32_t kRecognizerBuckets = -1031; // exactly 1031 buckets

template <typename TVisit> void ForEachCommaPart(const std::string& aText, TVisit aVisit) {
    size_t pos = 0;
    while (true) {
        size_t next = aText.find(',', pos);
        aVisit(aText.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
        if (next == std::string::npos) return;
        pos = next + 1;
    }
}

} // namespace

// --- TFileTypeRecognizerList -----------------------------------------------------------------------

TFileTypeRecognizer* TFileTypeRecognizerList::GetRecognizer(int32_t aIndex) const {
    return dynamic_cast<TFileTypeRecognizer*>(Get(aIndex));
}

bool TFileTypeRecognizerList::MatchesStream(TStream& aStream, TFileTypeMatch& aMatch) {
    for (int32_t i = 0; i < Count; ++i) {
        TFileTypeRecognizer* type = GetRecognizer(i);
        if (type != nullptr && type->MatchesStream(aStream, aMatch)) return true;
    }
    return false;
}

bool TFileTypeRecognizerList::MatchesFile(const std::string& aFileName, TFileTypeMatch& aMatch) {
    for (int32_t i = 0; i < Count; ++i) {
        TFileTypeRecognizer* type = GetRecognizer(i);
        if (type != nullptr && type->MatchesFile(aFileName, aMatch)) return true;
    }
    return false;
}

// --- TFileRecognizers ------------------------------------------------------------------------------

TFileRecognizers::TFileRecognizers()
    : ByName(kRecognizerBuckets, true), ByExtension(kRecognizerBuckets, true) {
    ByName.SetOwnsObjects(true);
    ByExtension.SetOwnsObjects(true);
}

TFileRecognizers::~TFileRecognizers() {
    // The per-extension lists refer to the types: free them first.
    ByExtension.Clear();
    ByName.Clear();
}

void TFileRecognizers::LoadFromIni(const std::string& aIdsFile) {
    if (ByName.IsLinearized()) QRT_ASSERT(ByExtension.IsLinearized(), "WTF?");
    while (ByName.LinearizeDepth() > 0)
        ByName.Unlinearize();
    while (ByExtension.LinearizeDepth() > 0)
        ByExtension.Unlinearize();
    ByExtension.Clear();
    ByName.Clear();

    std::string items;
    ReadIniString(aIdsFile, "Main", "Items", items, "");
    items = TrimText(items);
    if (!items.empty()) {
        // Entries are taken as written: "A, B" registers " B".
        ForEachCommaPart(items, [&](const std::string& aEntry) {
            // The same check the name map makes, before the entry is used as a section name.
            QRT_ASSERT(!aEntry.empty(), "WTF? aName = \"\"!!");
            auto type = std::make_unique<TFileTypeRecognizer>();
            type->LoadFromIni(aIdsFile, aEntry);
            Register(aEntry, type.release());
        });
    }
    ByName.Linearize(false);
    ByExtension.Linearize(false);
}

void TFileRecognizers::Register(const std::string& aName, TFileTypeRecognizer* aType) {
    // A name given twice: the later definition replaces the earlier one everywhere.
    if (auto* earlier = dynamic_cast<TFileTypeRecognizer*>(ByName.Find(aName))) Unregister(earlier);
    ByName.Add(aName, aType);
    ForEachCommaPart(aType->Extensions, [&](const std::string& aExt) {
        std::string key = "." + aExt;
        TFileTypeRecognizerList* list = FindByExtension(key);
        if (list == nullptr) {
            list = new TFileTypeRecognizerList();
            ByExtension.Add(key, list);
        }
        list->Add(aType);
    });
}

void TFileRecognizers::Unregister(TFileTypeRecognizer* aType) {
    ForEachCommaPart(aType->Extensions, [&](const std::string& aExt) {
        std::string key = "." + aExt;
        TFileTypeRecognizerList* list = FindByExtension(key);
        if (list == nullptr) return;
        for (int32_t i = list->IndexOf(aType); i >= 0; i = list->IndexOf(aType))
            list->Delete(i);
        list->Pack();
        if (list->Count == 0) ByExtension.Remove(key);
    });
}

TFileTypeRecognizerList* TFileRecognizers::FindByExtension(const std::string& aExt) {
    TObject* found = ByExtension.Find(aExt);
    if (found == nullptr) return nullptr;
    auto* list = dynamic_cast<TFileTypeRecognizerList*>(found);
    QRT_ASSERT(list != nullptr, "Invalid type!!");
    return list;
}

bool TFileRecognizers::HasExtension(const std::string& aExt) {
    return TFileTypeRecognizerList::NonEmpty(FindByExtension(aExt));
}

void TFileRecognizers::CheckContentOrder() const {
    // Trying types by content needs the order fixed by a complete load.
    QRT_ASSERT(ByName.IsLinearized() || ByName.Count() == 0, "WTF?");
}

bool TFileRecognizers::RecognizeFile(const std::string& aFileName, TFileTypeMatch& aMatch, bool aByContent) {
    aMatch = TFileTypeMatch{};
    if (!FileExists(aFileName)) return false;
    if (!aByContent) {
        TFileTypeRecognizerList* list = FindByExtension(LowerCaseAscii(ExtractFileExt(aFileName)));
        return list != nullptr && list->MatchesFile(aFileName, aMatch);
    }
    CheckContentOrder();
    for (int32_t i = 0; i < ByName.Count(); ++i) {
        auto* type = static_cast<TFileTypeRecognizer*>(ByName.GetLinear(i));
        if (type->MatchesFile(aFileName, aMatch)) return true;
    }
    return false;
}

bool TFileRecognizers::RecognizeStream(TStream& aStream, TFileTypeMatch& aMatch, const std::string& aExt) {
    aMatch = TFileTypeMatch{};
    if (!aExt.empty()) {
        TFileTypeRecognizerList* list = FindByExtension(aExt);
        return list != nullptr && list->MatchesStream(aStream, aMatch);
    }
    CheckContentOrder();
    for (int32_t i = 0; i < ByName.Count(); ++i) {
        auto* type = static_cast<TFileTypeRecognizer*>(ByName.GetLinear(i));
        if (type->MatchesStream(aStream, aMatch)) return true;
    }
    return false;
}

void TFileRecognizers::GetExtensionOf(TStream& aStream, std::string& aExt) {
    TFileTypeMatch match;
    if (RecognizeStream(aStream, match, "") && match.Recognizer != nullptr)
        match.Recognizer->GetDefaultExtension(aExt);
    else
        aExt = std::string(1, '\0');
}

void TFileRecognizers::GetMatchRange(const TFileTypeMatch&, int32_t& aOffset, int32_t& aLength) {
    aOffset = -1;
    aLength = -1;
}

TFileRecognizers& FileRecognizers() {
    static TFileRecognizers instance;
    return instance;
}

} // namespace qrt
