#include "disk/DiskStream.h"

#include "core/Application.h"
#include "core/Assert.h"
#include "core/Hooks.h"
#include "disk/DiskAccessor.h"
#include "disk/FileSystem.h"
#include "support/FileUtils.h"

#include <algorithm>
#include <cstring>
#include <vector>

QRT_UNIT("Disk\\DiskIO")

namespace qrt {

const TxAccessorClass TxDiskStreamClass{"TxDiskStream", nullptr};
const TxAccessorClass TxFileStreamClass{"TxFileStream", nullptr};

namespace {

// Largest run of whole sectors handed to the accessor at once (it reads them in 256 KiB pieces).
constexpr int64_t kMaxSectorRun = 0x40000000;

TxFileSystem* MountedFileSystem(TxDiskAccessor* aDisk) {
    QRT_ASSERT(aDisk != nullptr && aDisk->fFileSystem != nullptr, "WTF?");
    return aDisk->fFileSystem;
}

} // namespace

// --- construction ---------------------------------------------------------------------------------

std::unique_ptr<TxDiskStream> TxDiskStream::CreateOnAreas(TxDiskAccessor* aDisk, int64_t aSize,
                                                          const TxDiskAreas& aAreas) {
    auto stream = std::make_unique<TxDiskStream>();
    stream->InitOnAreas(aDisk, aSize, aAreas);
    return stream;
}

std::unique_ptr<TxDiskStream> TxDiskStream::CreateAtAddress(TxDiskAccessor* aDisk, int64_t aSize,
                                                            const TxDiskAddress& aAddress) {
    auto stream = std::make_unique<TxDiskStream>();
    stream->InitAtAddress(aDisk, aSize, aAddress);
    return stream;
}

std::unique_ptr<TxDiskStream> TxDiskStream::CreateOnChain(TxDiskAccessor* aDisk, int64_t aSize,
                                                          PxClusterChain aChain) {
    auto stream = std::make_unique<TxDiskStream>();
    stream->InitOnChain(aDisk, aSize, aChain);
    return stream;
}

std::unique_ptr<TxFileStream> TxFileStream::CreateForEntry(const std::string&, int64_t, const TxDiskAddress&,
                                                           uint32_t) {
    return std::make_unique<TxFileStream>();
}

std::unique_ptr<TxFileStream> TxFileStream::CreateOnAreas(TxDiskAccessor* aDisk, int64_t aSize,
                                                          const TxDiskAreas& aAreas) {
    auto stream = std::make_unique<TxFileStream>();
    stream->InitOnAreas(aDisk, aSize, aAreas);
    return stream;
}

std::unique_ptr<TxFileStream> TxFileStream::CreateAtAddress(TxDiskAccessor* aDisk, int64_t aSize,
                                                            const TxDiskAddress& aAddress) {
    auto stream = std::make_unique<TxFileStream>();
    stream->InitAtAddress(aDisk, aSize, aAddress);
    return stream;
}

std::unique_ptr<TxFileStream> TxFileStream::CreateOnChain(TxDiskAccessor* aDisk, int64_t aSize,
                                                          PxClusterChain aChain) {
    auto stream = std::make_unique<TxFileStream>();
    stream->InitOnChain(aDisk, aSize, aChain);
    return stream;
}

void TxDiskStream::InitOnAreas(TxDiskAccessor* aDisk, int64_t aSize, const TxDiskAreas& aAreas) {
    QRT_ASSERT(!aAreas.Empty(), "WTF?");
    QRT_ASSERT(aDisk != nullptr, "WTF?");
    fDisk = aDisk;
    fCurrent.Size = -1;
    fAreas = aAreas;
    if (fAreas[0].Address.Kind == akCluster) fChain = AreasToChain(aDisk, aAreas);
    if (aSize > 0)
        fSize = aSize;
    else if (aSize < 0)
        fSize = fAreas.Last().StreamOffset + fAreas.Last().Size;
    else
        fSize = 0;
    Seek(0, soBeginning);
}

void TxDiskStream::InitAtAddress(TxDiskAccessor* aDisk, int64_t aSize, const TxDiskAddress& aAddress) {
    QRT_ASSERT(aDisk != nullptr, "WTF?");
    fDisk = aDisk;
    fCurrent.Size = -1;
    if (aSize == 0) {
        // An empty stream owns an empty chain of its own.
        NewClusterChain(fChain, 1);
        return;
    }
    switch (aAddress.Kind) {
    case akSector:
        if (aSize < 0) QRT_FAIL("UNIMPLEMENTED!!");
        fSize = aSize;
        MakeSectorAreas(static_cast<uint32_t>(aAddress.Number), aSize, fAreas);
        break;
    case akCluster: {
        TxFileSystem* fs = MountedFileSystem(aDisk);
        fChain = fs->FindChain(static_cast<uint32_t>(aAddress.Number), 0);
        // Only a catalogued chain can be read at a cluster address.
        CheckNonEmptyChain(nullptr, fChain);
        ChainToAreas(aDisk, fChain, fAreas);
        fSize = aSize > 0 ? aSize : int64_t{fChain->ItemCount} * fs->GetBytesPerCluster();
        break;
    }
    default:
        QRT_FAIL("UNIMPLEMENTED!!");
    }
    if (fChain) CheckNonEmptyChain(nullptr, fChain);
    Seek(0, soBeginning);
}

void TxDiskStream::InitOnChain(TxDiskAccessor* aDisk, int64_t aSize, PxClusterChain aChain) {
    QRT_ASSERT(aSize >= -1, "WTF?");
    QRT_ASSERT(aDisk != nullptr, "WTF?");
    if (aChain) CheckNonEmptyChain(nullptr, aChain);
    fDisk = aDisk;
    fCurrent.Size = -1;
    fChain = aChain;
    if (ChainLength(aChain) > 0) ChainToAreas(aDisk, aChain, fAreas);
    if (aSize < 0) {
        QRT_ASSERT(aChain != nullptr, "WTF?");
        fSize = int64_t{aChain->ItemCount} * MountedFileSystem(aDisk)->GetBytesPerCluster();
    } else if (aSize == 0) {
        fSize = 0;
        return;
    } else {
        fSize = aSize;
    }
    Seek(0, soBeginning);
}

TxDiskStream::~TxDiskStream() {
    fData.reset();
    fAreas.Clear();
    if (fChain && (fChain->Owner == nullptr || fChain->Owner == this)) {
        try {
            DisposeClusterChain(fChain);
        } catch (const Exception& e) {
            // A destructor cannot raise: the broken chain is reported and freed all the same.
            HandleException(e);
            delete fChain;
        }
        fChain = nullptr;
    }
}

// --- positioning and reading ----------------------------------------------------------------------

int64_t TxDiskStream::Seek(int64_t aOffset, int aOrigin) {
    int64_t position;
    switch (aOrigin) {
    case soBeginning:
        position = aOffset;
        break;
    case soCurrent:
        position = fCurrent.StreamOffset + aOffset;
        break;
    default:
        position = fSize + aOffset;
        break;
    }
    int32_t index = FindAreaAt(fDisk, fAreas, fCurrent, true, position);
    QRT_ASSERT(index >= 0, "WTF?");
    QRT_ASSERT(fCurrent.Address.Kind == akSector, "WTF?");
    return position;
}

int64_t TxDiskStream::ReadPiece(uint8_t* aBuffer, int64_t aCount) {
    uint32_t bps = fDisk->fParams.BytesPerSector;
    QRT_ASSERT(bps != 0, "WTF?");
    int64_t available = std::min(aCount, fCurrent.Size);
    if (available <= 0) return 0;
    fDisk->SeekAddress(fCurrent.Address);
    int64_t offset = fCurrent.Address.Offset;
    if (offset == 0 && available >= bps) {
        int64_t sectors = std::min(available, kMaxSectorRun) / bps;
        return fDisk->ReadSectors(aBuffer, static_cast<uint32_t>(sectors));
    }
    // The position is inside a sector, or less than a sector is wanted: read the sector whole.
    std::vector<uint8_t> sector(bps);
    if (fDisk->ReadSectors(sector.data(), 1) != bps) return 0;
    int64_t take = std::min(available, int64_t{bps} - offset);
    std::memcpy(aBuffer, sector.data() + offset, static_cast<size_t>(take));
    return take;
}

int64_t TxDiskStream::Read(void* aBuffer, int64_t aCount) {
    if (aCount <= 0) return 0;
    QRT_ASSERT(!fAreas.Empty(), "WTF?");
    QRT_ASSERT(fDisk != nullptr, "WTF?");
    if (fDisk->IsClosed()) fDisk->Open(true);
    Application().ProcessMessages();
    auto* target = static_cast<uint8_t*>(aBuffer);
    int64_t done = 0;
    while (aCount > 0) {
        int64_t got = ReadPiece(target + done, aCount);
        if (got <= 0) break;
        Seek(got, soCurrent);
        aCount -= got;
        done += got;
    }
    return done;
}

int64_t TxDiskStream::Write(const void*, int64_t) {
    QRT_FAIL("Writing is not supported!");
}

void TxDiskStream::SetSize(int64_t) {
    QRT_FAIL("UNIMPLEMENTED!!");
}

// --- contents -------------------------------------------------------------------------------------

std::unique_ptr<TxDiskStream> TxDiskStream::Clone() {
    if (fChain) {
        CheckNonEmptyChain(nullptr, fChain);
        // Two streams must not both dispose one chain: only a chain with another owner is shared.
        QRT_ASSERT(fChain->Owner != nullptr && fChain->Owner != this, "WTF?");
    }
    std::unique_ptr<TxDiskStream> clone(NewSibling());
    clone->fDisk = fDisk;
    clone->fChain = fChain;
    clone->fAreas = fAreas;
    clone->fSize = fSize;
    clone->fCurrent = fCurrent;
    return clone;
}

void TxDiskStream::Refresh() {}

TxDiskStream* TxDiskStream::LoadData() {
    if (fData) return this;
    QRT_ASSERT(fSize > 0 && fSize <= 0x3FFFFFFF, "WTF?");
    auto block = std::make_unique<uint8_t[]>(static_cast<size_t>(fSize));
    fUnreadable.clear();
    Seek(0, soBeginning);
    // Only what the areas hold is read; a size beyond them stays zero without being unreadable.
    int64_t inAreas = fAreas.Empty() ? 0 : fAreas.Last().StreamOffset + fAreas.Last().Size;
    ReadSalvaging(block.get(), std::min(fSize, inAreas));
    fData = std::move(block);
    return this;
}

void TxDiskStream::AddCluster(int64_t aCluster, int32_t) {
    if (fChain && fChain->ItemCount > 0 && ChainContains(fChain, static_cast<uint32_t>(aCluster)))
        QRT_FAIL("WTF? Circular reference?");
    if (fData) {
        fData.reset();
        LoadData();
    }
}

void TxDiskStream::AddClusters(int32_t aCount, int32_t aFlag) {
    for (int32_t i = 0; i < aCount; ++i)
        AddCluster(-1, aFlag);
}

void TxDiskStream::ReservedOperation(int32_t, int32_t) {
    QRT_FAIL("UNIMPLEMENTED!!");
}

void* TxDiskStream::LockData() {
    QRT_ASSERT(fData != nullptr, "WTF?");
    ++fDataLocks;
    return fData.get();
}

void TxDiskStream::UnlockData() {
    --fDataLocks;
}

void TxDiskStream::CopyToStream(TStream& aDest) {
    aDest.Seek(0, soBeginning);
    if (fData) {
        aDest.WriteBuffer(fData.get(), fSize);
        return;
    }
    fUnreadable.clear();
    if (fSize > 0) {
        Seek(0, soBeginning);
        // A small file needs no buffer of the full piece size (a run may save many thousands).
        int64_t inAreas = fAreas.Empty() ? 0 : fAreas.Last().StreamOffset + fAreas.Last().Size;
        const int64_t bufferSize = std::max<int64_t>(1, std::min(CopyBufferSize, inAreas));
        std::vector<uint8_t> buffer(static_cast<size_t>(bufferSize));
        for (int32_t i = 0; i < fAreas.Length(); ++i) {
            Application().ProcessMessages();
            int64_t left = fAreas[i].Size;
            while (left > 0) {
                int64_t piece = std::min(left, bufferSize);
                ReadSalvaging(buffer.data(), piece);
                aDest.WriteBuffer(buffer.data(), piece);
                left -= piece;
            }
        }
    }
    aDest.SetSize(fSize);
}

void TxDiskStream::ReadSalvaging(uint8_t* aBuffer, int64_t aCount) {
    const int64_t bps = fDisk->fParams.BytesPerSector;
    QRT_ASSERT(bps > 0, "WTF?");
    int64_t done = 0;
    while (done < aCount) {
        done += Read(aBuffer + done, aCount - done);
        if (done >= aCount) break;
        // The device failed here (a bad sector, or the end of a shortened image): the rest of the
        // sector becomes zeros and the read resumes at the next one, so one bad sector costs one
        // sector of the file, not its whole remainder.
        int64_t position = fCurrent.StreamOffset;
        int64_t skip = std::min(aCount - done, bps - position % bps);
        std::memset(aBuffer + done, 0, static_cast<size_t>(skip));
        if (!fUnreadable.empty() && fUnreadable.back().Offset + fUnreadable.back().Length == position)
            fUnreadable.back().Length += skip;
        else
            fUnreadable.push_back({position, skip});
        Seek(skip, soCurrent);
        done += skip;
    }
}

int64_t TxDiskStream::UnreadableBytes() const {
    int64_t total = 0;
    for (const TxUnreadable& u : fUnreadable)
        total += u.Length;
    return total;
}

void TxDiskStream::SaveToFile(const std::string& aFileName) {
    if (fData) {
        if (aFileName.empty()) return;
        CreateFileStream(aFileName)->WriteBuffer(fData.get(), fSize);
        return;
    }
    auto file = CreateFileStream(aFileName);
    CopyToStream(*file);
}

TxFileSystem* TxDiskStream::GetFileSystem() {
    QRT_ASSERT(fDisk != nullptr, "WTF?");
    return fDisk->fFileSystem;
}

// --- disk areas -----------------------------------------------------------------------------------

void MakeSectorAreas(uint32_t aSector, int64_t aSize, TxDiskAreas& aAreas) {
    aAreas.SetLength(1);
    aAreas[0] = TxDiskArea{SectorAddress(static_cast<int32_t>(aSector)), aSize, 0};
}

void MakeSectorRunAreas(TxDiskAccessor* aDisk, uint32_t aSector, uint32_t aSectorCount, TxDiskAreas& aAreas) {
    QRT_ASSERT(aDisk != nullptr, "WTF?");
    MakeSectorAreas(aSector, int64_t{aSectorCount} * aDisk->fParams.BytesPerSector, aAreas);
}

void ChainToAreas(TxDiskAccessor* aDisk, const TxClusterChain* aChain, TxDiskAreas& aAreas) {
    aAreas.SetLength(0);
    if (!aChain || aChain->ItemCount <= 0) return;
    TxFileSystem* fs = MountedFileSystem(aDisk);
    aAreas.SetLength(aChain->ItemCount);
    int64_t bpc = int64_t{fs->fSectorsPerCluster} * aDisk->fParams.BytesPerSector;
    int64_t streamOffset = 0;
    int32_t used = 0;
    uint32_t previous = 0;
    for (int32_t i = 0; i < aChain->ItemCount; ++i) {
        uint32_t cluster = aChain->Clusters[static_cast<size_t>(i)];
        if (i > 0 && cluster == previous + 1) {
            aAreas[used - 1].Size += bpc;
        } else {
            aAreas[used++] = TxDiskArea{ClusterAddress(static_cast<int32_t>(cluster)), bpc, streamOffset};
        }
        streamOffset += bpc;
        previous = cluster;
    }
    aAreas.SetLength(used);
}

int32_t FindAreaAt(TxDiskAccessor* aDisk, const TxDiskAreas& aAreas, TxDiskArea& aArea, bool aToSectors,
                   int64_t aPosition) {
    QRT_ASSERT(!aAreas.Empty(), "WTF?");
    QRT_ASSERT(aDisk != nullptr, "WTF?");
    int64_t unit = 0;
    switch (aAreas[0].Address.Kind) {
    case akSector:
        unit = aDisk->fParams.BytesPerSector;
        aArea.Address.Kind = akSector;
        break;
    case akCluster:
        unit = MountedFileSystem(aDisk)->GetBytesPerCluster();
        aArea.Address.Kind = akCluster;
        break;
    default:
        QRT_FAIL("UNIMPLEMENTED!!");
    }
    for (int32_t i = aAreas.Length() - 1; i >= 0; --i) {
        const TxDiskArea& area = aAreas[i];
        if (area.StreamOffset > aPosition) continue;
        aArea = area;
        int64_t delta = aPosition - area.StreamOffset;
        if (aToSectors && area.Address.Kind == akCluster) {
            aDisk->ConvertAddress(akSector, aArea.Address, aArea.Address);
            unit = aDisk->fParams.BytesPerSector;
        }
        QRT_ASSERT(unit > 0, "WTF?");
        aArea.Size -= delta;
        aArea.Address.Number = static_cast<int32_t>(aArea.Address.Number + delta / unit);
        aArea.Address.Offset = static_cast<int32_t>(delta % unit);
        aArea.StreamOffset = aPosition;
        return i;
    }
    aArea.Size = -1;
    aArea.StreamOffset = -1;
    return -1;
}

PxClusterChain AreasToChain(TxDiskAccessor*, const TxDiskAreas&) {
    QRT_FAIL("UNIMPLEMENTED!!");
}

} // namespace qrt
