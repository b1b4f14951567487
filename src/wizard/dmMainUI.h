#pragma once

#include "engine/dmMain.h"

#include <QAction>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace qrt {

class TObjectList;
class TxDiskAccessor;

// The data module: the recovery engine (TdmodMain) together with what the window toolkit adds to
// it: the idle timer timerMain, the action list (only actnAppExit does something) and the hooks
// that connect the engine and the core runtime to Qt: the message pump, message boxes owned by the
// main form, the application's termination request and the crash reporter, which logs to stderr and
// to the wizard's error log and never opens a box.
//
// It exists once; the global dmodMain points at it while it lives. Creating it runs
// DataModuleCreate (default output folder, then the signature database refresh); destroying it runs
// DataModuleDestroy and puts the hooks back as they were.
class TdmodMainUI : public QObject {
    Q_OBJECT

public:
    explicit TdmodMainUI(QObject* aParent = nullptr);
    ~TdmodMainUI() override;

    TdmodMain& Engine() { return fEngine; }

    // Sets the default output folder, then refreshes and loads the signature database.
    void DataModuleCreate();
    // Frees the engine's cluster bitmap.
    void DataModuleDestroy();

    // The devices the drive page offers: removable ones that carry a mounted file system, physical
    // disks first, then partitions, then lettered drives. A new list that does not own them.
    TObjectList* GetRecoverableDisks();
    // Removable whole disks and partitions on which no file system could be mounted at all (a card
    // whose boot records are gone). The drive page offers them too, marked as such; recovering one
    // rebuilds its volume first. A new list that does not own them.
    TObjectList* GetUnmountedDisks();
    // How many devices exist that this user may not open (see the drive page's hint).
    int32_t GetAccessDeniedCount();

    // The owner of message boxes: the main form once it exists.
    void SetMainForm(QWidget* aForm) { fMainForm = aForm; }
    QWidget* MainForm() const { return fMainForm; }

    // The application's termination request: the running recovery unwinds and the program ends.
    void RequestTermination();

    QTimer* timerMain;
    QAction* actnAppAbout;
    QAction* actnAppExit;
    QAction* actnHelpTopics;
    QAction* actnHelpFAQ;

public slots:
    void actnAppExitExecute();
    void timerMainTimer() {}

private:
    TdmodMain fEngine;
    QWidget* fMainForm = nullptr;
    std::function<void()> fSavedPump;
    std::function<int(const std::string&, const std::string&, uint32_t)> fSavedMessageBox;
    std::function<void(const std::exception&)> fSavedExceptionHandler;
};

// The data module while it exists, else nullptr.
extern TdmodMainUI* dmodMain;

// The folder for the signature database: the program's folder when this user may write there,
// else a per-user data folder into which the shipped files are copied when it lacks them.
std::string ChooseSignatureFolder();

} // namespace qrt
