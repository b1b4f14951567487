#include "TestUtil.h"

#include "core/Exceptions.h"
#include "core/Hooks.h"
#include "core/Streams.h"
#include "recognition/HeaderMatching.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace qrt {
namespace {

using test::TempDir;

// A database of two files in a temporary folder.
class Database {
public:
    void Write(const std::string& aIds, const std::string& aChecks) {
        test::WriteFileBytes(IdsFile(), "[!!version+etc]\nversion=7\n\n" + aIds);
        test::WriteFileBytes(ChecksFile(), "[!!version+etc]\nversion=7\n\n" + aChecks);
    }
    std::string IdsFile() const { return fDir.File("FileIds.ini"); }
    std::string ChecksFile() const { return fDir.File("FileIdChecks.ini"); }
    std::string File(const std::string& aName, const std::string& aBytes) const {
        test::WriteFileBytes(fDir.File(aName), aBytes);
        return fDir.File(aName);
    }

private:
    TempDir fDir;
};

const char* kSmallIds = "[Main]\nItems=JPEG,ZIP\n"
                        "[JPEG]\nItems=hexJpegStart\nFileExtensions=jpg,jpeg\n"
                        "[ZIP]\nItems=hexZipLocal/hexZipEnd\nFileExtensions=zip\n";
const char* kSmallChecks = "[!hexJpegStart]\n0=0:FFD8FF\n"
                           "[!hexZipLocal]\n0=0:504B0304\n"
                           "[!hexZipEnd]\n0=0:504B0506\n";

class TMemory : public TMemoryStream {
public:
    explicit TMemory(const std::string& aBytes) {
        if (!aBytes.empty()) WriteBuffer(aBytes.data(), static_cast<int64_t>(aBytes.size()));
    }
};

std::string DefaultExtension(const TFileTypeMatch& aMatch) {
    std::string ext;
    if (aMatch.Recognizer) aMatch.Recognizer->GetDefaultExtension(ext);
    return ext;
}

std::vector<std::string> CheckNames(const TFileTypeCheckComboArray& aCombo) {
    std::vector<std::string> names;
    for (TFileTypeCheckItem* check : aCombo)
        names.push_back(check->Name);
    return names;
}

TEST(RecognizersTest, SmallDatabase) {
    Database db;
    db.Write(kSmallIds, kSmallChecks);
    TFileRecognizers recognizers;
    recognizers.LoadFromIni(db.IdsFile());
    EXPECT_EQ(recognizers.ByName.Count(), 2);
    EXPECT_TRUE(recognizers.ByName.IsLinearized());
    EXPECT_TRUE(recognizers.ByExtension.IsLinearized());
    EXPECT_EQ(recognizers.ByName.HashSize(), 1031);
    EXPECT_EQ(recognizers.ByExtension.HashSize(), 1031);

    auto* zip = static_cast<TFileTypeRecognizer*>(recognizers.ByName.Find("ZIP"));
    ASSERT_NE(zip, nullptr);
    ASSERT_EQ(zip->Combinations.size(), 2u);
    EXPECT_EQ(CheckNames(zip->Combinations[1]), std::vector<std::string>{"hexZipEnd"});

    struct Case {
        std::string content;
        std::string type; // empty: nothing
        std::string ext;
    } cases[] = {
        {std::string("\xFF\xD8\xFF\xE0 JFIF"), "JPEG", "jpg"},
        {std::string("PK\x05\x06", 4) + std::string(18, '\0'), "ZIP", "zip"},
        {std::string("\0\0", 2), "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        std::string path = db.File("file0001.tmp", c.content);
        TFileTypeMatch match;
        EXPECT_EQ(recognizers.RecognizeFile(path, match, true), !c.type.empty()) << c.type;
        EXPECT_EQ(match.Recognizer ? match.Recognizer->Name : "", c.type);
        EXPECT_EQ(DefaultExtension(match), c.ext);
        EXPECT_EQ(match.Offset, -1);
        EXPECT_EQ(match.Length, -1);

        TMemory stream(c.content);
        std::string ext;
        recognizers.GetExtensionOf(stream, ext);
        EXPECT_EQ(ext, c.type.empty() ? std::string(1, '\0') : c.ext);
    }
}

TEST(RecognizersTest, ByExtensionTriesOnlyTheTypesOfThatExtension) {
    Database db;
    db.Write(kSmallIds, kSmallChecks);
    TFileRecognizers recognizers;
    recognizers.LoadFromIni(db.IdsFile());
    const std::string jpeg = "\xFF\xD8\xFF\xE1";
    TFileTypeMatch match;
    EXPECT_TRUE(recognizers.RecognizeFile(db.File("Photo.JPG", jpeg), match, false));
    EXPECT_EQ(match.Recognizer->Name, "JPEG");
    EXPECT_FALSE(recognizers.RecognizeFile(db.File("photo.zip", jpeg), match, false));
    EXPECT_EQ(match.Recognizer, nullptr);
    EXPECT_FALSE(recognizers.RecognizeFile(db.File("photo", jpeg), match, false));

    TMemory stream(jpeg);
    EXPECT_TRUE(recognizers.RecognizeStream(stream, match, ".jpeg"));
    EXPECT_FALSE(recognizers.RecognizeStream(stream, match, ".zip"));
    EXPECT_FALSE(recognizers.RecognizeStream(stream, match, ".gif"));
    EXPECT_TRUE(recognizers.RecognizeStream(stream, match, ""));
}

TEST(RecognizersTest, MissingFileIsRecognizedAsNothing) {
    Database db;
    db.Write(kSmallIds, kSmallChecks);
    TFileRecognizers recognizers;
    recognizers.LoadFromIni(db.IdsFile());
    TFileTypeMatch match;
    EXPECT_FALSE(recognizers.RecognizeFile(db.IdsFile() + ".missing.jpg", match, true));
    EXPECT_FALSE(recognizers.RecognizeFile(db.IdsFile() + ".missing.jpg", match, false));
    EXPECT_EQ(match.Recognizer, nullptr);
}

TEST(RecognizersTest, RegistersNamesAndExtensions) {
    Database db;
    db.Write("[Main]\nItems=Pic,Word.DOC,NoExt,A, B\n"
             "[Pic]\nItems=hexAny\nFileExtensions= .JPG,jpe \n"
             "[Word.DOC]\nItems=hexAny\n"
             "[NoExt]\nItems=hexAny\n",
             "[!hexAny]\n");
    TFileRecognizers recognizers;
    recognizers.LoadFromIni(db.IdsFile());

    struct Case {
        std::string name, extensions, defaultExt;
        std::vector<std::string> keys;
    } cases[] = {
        {"Pic", "jpg,jpe", "jpg", {".jpg", ".jpe"}},
        {"Word.DOC", "DOC", "DOC", {".DOC"}},
        {"NoExt", "NoExt", "NoExt", {".NoExt"}},
        {"A", "A", "A", {".A"}},
        {" B", " B", "B", {". B"}},
    };
    for (const Case& c : cases) {
        auto* type = static_cast<TFileTypeRecognizer*>(recognizers.ByName.Find(c.name));
        ASSERT_NE(type, nullptr) << c.name;
        EXPECT_EQ(type->Name, c.name);
        EXPECT_EQ(type->Extensions, c.extensions);
        std::string ext;
        type->GetDefaultExtension(ext);
        EXPECT_EQ(ext, c.defaultExt);
        for (const std::string& key : c.keys) {
            EXPECT_TRUE(recognizers.HasExtension(key)) << key;
            TFileTypeRecognizerList* list = recognizers.FindByExtension(key);
            ASSERT_NE(list, nullptr);
            EXPECT_EQ(list->GetRecognizer(0), type);
        }
    }
    EXPECT_EQ(recognizers.ByName.Find("B"), nullptr);
    EXPECT_FALSE(recognizers.HasExtension(".doc"));
    EXPECT_FALSE(recognizers.HasExtension("jpg"));

    // A lower-cased lookup never finds ".DOC": by extension the file is nothing, by content it is.
    std::string doc = db.File("letter.doc", "anything");
    TFileTypeMatch match;
    EXPECT_FALSE(recognizers.RecognizeFile(doc, match, false));
    EXPECT_TRUE(recognizers.RecognizeFile(doc, match, true));
}

TEST(RecognizersTest, AlternativesCollectTheirChecks) {
    Database db;
    db.Write("[Main]\nItems=T\n[T]\nItems= hexA,hexC / hexB,hexA/hexLoop1 / ,/hexA/hexA\n",
             "[!hexA]\nAlso=hexB\n0=0:41\n"
             "[!hexB]\n0=1:42\n"
             "[!hexC]\n0=2:43\n"
             "[!hexLoop1]\nAlso=hexLoop2\n"
             "[!hexLoop2]\nAlso=hexLoop1\n");
    TFileRecognizers recognizers;
    recognizers.LoadFromIni(db.IdsFile());
    auto* type = static_cast<TFileTypeRecognizer*>(recognizers.ByName.Find("T"));
    ASSERT_NE(type, nullptr);
    ASSERT_EQ(type->Combinations.size(), 6u);
    using Names = std::vector<std::string>;
    EXPECT_EQ(CheckNames(type->Combinations[0]), (Names{"hexB", "hexA", "hexC"}));
    EXPECT_EQ(CheckNames(type->Combinations[1]), (Names{"hexB", "hexA"}));
    EXPECT_EQ(CheckNames(type->Combinations[2]), (Names{"hexLoop2", "hexLoop1"}));
    EXPECT_EQ(CheckNames(type->Combinations[3]), Names{}); // "," names no check
    EXPECT_EQ(CheckNames(type->Combinations[4]), (Names{"hexB", "hexA"}));
    EXPECT_EQ(CheckNames(type->Combinations[5]), (Names{"hexB", "hexA"}));
    // Every use of a check name is an object of its own, owned by the type.
    EXPECT_EQ(type->Checks.Count, 3 + 2 + 2 + 0 + 2 + 2);
    EXPECT_NE(type->Combinations[4][1], type->Combinations[5][1]);
}

TEST(RecognizersTest, MatchingTriesAlternativesInOrder) {
    Database db;
    db.Write("[Main]\nItems=Both,Never\n[Both]\nItems=hexA,hexC/hexB\n[Never]\nItems=\n",
             "[!hexA]\n0=0:41\n[!hexB]\n0=1:42\n[!hexC]\n0=2:43\n");
    TFileRecognizers recognizers;
    recognizers.LoadFromIni(db.IdsFile());
    auto* both = static_cast<TFileTypeRecognizer*>(recognizers.ByName.Find("Both"));
    auto* never = static_cast<TFileTypeRecognizer*>(recognizers.ByName.Find("Never"));
    struct Case {
        std::string content;
        bool matches;
    } cases[] = {{"ABC", true}, {"AxC", true}, {"xBx", true}, {"AxX", false}, {"", false}};
    for (const Case& c : cases) {
        TMemory stream(c.content);
        TFileTypeMatch match;
        EXPECT_EQ(both->MatchesStream(stream, match), c.matches) << c.content;
        EXPECT_EQ(match.Recognizer, c.matches ? both : nullptr);
        EXPECT_FALSE(never->MatchesStream(stream, match)); // no alternatives: never
    }
}

TEST(RecognizersTest, NoFixedLimitOnAlternativesOrChecks) {
    // "Wide": one alternative of 200 checks, check i wants 'A' or 'B' at offset i.
    // "Long": 200 alternatives that fail, then one that matches anything.
    std::string many, checks, alternatives, content;
    for (int i = 0; i < 200; ++i) {
        std::string name = "hexC" + std::to_string(i);
        char offset[16];
        std::snprintf(offset, sizeof offset, "%X", i);
        many += (i ? "," : "") + name;
        checks += "[!" + name + "]\n0=" + offset + ":" + (i % 2 ? "42" : "41") + "\n";
        alternatives += "hexNever/";
        content += i % 2 ? 'B' : 'A';
    }
    Database db;
    db.Write("[Main]\nItems=Wide,Long\n[Wide]\nItems=" + many + "\n[Long]\nItems=" + alternatives +
                 "hexAny\n",
             checks + "[!hexNever]\n0=0:FF\n[!hexAny]\n");
    TFileRecognizers recognizers;
    recognizers.LoadFromIni(db.IdsFile());
    auto* wide = static_cast<TFileTypeRecognizer*>(recognizers.ByName.Find("Wide"));
    auto* longType = static_cast<TFileTypeRecognizer*>(recognizers.ByName.Find("Long"));
    ASSERT_EQ(wide->Combinations.size(), 1u);
    EXPECT_EQ(wide->Combinations[0].size(), 200u);
    EXPECT_EQ(longType->Combinations.size(), 201u);

    TMemory stream(content);
    TFileTypeMatch match;
    EXPECT_TRUE(wide->MatchesStream(stream, match));
    EXPECT_TRUE(longType->MatchesStream(stream, match));
    content[199] = 'A';
    TMemory changed(content);
    EXPECT_FALSE(wide->MatchesStream(changed, match));
}

TEST(RecognizersTest, TypeNamedTwiceKeepsTheLaterDefinition) {
    Database db;
    db.Write("[Main]\nItems=JPEG,ZIP,JPEG\n"
             "[JPEG]\nItems=hexJpegStart\nFileExtensions=jpg,jpeg\n"
             "[ZIP]\nItems=hexZipLocal/hexZipEnd\nFileExtensions=zip,jpeg\n",
             kSmallChecks);
    TFileRecognizers recognizers;
    recognizers.LoadFromIni(db.IdsFile());
    EXPECT_EQ(recognizers.ByName.Count(), 2);
    auto* jpeg = static_cast<TFileTypeRecognizer*>(recognizers.ByName.Find("JPEG"));
    auto* zip = static_cast<TFileTypeRecognizer*>(recognizers.ByName.Find("ZIP"));
    TFileTypeRecognizerList* jpg = recognizers.FindByExtension(".jpg");
    ASSERT_NE(jpg, nullptr);
    ASSERT_EQ(jpg->Count, 1);
    EXPECT_EQ(jpg->GetRecognizer(0), jpeg);
    // ".jpeg" keeps ZIP and now lists the surviving JPEG after it.
    TFileTypeRecognizerList* jpegList = recognizers.FindByExtension(".jpeg");
    ASSERT_EQ(jpegList->Count, 2);
    EXPECT_EQ(jpegList->GetRecognizer(0), zip);
    EXPECT_EQ(jpegList->GetRecognizer(1), jpeg);

    TFileTypeMatch match;
    EXPECT_TRUE(recognizers.RecognizeFile(db.File("a.jpeg", "\xFF\xD8\xFF"), match, false));
    EXPECT_EQ(match.Recognizer, jpeg);
}

TEST(RecognizersTest, ReloadReplacesTheDatabase) {
    Database db;
    db.Write(kSmallIds, kSmallChecks);
    TFileRecognizers recognizers;
    recognizers.LoadFromIni(db.IdsFile());
    db.Write("[Main]\nItems=PNG\n[PNG]\nItems=hexPng\nFileExtensions=png\n", "[!hexPng]\n0=0:89\"PNG\"\n");
    recognizers.LoadFromIni(db.IdsFile());
    EXPECT_EQ(recognizers.ByName.Count(), 1);
    EXPECT_FALSE(recognizers.HasExtension(".jpg"));
    EXPECT_TRUE(recognizers.HasExtension(".png"));
    EXPECT_TRUE(recognizers.ByName.IsLinearized());
}

TEST(RecognizersTest, MalformedDatabaseStopsTheLoad) {
    struct Case {
        std::string ids, checks, message;
    } cases[] = {
        {"[Main]\nItems=JPEG,Bad,ZIP\n[JPEG]\nItems=hexJpegStart\nFileExtensions=jpg\n"
         "[Bad]\nItems=hexBad\n[ZIP]\nItems=hexZipLocal\n",
         std::string(kSmallChecks) + "[!hexBad]\n0=0:4G\n", "Error with [4G], only got "},
        {"[Main]\nItems=JPEG,Bad\n[JPEG]\nItems=hexJpegStart\nFileExtensions=jpg\n[Bad]\nItems=magicNumber\n",
         kSmallChecks,
         "Error!! Unknown itemCheck: magicNumber doesn't start with hexXX, textXX or regexXX!!"},
        {"[Main]\nItems=JPEG,Bad\n[JPEG]\nItems=hexJpegStart\nFileExtensions=jpg\n[Bad]\nItems=regexMp3\n",
         kSmallChecks, "UNIMPLEMENTED!!"},
        {"[Main]\nItems=JPEG,,ZIP\n[JPEG]\nItems=hexJpegStart\nFileExtensions=jpg\n", kSmallChecks,
         "WTF? aName = \"\"!!"},
    };
    for (const Case& c : cases) {
        Database db;
        db.Write(c.ids, c.checks);
        TFileRecognizers recognizers;
        EXPECT_ASSERTION(recognizers.LoadFromIni(db.IdsFile()), c.message);
        // The types before the failure stay, unlinearized; the failing type is not registered.
        EXPECT_EQ(recognizers.ByName.Count(), 1);
        EXPECT_NE(recognizers.ByName.Find("JPEG"), nullptr);
        EXPECT_FALSE(recognizers.ByName.IsLinearized());
        TMemory stream("\xFF\xD8\xFF");
        TFileTypeMatch match;
        EXPECT_TRUE(recognizers.RecognizeStream(stream, match, ".jpg"));
        EXPECT_ASSERTION(recognizers.RecognizeStream(stream, match, ""), "WTF?");
        std::string ext;
        EXPECT_ASSERTION(recognizers.GetExtensionOf(stream, ext), "WTF?");
    }
}

TEST(RecognizersTest, LoadFailureReachesTheCrashReporterOnly) {
    Database db;
    db.Write("[Main]\nItems=Bad\n[Bad]\nItems=hexBad\n", "[!hexBad]\n0=0:4?\n");
    std::vector<std::string> reported;
    TExceptionHandler previous =
        SetExceptionHandler([&](const std::exception& e) { reported.push_back(DescribeException(e)); });
    int boxes = 0;
    TMessageBoxHandler previousBox =
        SetMessageBoxHandler([&](const std::string&, const std::string&, uint32_t) {
            ++boxes;
            return IDOK;
        });
    // The start-up guard around the load.
    try {
        FileRecognizers().LoadFromIni(db.IdsFile());
    } catch (const Exception& e) {
        HandleException(e);
    }
    SetExceptionHandler(previous);
    SetMessageBoxHandler(previousBox);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].rfind("EAssertionFailed: WTF? (misc\\HexUtils, line ", 0), 0u) << reported[0];
    EXPECT_EQ(boxes, 0);
    // The single instance is usable again after a good load.
    db.Write(kSmallIds, kSmallChecks);
    FileRecognizers().LoadFromIni(db.IdsFile());
    EXPECT_EQ(FileRecognizers().ByName.Count(), 2);
    EXPECT_EQ(&FileRecognizers(), &FileRecognizers());
}

