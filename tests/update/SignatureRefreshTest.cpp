#include "HttpFixture.h"

#include "core/Application.h"
#include "core/Hooks.h"
#include "recognition/HeaderMatching.h"
#include "update/SignatureRefresh.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qrt {
namespace {

namespace fs = std::filesystem;

// The database the program folder starts with: JPEG and ZIP.
std::string LocalIds(const std::string& aVersionLine = "version=5") {
    return "[!!version+etc]\r\n" + aVersionLine +
           "\r\n\r\n[Main]\r\nItems=JPEG,ZIP\r\n\r\n"
           "[JPEG]\r\nItems=hexJpegStart\r\nFileExtensions=jpg,jpeg\r\n\r\n"
           "[ZIP]\r\nItems=hexZipLocal/hexZipEnd\r\nFileExtensions=zip\r\n";
}
const std::string kLocalChecks = "[!!version+etc]\r\nversion=5\r\n\r\n"
                                 "[!hexJpegStart]\r\n0=0:FFD8FF\r\n\r\n"
                                 "[!hexZipLocal]\r\n0=0:504B0304\r\n\r\n"
                                 "[!hexZipEnd]\r\n0=0:504B0506\r\n";
// What the server holds: one type more (PNG), so a load shows which database it read.
const std::string kServerIds = "[!!version+etc]\nversion=6\n\n[Main]\nItems=JPEG,ZIP,PNG\n\n"
                               "[JPEG]\nItems=hexJpegStart\nFileExtensions=jpg\n\n"
                               "[ZIP]\nItems=hexZipLocal/hexZipEnd\nFileExtensions=zip\n\n"
                               "[PNG]\nItems=hexPng\nFileExtensions=png\n";
const std::string kServerChecks = "[!!version+etc]\nversion=6\n\n[!hexJpegStart]\n0=0:FFD8FF\n\n"
                                  "[!hexZipLocal]\n0=0:504B0304\n\n[!hexZipEnd]\n0=0:504B0506\n\n"
                                  "[!hexPng]\n0=0:89504E47\n";

void SetAgeInDays(const std::string& aFileName, double aDays) {
    auto age = std::chrono::duration_cast<fs::file_time_type::duration>(
        std::chrono::duration<double>(aDays * 86400));
    fs::last_write_time(aFileName, fs::file_time_type::clock::now() - age);
}

class SignatureRefreshTest : public test::HttpFixture {
protected:
    void SetUp() override {
        HttpFixture::SetUp();
        fs::create_directories(fRoot.File("tarnwell"));
        fPreviousServer = SetSignatureServer(fServer->Url());
        fPreviousFolder = SetSignatureFolder(fProgram.Path());
        fPreviousHandler = SetExceptionHandler(
            [this](const std::exception& e) { fReports.push_back(DescribeException(e)); });
    }
    void TearDown() override {
        SetExceptionHandler(fPreviousHandler);
        SetSignatureFolder(fPreviousFolder);
        SetSignatureServer(fPreviousServer);
        HttpFixture::TearDown();
    }

    void ServeDatabase(const std::string& aIds, const std::string& aChecks) {
        test::WriteFileBytes(fRoot.File("tarnwell/FileIds"), aIds);
        test::WriteFileBytes(fRoot.File("tarnwell/FileIdChecks"), aChecks);
    }
    void StoreDatabase(const std::string& aIds, const std::string& aChecks) {
        test::WriteFileBytes(IdsFile(), aIds);
        test::WriteFileBytes(ChecksFile(), aChecks);
    }
    std::string IdsFile() const { return fProgram.File("FileIds.ini"); }
    std::string ChecksFile() const { return fProgram.File("FileIdChecks.ini"); }
    int RequestsFor(const std::string& aTarget) const {
        int count = 0;
        for (const auto& r : fServer->Requests())
            count += r.Target == aTarget ? 1 : 0;
        return count;
    }
    std::string Loaded() {
        std::string types;
        for (const char* ext : {".jpg", ".zip", ".png"})
            if (FileRecognizers().HasExtension(ext)) types += ext;
        return types;
    }

