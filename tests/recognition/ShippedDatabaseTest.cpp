#include "TestUtil.h"

#include "core/Streams.h"
#include "recognition/HeaderMatching.h"
#include "support/IniUtils.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace qrt {
namespace {

using test::TempDir;

// The database as the build ships it, next to the executables.
const std::string kIdsFile = std::string(QRT_BIN_DIR) + "/FileIds.ini";
const std::string kChecksFile = std::string(QRT_BIN_DIR) + "/FileIdChecks.ini";

// Loads the shipped database once and writes the sample files once for the whole suite.
class ShippedDatabaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sRecognizers = new TFileRecognizers();
        sRecognizers->LoadFromIni(kIdsFile);
        sSamples = new TempDir();
        std::string output;
        int rc = test::RunCommand("python3 " QRT_TEST_SCRIPTS_DIR "/make_samples.py " +
                                      test::ShellQuote(sSamples->Path()),
                                  &output);
        sSamplesMade = rc == 0;
        if (!sSamplesMade) std::fprintf(stderr, "make_samples.py failed:\n%s\n", output.c_str());
    }
    static void TearDownTestSuite() {
        delete sRecognizers;
        delete sSamples;
    }

    static std::vector<std::string> Files(const std::string& aFolder) {
        return test::ListFilesRecursive(sSamples->File(aFolder));
    }

    // Position of a type in the order of trial by content.
    static int Position(const std::string& aName) {
        for (int32_t i = 0; i < sRecognizers->ByName.Count(); ++i)
            if (static_cast<TFileTypeRecognizer*>(sRecognizers->ByName.GetLinear(i))->Name == aName) return i;
        return -1;
    }

    static TFileRecognizers* sRecognizers;
    static TempDir* sSamples;
    static bool sSamplesMade;
};

TFileRecognizers* ShippedDatabaseTest::sRecognizers = nullptr;
TempDir* ShippedDatabaseTest::sSamples = nullptr;
bool ShippedDatabaseTest::sSamplesMade = false;

TEST_F(ShippedDatabaseTest, BothFilesCarryAVersion) {
    for (const std::string& file : {kIdsFile, kChecksFile}) {
        EXPECT_NE(test::ReadFileBytes(file).find("[!!version+etc]"), std::string::npos) << file;
        std::string version;
        ReadIniString(file, "!!version+etc", "version", version, "");
        EXPECT_FALSE(version.empty()) << file;
    }
    // The copies beside the executables are the files of the source tree.
    EXPECT_TRUE(test::ReadFileBytes(kIdsFile) == test::ReadFileBytes(QRT_SOURCE_DIR "/data/FileIds.ini"));
    EXPECT_TRUE(test::ReadFileBytes(kChecksFile) ==
                test::ReadFileBytes(QRT_SOURCE_DIR "/data/FileIdChecks.ini"));
}

TEST_F(ShippedDatabaseTest, LoadsEveryType) {
    EXPECT_TRUE(sRecognizers->ByName.IsLinearized());
    EXPECT_GE(sRecognizers->ByName.Count(), 60);
    for (int32_t i = 0; i < sRecognizers->ByName.Count(); ++i) {
        auto* type = static_cast<TFileTypeRecognizer*>(sRecognizers->ByName.GetLinear(i));
        EXPECT_FALSE(type->Combinations.empty()) << type->Name;
        for (const TFileTypeCheckComboArray& combo : type->Combinations) {
            EXPECT_FALSE(combo.empty()) << type->Name;
            for (TFileTypeCheckItem* check : combo) {
                auto* hex = dynamic_cast<TFileTypeCheckItemByHex*>(check);
                auto* text = dynamic_cast<TFileTypeCheckItemByText*>(check);
                // A check without data would match anything: a misspelt check name.
                EXPECT_TRUE((hex && !hex->Data.empty()) || (text && !text->Data.empty()))
                    << type->Name << ": " << check->Name;
                if (hex) {
                    for (const THexCheckData& d : hex->Data)
                        EXPECT_NE(d.Offset, kNoHexOffset) << check->Name;
                }
            }
        }
        std::string ext;
        type->GetDefaultExtension(ext);
        EXPECT_TRUE(sRecognizers->HasExtension("." + ext)) << type->Name;
    }
}

