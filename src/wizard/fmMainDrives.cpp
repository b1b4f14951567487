#include "wizard/fmMain.h"

#include "core/Application.h"
#include "disk/DiskAccessor.h"
#include "disk/DiskRepo.h"
#include "support/ListUtils.h"
#include "wizard/WizardFormat.h"
#include "wizard/WizardTexts.h"
#include "wizard/dmMainUI.h"

#include <QLabel>
#include <QTreeWidget>

namespace qrt {

namespace {

constexpr int kDiskRole = Qt::UserRole;

} // namespace

void TformMain::AddDeviceNode(QTreeWidgetItem* aParent, const QString& aText, TxDiskAccessor* aDisk) {
    auto* node = new QTreeWidgetItem(aParent, QStringList(aText));
    node->setData(0, kDiskRole, QVariant::fromValue(reinterpret_cast<quintptr>(aDisk)));
    node->setSizeHint(0, QSize(0, 20));
}

void TformMain::RefreshDriveList() {
    trvwDriveList->clear();
    fRemovableNode = fPhysicalNode = nullptr;
    fModule.Engine().SetDisk(nullptr); // the devices it may point at go with the refresh
    if (fDiskList) {
        delete fDiskList;
        fDiskList = nullptr;
        DiskRepo().RefreshPhysicalDisks();
        DiskRepo().RefreshLogicalDrives();
    }
    fDiskList = fModule.GetRecoverableDisks();
    // Devices on which no file system could be mounted follow, so their numbers continue the list.
    std::unique_ptr<TObjectList> unmounted(fModule.GetUnmountedDisks());
    for (int32_t i = 0; i < unmounted->Count; ++i)
        fDiskList->Add(unmounted->Get(i));

    fRemovableNode = new QTreeWidgetItem(trvwDriveList, QStringList(texts::RemovableDrivesNode));
    for (int32_t i = 0; i < fDiskList->Count; ++i) {
        auto* disk = static_cast<TxDiskAccessor*>(fDiskList->Get(i));
        if (HasDriveLetter(disk)) {
            char letter = DriveLetterOf(disk->fParams);
            std::string label = TxDiskRepo::GetVolumeLabel(letter);
            std::string text = std::string(1, letter) + ": " +
                               (label.empty() ? texts::RemovableDisk : "'" + label + "'") + " (" +
                               FormatByteSize(disk->GetSizeInBytes()) + ")";
            AddDeviceNode(fRemovableNode, QString::fromStdString(text), disk);
        }
        Application().ProcessMessages();
    }

    fPhysicalNode = new QTreeWidgetItem(trvwDriveList, QStringList(texts::PhysicalDisksNode));
    for (int32_t i = 0; i < fDiskList->Count; ++i) {
        auto* disk = static_cast<TxDiskAccessor*>(fDiskList->Get(i));
        if (!HasDriveLetter(disk)) {
            std::string text = std::to_string(i) + ":  " + disk->GetDisplayName() + " " +
                               FormatByteSize(disk->GetSizeInBytes());
            if (!disk->fFileSystem) text += texts::NoFileSystemFound;
            AddDeviceNode(fPhysicalNode, QString::fromStdString(text), disk);
        }
        Application().ProcessMessages();
    }

    if (fRemovableNode->childCount() > 0) {
        fPhysicalNode->setExpanded(false);
        trvwDriveList->expandRecursively(trvwDriveList->indexFromItem(fRemovableNode));
    } else {
        delete fRemovableNode;
        fRemovableNode = nullptr;
    }
    if (fPhysicalNode->childCount() == 0) {
        delete fPhysicalNode;
        fPhysicalNode = nullptr;
    }

    lblAccessDenied->setVisible(fModule.GetAccessDeniedCount() > 0);
    actlstMainUpdate();
}

bool TformMain::CanLeaveDrivePage() const {
    const QList<QTreeWidgetItem*> selected = trvwDriveList->selectedItems();
    return selected.size() == 1 && selected.first()->childCount() == 0;
}

TxDiskAccessor* TformMain::SelectedDisk() const {
    if (!CanLeaveDrivePage()) return nullptr;
    return reinterpret_cast<TxDiskAccessor*>(
        trvwDriveList->selectedItems().first()->data(0, kDiskRole).value<quintptr>());
}

void TformMain::btnRefreshClick() {
    RefreshDriveList();
}

} // namespace qrt