    test::TempDir fProgram;
    std::vector<std::string> fReports;
    std::string fPreviousServer, fPreviousFolder;
    TExceptionHandler fPreviousHandler;
};

TEST_F(SignatureRefreshTest, FetchesAFileWhenMissingStaleOrWithoutVersion) {
    struct Case {
        const char* Name;
        double AgeDays; // of the stored FileIds.ini; < 0: there is none
        std::string IdsText;
        bool Fetched;
    };
    const Case cases[] = {
        {"fresh with a version", 0, LocalIds(), false},
        {"one day old", 1, LocalIds(), false},
        {"three days old", 3, LocalIds(), true},
        {"no version key", 0, LocalIds("release=5"), true},
        {"version of spaces", 0, LocalIds("version=   "), true},
        {"missing", -1, "", true},
    };
    ServeDatabase(kServerIds, kServerChecks);
    int fetchedBefore = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        StoreDatabase(c.IdsText, kLocalChecks);
        if (c.AgeDays < 0)
            fs::remove(IdsFile());
        else
            SetAgeInDays(IdsFile(), c.AgeDays);

        RefreshSignatureDatabase();

        int fetched = RequestsFor("/tarnwell/FileIds") - fetchedBefore;
        fetchedBefore += fetched;
        EXPECT_EQ(fetched, c.Fetched ? 1 : 0);
        EXPECT_EQ(test::ReadFileBytes(IdsFile()), c.Fetched ? kServerIds : c.IdsText);
        EXPECT_EQ(test::ReadFileBytes(ChecksFile()), kLocalChecks);
        EXPECT_EQ(Loaded(), c.Fetched ? ".jpg.zip.png" : ".jpg.zip");
        EXPECT_TRUE(fReports.empty()) << fReports.front();
    }
    EXPECT_EQ(RequestsFor("/tarnwell/FileIdChecks"), 0);
    EXPECT_FALSE(test::PathExists(IdsFile() + ".new"));
}

TEST_F(SignatureRefreshTest, BothFilesFetchedWithoutCache) {
    ServeDatabase(kServerIds, kServerChecks);
    RefreshSignatureDatabase();
    EXPECT_EQ(test::ReadFileBytes(IdsFile()), kServerIds);
    EXPECT_EQ(test::ReadFileBytes(ChecksFile()), kServerChecks);
    EXPECT_EQ(Loaded(), ".jpg.zip.png");
    auto requests = fServer->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Target, "/tarnwell/FileIds");
    EXPECT_EQ(requests[1].Target, "/tarnwell/FileIdChecks");
    for (const auto& r : requests) {
        EXPECT_EQ(r.Method, "GET");
        EXPECT_TRUE(r.HasHeader("Cache-Control: no-cache"));
        EXPECT_TRUE(r.HasHeader("Pragma: no-cache"));
    }
    EXPECT_TRUE(fReports.empty());
}

