// Saving recovered files into the output folder, and the two saved-files logs.

#include "core/Assert.h"
#include "core/Hooks.h"
#include "disk/DirectoryAccessor.h"
#include "disk/DiskStream.h"
#include "engine/HostPath.h"
#include "engine/dmMain.h"
#include "platform/HostFiles.h"
#include "platform/TextConv.h"
#include "recognition/HeaderMatching.h"
#include "support/FileUtils.h"
#include "support/PathUtils.h"
#include "support/StreamUtils.h"

#include <algorithm>
#include <memory>

QRT_UNIT("dmMain")

namespace qrt {

namespace {

enum class TxDestination { Live, Deleted, Lost };

// The folder of a chain's file relative to the output folder, as a volume path ending with "\"
// (empty for the output folder itself), and which of the three places it is.
std::string RelativeFolder(const TxClusterChain* aChain, TxDestination& aDestination) {
    std::string folder;
    if (aChain->ParentChain)
        folder = ChainPath(aChain->ParentChain) + "\\";
    else if (aChain->ParentClusterNo == 0)
        folder = "\\"; // an entry of a root directory that has no chain (FAT12/16)
    if (folder.empty()) {
        aDestination = TxDestination::Lost;
        return "~LostFiles\\";
    }
    if (folder[0] == '?') {
        // "?\" marks a path whose top directory has no known parent.
        aDestination = TxDestination::Lost;
        return "~LostFiles\\" + folder.substr(2);
    }
    if (folder[0] == '\\') folder.erase(0, 1);
    if (aChain->Flags & 1) {
        aDestination = TxDestination::Deleted;
        return "~DeletedFiles\\" + folder;
    }
    aDestination = TxDestination::Live;
    return folder;
}

// Gives a file saved under a made-up name the extension of the file type its content matches. A
// rename that fails (a file of that name exists) leaves the file as it is.
void NameByContent(const std::string& aFileName) {
    TFileTypeMatch match;
    if (!FileRecognizers().RecognizeFile(aFileName, match, true) || !match.Recognizer) return;
    std::string ext;
    match.Recognizer->GetDefaultExtension(ext);
    if (ext.empty()) return;
    std::string folder = ExtractFilePath(aFileName);
    std::string name = ChangeFileExt(aFileName.substr(folder.size()), "." + ext);
    // The extension comes from the signature database, which is refreshed from the network: it
    // never leads elsewhere than beside the file.
    RenameFileNoReplace(aFileName, folder + SafeHostName(name));
}

// The parts of a saved file that the device could not read, cut to the file's size (the copy reads
// whole clusters), as "first-last" byte ranges; empty when the file was read whole.
std::string UnreadableRanges(const TxDiskStream& aStream, int64_t& aBytes) {
    std::string ranges;
    aBytes = 0;
    const int64_t size = aStream.fSize;
    for (const TxDiskStream::TxUnreadable& u : aStream.Unreadable()) {
        if (u.Offset >= size) break;
        int64_t end = std::min(u.Offset + u.Length, size);
        aBytes += end - u.Offset;
        if (!ranges.empty()) ranges += ", ";
        ranges += std::to_string(u.Offset) + "-" + std::to_string(end - 1);
    }
    return ranges;
}

} // namespace

void AppendLineToFile(const std::string& aFileName, const std::string& aText) {
    std::unique_ptr<TFileStream> stream = OpenFileForAppend(aFileName);
    WriteString(stream.get(), aText + "\r\n");
}

void TdmodMain::NoteEntryTime(const TxClusterChain* aChain, const TxSearchRec& aRec) {
    TFileTime time = aRec.FindData.ftLastWriteTime;
    if (time == 0 && aRec.Time != 0)
        time = DosDateTimeToFileTime(static_cast<uint16_t>(static_cast<uint32_t>(aRec.Time) >> 16),
                                     static_cast<uint16_t>(aRec.Time & 0xFFFF));
    if (time != 0) fEntryTimes[aChain] = time;
}

uint64_t TdmodMain::EntryTimeOf(const TxClusterChain* aChain) const {
    auto it = fEntryTimes.find(aChain);
    return it == fEntryTimes.end() ? 0 : it->second;
}

void TdmodMain::SaveFile(TxDiskStream& aStream) {
    PxClusterChain chain = aStream.fChain;
    QRT_ASSERT(chain != nullptr, "WTF?");
    CheckChain(aStream.GetFileSystem(), chain);
    if (chain->ItemCount > 0) MarkChainClusters(chain);

    bool generatedName = false;
    if (chain->Name.empty()) {
        QRT_ASSERT(aStream.GetSize() > 0, "WTF? File doesn't have either name or contents!");
        chain->Name = "UnknownFile" + std::to_string(fUnknownFileCount);
        ++fUnknownFileCount;
        generatedName = true;
    }

    TxDestination destination;
    std::string relative = RelativeFolder(chain, destination) + chain->Name;
    // A file and a folder of the same name (a damaged volume can hold both, and a name holding "\"
    // makes folders) do not stop each other from being saved.
    std::string hostRelative = AvoidFileFolderClashes(fOutputFolder, VolumeToHostPath(relative));
    std::string target = fOutputFolder + hostRelative;
    std::string folder = ExtractFilePath(hostRelative);
    if (!folder.empty()) ForceDirectories(fOutputFolder + ExcludeTrailingBackslash(folder));

    // The logs are written first, so a file whose copy fails is still listed.
    AppendLineToFile(fOutputFolder + "SavedFilesLog.txt", ChainPath(chain));
    AppendLineToFile(fOutputFolder + "SavedFilesLog-Full.txt", ChainToString(chain) + "\r\n");

    if (IsUIUpdateDue()) UpdateProgress("Saving...", relative, BitmapPercent(ClusterBitmap));
    aStream.SaveToFile(target);
    ++fSavedFileCount;
    // Sectors the device could not read were saved as zeros: the file is kept, listed as damaged in
    // the full log and reported, and the run goes on.
    int64_t unreadable = 0;
    std::string ranges = UnreadableRanges(aStream, unreadable);
    if (unreadable > 0) {
        ++fDamagedFileCount;
        std::string note = "Damaged: " + ChainPath(chain) + "\r\n  " + std::to_string(unreadable) + " of " +
                           std::to_string(aStream.fSize) +
                           " bytes could not be read and were saved as zeros: bytes " + ranges;
        AppendLineToFile(fOutputFolder + "SavedFilesLog-Full.txt", note + "\r\n");
        HandleException(EReadError("Damaged file " + ChainPath(chain) + ": " + std::to_string(unreadable) +
                                   " bytes could not be read and were saved as zeros"));
    }
    switch (destination) {
    case TxDestination::Live:
        ++fSavedCounts.Live;
        break;
    case TxDestination::Deleted:
        ++fSavedCounts.Deleted;
        break;
    case TxDestination::Lost:
        ++fSavedCounts.Lost;
        break;
    }

    if (uint64_t time = EntryTimeOf(chain)) SetFileModificationTime(target, time);
    if (generatedName) NameByContent(target);
}

void TdmodMain::SaveChain(PxClusterChain aChain) {
    QRT_ASSERT(ChainLength(aChain) > 0, "WTF?");
    // The stream reads the chain without taking it over: the chain stays with its owner.
    std::unique_ptr<TxFileStream> stream = TxFileStream::CreateOnChain(fDisk, aChain->Size, aChain);
    SaveFile(*stream);
}

} // namespace qrt