TEST(RecognizersTest, MissingChecksFileMakesChecksMatchAnything) {
    TempDir dir;
    test::WriteFileBytes(dir.File("FileIds.ini"), "[Main]\nItems=JPEG\n[JPEG]\nItems=hexJpegStart\n"
                                                  "FileExtensions=jpg\n");
    TFileRecognizers recognizers;
    recognizers.LoadFromIni(dir.File("FileIds.ini"));
    TMemory stream("plain text");
    std::string ext;
    recognizers.GetExtensionOf(stream, ext);
    EXPECT_EQ(ext, "jpg");
}

TEST(RecognizersTest, EmptyOrMissingDatabaseRecognizesNothing) {
    TempDir dir;
    TFileRecognizers recognizers;
    recognizers.LoadFromIni(dir.File("FileIds.ini"));
    EXPECT_EQ(recognizers.ByName.Count(), 0);
    TMemory stream("\xFF\xD8\xFF");
    TFileTypeMatch match;
    EXPECT_FALSE(recognizers.RecognizeStream(stream, match, ""));
    EXPECT_FALSE(recognizers.HasExtension(".jpg"));
}

TEST(RecognizersTest, ForeignObjectUnderAnExtension) {
    TFileRecognizers recognizers;
    recognizers.ByExtension.Add(".x", new TObject());
    EXPECT_ASSERTION(recognizers.FindByExtension(".x"), "Invalid type!!");
    EXPECT_EQ(recognizers.FindByExtension(".y"), nullptr);
    int32_t offset = 0, length = 0;
    recognizers.GetMatchRange(TFileTypeMatch{}, offset, length);
    EXPECT_EQ(offset, -1);
    EXPECT_EQ(length, -1);
}

} // namespace
} // namespace qrt