TEST_F(SignatureRefreshTest, AnswerWithoutVersionSectionIsDiscarded) {
    // The server has the checks file but no ids file (a 404 page), and an ids text without the
    // version section would not do either.
    struct Case {
        const char* Name;
        const char* ServedIds; // nullptr: none (404 page)
    } cases[] = {{"error page", nullptr}, {"no version section", "[Main]\nItems=PNG\n"}, {"empty", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ServeDatabase(c.ServedIds ? c.ServedIds : "", kServerChecks);
        if (!c.ServedIds) fs::remove(fRoot.File("tarnwell/FileIds"));
        StoreDatabase(LocalIds(), kLocalChecks);
        SetAgeInDays(IdsFile(), 3);
        SetAgeInDays(ChecksFile(), 3);

        RefreshSignatureDatabase();

        EXPECT_EQ(test::ReadFileBytes(IdsFile()), LocalIds());
        EXPECT_EQ(test::ReadFileBytes(ChecksFile()), kServerChecks);
        EXPECT_EQ(Loaded(), ".jpg.zip");
    }
    EXPECT_EQ(RequestsFor("/tarnwell/FileIds"), 3);
    EXPECT_TRUE(fReports.empty());
}

TEST_F(SignatureRefreshTest, FailedTransfersLeaveTheOldFilesLoaded) {
    SetSignatureServer("http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/");
    StoreDatabase(LocalIds(), kLocalChecks);
    SetAgeInDays(IdsFile(), 3);
    SetAgeInDays(ChecksFile(), 30);
    RefreshSignatureDatabase();
    EXPECT_EQ(test::ReadFileBytes(IdsFile()), LocalIds());
    EXPECT_EQ(test::ReadFileBytes(ChecksFile()), kLocalChecks);
    EXPECT_EQ(Loaded(), ".jpg.zip");
    EXPECT_TRUE(fReports.empty());

    // Without any database and without a server nothing is known afterwards.
    fs::remove(IdsFile());
    fs::remove(ChecksFile());
    RefreshSignatureDatabase();
    EXPECT_EQ(Loaded(), "");
    EXPECT_FALSE(test::PathExists(IdsFile()));
    EXPECT_TRUE(fReports.empty());
}

TEST_F(SignatureRefreshTest, MalformedDatabaseIsReportedAndStartUpGoesOn) {
    StoreDatabase("[!!version+etc]\nversion=5\n[Main]\nItems=JPEG,Bad\n[JPEG]\nItems=hexJpegStart\n"
                  "FileExtensions=jpg\n[Bad]\nItems=bogusCheck\nFileExtensions=bad\n",
                  kLocalChecks);
    EXPECT_NO_THROW(RefreshSignatureDatabase());
    ASSERT_EQ(fReports.size(), 1u);
    EXPECT_EQ(fReports[0].rfind("EAssertionFailed: Error!! Unknown itemCheck: bogusCheck", 0), 0u)
        << fReports[0];
    EXPECT_EQ(fServer->Requests().size(), 0u);
}

// Runs aWork in a child process that may not write into folders it does not own: as root, the
// child becomes the user "nobody" first. Returns the child's exit code, or -1.
int RunUnprivileged(const std::function<int()>& aWork) {
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(100);
        int code = aWork();
        std::fflush(nullptr);
        ::_exit(code);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST_F(SignatureRefreshTest, ReadOnlyProgramFolderIsReportedNotFatal) {
    ServeDatabase(kServerIds, kServerChecks);
    StoreDatabase(LocalIds(), kLocalChecks);
    SetAgeInDays(IdsFile(), 3);
    SetAgeInDays(ChecksFile(), 3);
    fs::permissions(fProgram.Path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);

    // Exit code: the number of reports, plus 16 when the old database was loaded afterwards.
    int code = RunUnprivileged([this] {
        int reports = 0;
        SetExceptionHandler([&reports](const std::exception& e) {
            reports++;
            std::fprintf(stderr, "reported: %s\n", DescribeException(e).c_str());
        });
        RefreshSignatureDatabase();
        return reports + (Loaded() == ".jpg.zip" ? 16 : 0);
    });
    EXPECT_EQ(code, 16 + 1);
    // The failure while saving the ids file ended the refresh: the checks file was not asked for.
    EXPECT_EQ(RequestsFor("/tarnwell/FileIds"), 1);
    EXPECT_EQ(RequestsFor("/tarnwell/FileIdChecks"), 0);
    EXPECT_EQ(test::ReadFileBytes(IdsFile()), LocalIds());
    EXPECT_EQ(test::ReadFileBytes(ChecksFile()), kLocalChecks);
    EXPECT_FALSE(test::PathExists(IdsFile() + ".new"));
}

TEST(IsOlderThanTest, ComparesTheAgeWithTheLimit) {
    test::TempDir dir;
    std::string file = dir.File("f.ini");
    test::WriteFileBytes(file, "x");
    struct Case {
        double AgeDays;
        double Limit;
        bool Older;
    } cases[] = {{0, 2.0, false}, {1, 2.0, false},  {1.9, 2.0, false}, {2.1, 2.0, true},
                 {3, 2.0, true},  {0.6, 0.5, true}, {-1, 2.0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.AgeDays);
        SetAgeInDays(file, c.AgeDays);
        EXPECT_EQ(IsOlderThan(file, c.Limit), c.Older);
    }
    EXPECT_TRUE(IsOlderThan(dir.File("missing.ini"), 2.0));
}

TEST(SignatureServerTest, BaseAddressCanBeChangedAndRestored) {
    std::string builtIn = SignatureServer();
    EXPECT_FALSE(builtIn.empty());
    EXPECT_EQ(SetSignatureServer("http://127.0.0.1:1234/"), builtIn);
    EXPECT_EQ(SignatureServer(), "http://127.0.0.1:1234");
    SetSignatureServer("");
    EXPECT_EQ(SignatureServer(), builtIn);

    EXPECT_EQ(SignatureFolder(), TApplication::ExeFolder());
    SetSignatureFolder("/some/where");
    EXPECT_EQ(SignatureFolder(), "/some/where/");
    SetSignatureFolder("");
    EXPECT_EQ(SignatureFolder(), TApplication::ExeFolder());
}

} // namespace
} // namespace qrt
