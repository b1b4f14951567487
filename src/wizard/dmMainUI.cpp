#include "wizard/dmMainUI.h"

#include "core/Application.h"
#include "core/Assert.h"
#include "core/Hooks.h"
#include "disk/ClusterBitmap.h"
#include "disk/DiskAccessor.h"
#include "disk/DiskRepo.h"
#include "disk/PartitionTable.h"
#include "platform/DeviceIO.h"
#include "support/ListUtils.h"
#include "support/PathUtils.h"
#include "update/SignatureRefresh.h"
#include "wizard/WizardApplication.h"
#include "wizard/WizardStartup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

QRT_UNIT("dmMain")

namespace qrt {

TdmodMainUI* dmodMain = nullptr;

namespace {

constexpr int kMainTimerInterval = 250;

// True when a lettered drive on the same device as aDisk carries a file system: an unpartitioned
// card is listed under its letter, so its whole disk need not be offered again.
bool MountedUnderALetter(TxDiskRepo& aRepo, TxDiskAccessor* aDisk) {
    const std::string target = DeviceResolve(aDisk->fParams.DevicePath);
    const char last = aRepo.GetLastDriveLetter();
    for (char letter = 'A'; last > 64 && letter <= last; ++letter) {
        TxDiskAccessor* drive = aRepo.FindLogicalDrive(letter);
        if (drive && drive->fFileSystem && DeviceResolve(drive->fParams.DevicePath) == target) return true;
    }
    return false;
}

} // namespace

TdmodMainUI::TdmodMainUI(QObject* aParent) : QObject(aParent) {
    QRT_ASSERT(dmodMain == nullptr, "WTF? The data module exists already");
    dmodMain = this;
    setObjectName("dmodMain");

    timerMain = new QTimer(this);
    timerMain->setObjectName("timerMain");
    timerMain->setInterval(kMainTimerInterval);
    connect(timerMain, &QTimer::timeout, this, &TdmodMainUI::timerMainTimer);
    timerMain->start();

    actnAppAbout = new QAction("About...", this);
    actnAppAbout->setObjectName("actnAppAbout");
    actnAppExit = new QAction("Exit", this);
    actnAppExit->setObjectName("actnAppExit");
    connect(actnAppExit, &QAction::triggered, this, &TdmodMainUI::actnAppExitExecute);
    actnHelpTopics = new QAction(this);
    actnHelpTopics->setObjectName("actnHelpTopics");
    actnHelpFAQ = new QAction(this);
    actnHelpFAQ->setObjectName("actnHelpFAQ");

    // The engine pumps Qt's events while it works and reports through message boxes owned by the
    // main form; a run in progress keeps error boxes of escaped exceptions away.
    fSavedPump = Application().SetMessagePump([] { QCoreApplication::processEvents(); });
    fSavedMessageBox =
        SetMessageBoxHandler([this](const std::string& aText, const std::string& aCaption, uint32_t aFlags) {
            return ShowQtMessageBox(fMainForm, aText, aCaption, aFlags);
        });
    if (auto* app = qobject_cast<TWizardApplication*>(QCoreApplication::instance()))
        app->SetBusyQuery([this] { return fEngine.IsRecovering(); });
    // The crash reporter: every exception the engine and the start-up work catch is written as one
    // line to stderr and to the wizard's error log; it never opens a box, so a run is never held up.
    fSavedExceptionHandler = SetExceptionHandler(nullptr);
    SetErrorLogFile(WizardErrorLogFile());

    DataModuleCreate();
}

TdmodMainUI::~TdmodMainUI() {
    DataModuleDestroy();
    if (auto* app = qobject_cast<TWizardApplication*>(QCoreApplication::instance()))
        app->SetBusyQuery(nullptr);
    SetErrorLogFile("");
    SetExceptionHandler(std::move(fSavedExceptionHandler));
    SetMessageBoxHandler(std::move(fSavedMessageBox));
    Application().SetMessagePump(std::move(fSavedPump));
    dmodMain = nullptr;
}

void TdmodMainUI::DataModuleCreate() {
    fEngine.fOutputFolder = DefaultOutputFolder();
    RefreshSignatureDatabase();
}

void TdmodMainUI::DataModuleDestroy() {
    delete fEngine.ClusterBitmap;
    fEngine.ClusterBitmap = nullptr;
}

TObjectList* TdmodMainUI::GetRecoverableDisks() {
    auto* list = new TObjectList();
    list->OwnsItems = false;
    auto offer = [list](TxDiskAccessor* aDisk) {
        if (aDisk && aDisk->fFileSystem && IsRemovableDisk(aDisk)) list->Add(aDisk);
    };
    TxDiskRepo& repo = DiskRepo();
    const int32_t lastDriveNo = repo.GetLastDriveNo();
    for (int32_t n = 0; n <= lastDriveNo; ++n)
        offer(repo.FindPhysicalDisk(n));
    const int32_t partitions = repo.GetPartitionCount();
    for (int32_t i = 0; i < partitions; ++i)
        offer(repo.GetPartition(i));
    const char lastLetter = repo.GetLastDriveLetter();
    if (lastLetter > 64)
        for (char letter = 'A'; letter <= lastLetter; ++letter)
            offer(repo.FindLogicalDrive(letter));
    return list;
}

TObjectList* TdmodMainUI::GetUnmountedDisks() {
    auto* list = new TObjectList();
    list->OwnsItems = false;
    TxDiskRepo& repo = DiskRepo();
    const int32_t lastDriveNo = repo.GetLastDriveNo();
    for (int32_t n = 0; n <= lastDriveNo; ++n) {
        TxDiskAccessor* disk = repo.FindPhysicalDisk(n);
        if (!disk || disk->fFileSystem || !IsRemovableDisk(disk)) continue;
        // A disk whose partition table names partitions is offered through them.
        if (disk->fPartitionTable && disk->fPartitionTable->GetPartitionCount() > 0) continue;
        if (MountedUnderALetter(repo, disk)) continue;
        list->Add(disk);
    }
    const int32_t partitions = repo.GetPartitionCount();
    for (int32_t i = 0; i < partitions; ++i) {
        TxDiskAccessor* partition = repo.GetPartition(i);
        if (partition && !partition->fFileSystem && IsRemovableDisk(partition)) list->Add(partition);
    }
    return list;
}

int32_t TdmodMainUI::GetAccessDeniedCount() {
    return DiskRepo().GetAccessDeniedCount();
}

void TdmodMainUI::RequestTermination() {
    Application().Terminate();
    // Outside a run the main loop ends at once; inside one, the run unwinds first and the loop ends
    // when the click handler that started it returns. The window stays up meanwhile. (Without a
    // running loop there is nothing to end, and asking would make every later loop return at once.)
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

void TdmodMainUI::actnAppExitExecute() {
    RequestTermination();
}

std::string ChooseSignatureFolder() {
    const std::string exeFolder = TApplication::ExeFolder();
    auto writable = [](const std::string& aPath) { return ::access(aPath.c_str(), W_OK) == 0; };
    bool exeOk = writable(exeFolder);
    for (const char* name : {"FileIds.ini", "FileIdChecks.ini"}) {
        std::string file = exeFolder + name;
        if (FileExists(file) && !writable(file)) exeOk = false;
    }
    if (exeOk) return exeFolder;

    QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (data.isEmpty() || !QDir().mkpath(data)) return exeFolder;
    std::string folder = IncludeTrailingBackslash(data.toStdString());
    for (const char* name : {"FileIds.ini", "FileIdChecks.ini"}) {
        QString source = QString::fromStdString(exeFolder + name);
        QString copy = QString::fromStdString(folder + name);
        if (!QFile::exists(copy) && QFile::exists(source) && QFile::copy(source, copy))
            QFile::setPermissions(copy,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return folder;
}

} // namespace qrt
