// The signature database: loading FileIds.ini and FileIdChecks.ini of arbitrary text, and matching
// a file by content and by extension, as a file and as a stream.
//
// Input: three parts separated by NUL bytes: the text of FileIds.ini, the text of FileIdChecks.ini,
// and the bytes of the file to recognise (which may hold NULs itself). A missing part is empty.
// The file is named "sample" with the extension of the first type the load registered, so the
// lookup by extension finds something to try.

#include "FuzzSupport.h"

#include "core/Exceptions.h"
#include "core/Streams.h"
#include "recognition/HeaderMatching.h"
#include "support/IniReader.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace qrt;
using namespace qrt::fuzz;

namespace {

void WriteText(const std::string& aFileName, const uint8_t* aData, size_t aSize) {
    FILE* f = std::fopen(aFileName.c_str(), "wb");
    if (!f) Broken("cannot write " + aFileName);
    if (aSize) std::fwrite(aData, 1, aSize, f);
    std::fclose(f);
}

// The part up to the next NUL (or the end); aPos moves past the NUL.
std::pair<const uint8_t*, size_t> NextPart(const uint8_t* aData, size_t aSize, size_t& aPos) {
    const uint8_t* start = aData + aPos;
    size_t left = aSize - aPos;
    const void* nul = left ? std::memchr(start, 0, left) : nullptr;
    size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - start) : left;
    aPos += nul ? length + 1 : length;
    return {start, length};
}

void CheckMatch(bool aFound, const TFileTypeMatch& aMatch) {
    Expect(aFound == (aMatch.Recognizer != nullptr), "a match names its type exactly when found");
    Expect(aMatch.Offset == -1 && aMatch.Length == -1, "the match range is always -1, -1");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PrepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
    static TScratchFolder folder;
    const std::string ids = folder.Path() + "/FileIds.ini";
    const std::string checks = folder.Path() + "/FileIdChecks.ini";

    size_t pos = 0;
    auto idsText = NextPart(aData, aSize, pos);
    auto checksText = NextPart(aData, aSize, pos);
    WriteText(ids, idsText.first, idsText.second);
    WriteText(checks, checksText.first, checksText.second);
    // Files rewritten within one clock tick can look unchanged to the reader's cache.
    TIniReader::ClearCache();

    TFileRecognizers recognizers;
    bool loaded = false;
    try {
        recognizers.LoadFromIni(ids);
        loaded = true;
    } catch (const Exception&) {
        // A malformed database stops the load with an assertion; what was loaded before stays.
    }

    std::string ext;
    if (recognizers.ByName.IsLinearized() && recognizers.ByName.Count() > 0) {
        if (auto* first = dynamic_cast<TFileTypeRecognizer*>(recognizers.ByName.GetLinear(0))) {
            first->GetDefaultExtension(ext);
            if (ext.find('/') != std::string::npos || ext.find('\0') != std::string::npos) ext.clear();
        }
    }
    const std::string sample = folder.Path() + "/sample" + (ext.empty() ? "" : "." + ext.substr(0, 32));
    WriteText(sample, aData + pos, aSize - pos);

    try {
        TFileTypeMatch match;
        bool found = recognizers.RecognizeFile(sample, match, false);
        CheckMatch(found, match);
        match = TFileTypeMatch();
        found = recognizers.RecognizeFile(sample, match, true);
        CheckMatch(found, match);
        if (loaded) Expect(found || !match.Recognizer, "content matching on a loaded database answers");

        TMemoryStream stream;
        if (aSize > pos) stream.Write(aData + pos, static_cast<int64_t>(aSize - pos));
        stream.Seek(0, soBeginning);
        match = TFileTypeMatch();
        bool inStream = recognizers.RecognizeStream(stream, match, "");
        CheckMatch(inStream, match);
        if (loaded) Expect(inStream == found, "a file and a stream of the same bytes match alike");
        std::string extension;
        recognizers.GetExtensionOf(stream, extension);
        if (!ext.empty()) recognizers.HasExtension("." + ext);
    } catch (const Exception&) {
        // Recognition by content on a database whose load stopped midway fails its assertion.
    }
    std::remove(sample.c_str());
    return 0;
}
