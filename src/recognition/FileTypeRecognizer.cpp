#include "recognition/FileTypeRecognizer.h"

#include "core/Assert.h"
#include "support/IniUtils.h"
#include "support/MappedFiles.h"
#include "support/PathUtils.h"

#include <memory>

QRT_UNIT("misc\\HeaderMatching")

namespace qrt {

namespace {

// Calls aVisit for every part of aText between the delimiters, untrimmed.
template <typename TVisit> void ForEachPart(const std::string& aText, char aDelimiter, TVisit aVisit) {
    size_t pos = 0;
    while (true) {
        size_t next = aText.find(aDelimiter, pos);
        aVisit(aText.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
        if (next == std::string::npos) return;
        pos = next + 1;
    }
}

} // namespace

TFileTypeRecognizer::TFileTypeRecognizer() {
    Checks.OwnsItems = true;
}

TFileTypeRecognizer::~TFileTypeRecognizer() {
    Combinations.clear();
    Checks.Clear();
}

void TFileTypeRecognizer::GetDefaultExtension(std::string& aExt) const {
    aExt = TrimText(Extensions.substr(0, Extensions.find(',')));
}

bool TFileTypeRecognizer::MatchesStream(TStream& aStream, TFileTypeMatch& aMatch) {
    for (const TFileTypeCheckComboArray& combo : Combinations) {
        bool all = true;
        for (TFileTypeCheckItem* check : combo) {
            if (!check->Matches(aStream)) {
                all = false;
                break;
            }
        }
        if (all) {
            aMatch = TFileTypeMatch{this, -1, -1};
            return true;
        }
    }
    return false;
}

bool TFileTypeRecognizer::MatchesFile(const std::string& aFileName, TFileTypeMatch& aMatch) {
    TMemoryMappedStream stream(aFileName, -1, mmReadOnly);
    return MatchesStream(stream, aMatch);
}

void TFileTypeRecognizer::LoadFromIni(const std::string& aIdsFile, const std::string& aTypeName) {
    Name = aTypeName;
    std::string items;
    ReadIniString(aIdsFile, Name, "Items", items, "");
    items = TrimText(items);
    if (!items.empty()) ParseAlternatives(ChangeFileNamePart(aIdsFile, "FileIdChecks"), items);

    std::string extensions;
    ReadIniString(aIdsFile, Name, "FileExtensions", extensions, "");
    Extensions = LowerCaseAscii(TrimText(extensions));
    if (Extensions.empty()) {
        Extensions = ExtractFileExt(Name);
        if (Extensions.empty()) Extensions = Name;
    }
    if (!Extensions.empty() && Extensions[0] == '.') Extensions.erase(0, 1);
}

void TFileTypeRecognizer::ParseAlternatives(const std::string& aChecksFile, const std::string& aItems) {
    Combinations.clear();
    ForEachPart(aItems, '/', [&](const std::string& aPart) {
        std::string part = TrimText(aPart);
        if (part.empty()) return;
        TCheckComboArray combo;
        std::set<std::string> pending;
        FillAlternative(aChecksFile, part, combo, pending);
        combo.Items.resize(static_cast<size_t>(combo.Count));
        Combinations.push_back(std::move(combo.Items));
    });
}

void TFileTypeRecognizer::FillAlternative(const std::string& aChecksFile, const std::string& aNames,
                                          TCheckComboArray& aCombo, std::set<std::string>& aPending) {
    ForEachPart(aNames, ',', [&](const std::string& aEntry) {
        std::string name = TrimText(aEntry);
        if (name.empty() || aPending.count(name) != 0) return;
        for (int32_t i = 0; i < aCombo.Count; ++i)
            if (aCombo.Items[static_cast<size_t>(i)]->Name == name) return;

        std::unique_ptr<TFileTypeCheckItem> check(CreateCheckItemForName(name));
        QRT_ASSERT(check != nullptr,
                   "Error!! Unknown itemCheck: " + name + " doesn't start with hexXX, textXX or regexXX!!");
        check->LoadFromIni(aChecksFile, name);
        if (!check->Also.empty()) {
            aPending.insert(name);
            FillAlternative(aChecksFile, check->Also, aCombo, aPending);
            aPending.erase(name);
        }
        TFileTypeCheckItem* item = check.release();
        Checks.Add(item);
        aCombo.Items.push_back(item);
        ++aCombo.Count;
    });
}

} // namespace qrt