// The samples are named <TypeName>[~variant].<default extension>.
TEST_F(ShippedDatabaseTest, EverySampleIsRecognizedByContent) {
    ASSERT_TRUE(sSamplesMade);
    std::set<std::string> covered;
    std::vector<std::string> files = Files("typed");
    ASSERT_FALSE(files.empty());
    for (const std::string& name : files) {
        std::string path = sSamples->File("typed/" + name);
        size_t dot = name.rfind('.');
        std::string expectedType = name.substr(0, std::min(name.find('~'), dot));
        std::string expectedExt = name.substr(dot + 1);
        covered.insert(expectedType);

        TFileTypeMatch match;
        ASSERT_TRUE(sRecognizers->RecognizeFile(path, match, true)) << name;
        EXPECT_EQ(match.Recognizer->Name, expectedType) << name;
        std::string ext;
        match.Recognizer->GetDefaultExtension(ext);
        EXPECT_EQ(ext, expectedExt) << name;

        // The sample also fits the types registered for its own extension.
        TFileTypeMatch byExtension;
        EXPECT_TRUE(sRecognizers->RecognizeFile(path, byExtension, false)) << name;

        // The same through a file stream instead of a mapping.
        TFileStream stream(path, fmOpenRead);
        std::string streamExt;
        sRecognizers->GetExtensionOf(stream, streamExt);
        EXPECT_EQ(streamExt, expectedExt) << name;
    }
    for (int32_t i = 0; i < sRecognizers->ByName.Count(); ++i) {
        const std::string& type = static_cast<TFileTypeRecognizer*>(sRecognizers->ByName.GetLinear(i))->Name;
        EXPECT_TRUE(covered.count(type)) << "no sample for " << type;
    }
}

TEST_F(ShippedDatabaseTest, PlainTextAndRandomFilesAreNotClaimed) {
    ASSERT_TRUE(sSamplesMade);
    std::vector<std::string> files = Files("unclaimed");
    ASSERT_GE(files.size(), 20u);
    for (const std::string& name : files) {
        TFileTypeMatch match;
        EXPECT_FALSE(sRecognizers->RecognizeFile(sSamples->File("unclaimed/" + name), match, true))
            << name << " claimed by " << (match.Recognizer ? match.Recognizer->Name : "");
    }
}

// Naming by content takes the first type in hash order of the names that matches; where one format
// is built on another, the specific type must come first.
TEST_F(ShippedDatabaseTest, SpecificTypesAreTriedBeforeTheirContainers) {
    const std::map<std::string, std::vector<std::string>> before = {
        {"ZipArchive", {"DOCX", "Xlsx", "Pptx", "ODT", "ODS", "ODP", "EPUB"}},
        {"Xlsx", {"DOCX", "Pptx"}}, // documents carry workbooks of their charts
        {"TIFF", {"CR2", "NikonNef", "ARW", "AdobeDNG", "PentaxPef"}},
        {"NikonNef", {"AdobeDNG"}}, // a DNG converted from a camera's raw keeps its maker
        {"ARW", {"AdobeDNG"}},
        {"PentaxPef", {"AdobeDNG"}},
        {"MP4Video", {"HEIC", "AVIF", "CR3", "M4A", "3GP", "MOV"}},
        {"ASFStream", {"WindowsMediaVideo", "WindowsMediaAudio"}},
        {"WindowsMediaAudio", {"WindowsMediaVideo"}},
        {"XlsOle", {"DocOle", "PptOle"}},
        {"PptOle", {"DocOle"}},
        {"XML", {"SVG", "HtmlDocument"}},
        {"SVG", {"HtmlDocument"}},
        {"PostScript", {"EPSF"}},
    };
    for (const auto& [general, specifics] : before) {
        int generalAt = Position(general);
        ASSERT_GE(generalAt, 0) << general;
        for (const std::string& specific : specifics) {
            int specificAt = Position(specific);
            ASSERT_GE(specificAt, 0) << specific;
            EXPECT_LT(specificAt, generalAt) << specific << " must be tried before " << general;
        }
    }
}

} // namespace
} // namespace qrt
