#include "support/ListUtils.h"

#include "core/Assert.h"
#include "core/Exceptions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>

QRT_UNIT("Structs\\ListUtils")

namespace qrt {

uint32_t Grow(uint32_t aCurrent, uint32_t aNeeded) {
    uint32_t result;
    if (aCurrent <= 16)
        result = aCurrent + 8;
    else if (aCurrent <= 64)
        result = aCurrent + 32;
    else
        result = aCurrent + aCurrent / 4;
    return result < aNeeded ? aNeeded : result;
}

namespace {

// Grow for int32 counters; a result beyond the int32 range is cut back to it.
int32_t GrowSlots(int32_t aCurrent, int32_t aNeeded) {
    uint32_t grown = Grow(static_cast<uint32_t>(aCurrent), static_cast<uint32_t>(aNeeded));
    return static_cast<int32_t>(std::min<uint32_t>(grown, INT32_MAX));
}

// realloc with zero-filled new slots; nullptr for an empty array.
template <typename T> T* ResizeArray(T* aArray, int32_t aOldCount, int32_t aNewCount) {
    if (aNewCount == 0) {
        std::free(aArray);
        return nullptr;
    }
    auto* result = static_cast<T*>(std::realloc(aArray, static_cast<size_t>(aNewCount) * sizeof(T)));
    if (result == nullptr) throw std::bad_alloc();
    if (aNewCount > aOldCount)
        std::memset(result + aOldCount, 0, static_cast<size_t>(aNewCount - aOldCount) * sizeof(T));
    return result;
}

} // namespace

// ---- TCustomList: lifetime and settings ----

TCustomList::TCustomList() {
    EnsureCapacity(1);
}

TCustomList::~TCustomList() {
    // The concrete lists clear themselves while their release is still reachable.
    Clear();
    std::free(fList);
    std::free(Tags);
}

void TCustomList::Assign(const TObject* aSource) {
    if (auto* source = dynamic_cast<const TCustomList*>(aSource)) {
        if (source == this) return;
        Clear();
        Union(*source);
        return;
    }
    throw EConvertError(std::string("Cannot assign a ") + (aSource ? aSource->ClassName() : "nil") +
                        " to a " + ClassName());
}

void TCustomList::ResizeList(int32_t aCapacity) {
    fList = ResizeArray(fList, Capacity, aCapacity);
    Capacity = aCapacity;
}

void TCustomList::SetCapacity(int32_t aCapacity) {
    if (aCapacity == Capacity) return;
    QRT_ASSERT(fList != nullptr || Capacity == 0, "WTF?");
    QRT_ASSERT(aCapacity >= 0, "WTF?");
    if (aCapacity < Count) {
        if (OwnsItems) ReleaseRange(aCapacity, Count - aCapacity);
        Count = aCapacity;
        HoleCount = std::min(HoleCount, Count);
    }
    ResizeList(aCapacity);
}

void TCustomList::EnsureCapacity(int32_t aNeeded) {
    if (Capacity >= aNeeded) return;
    if (AutoPack && HoleCount > 15 && Capacity < 4 * HoleCount) Pack();
    SetCapacity(GrowSlots(Capacity, aNeeded));
}

// Grows without packing: Insert must keep the positions its caller computed.
void TCustomList::GrowTo(int32_t aNeeded) {
    if (Capacity < aNeeded) SetCapacity(GrowSlots(Capacity, aNeeded));
}

void TCustomList::SetAutoPack(bool aAutoPack) {
    if (aAutoPack == AutoPack) return;
    AutoPack = aAutoPack;
    if (AutoPack) Pack();
}

void TCustomList::BeginUpdate() {
    ++UpdateCount;
}

void TCustomList::EndUpdate() {
    QRT_ASSERT(UpdateCount > 0, "Unmatched BeginUpdate & EndUpdate!!");
    --UpdateCount;
}

void TCustomList::LoadFromStream(TStream&) {
    QRT_FAIL("$DEFINEd NoListStreaming!!");
}

void TCustomList::SaveToStream(TStream&) {
    QRT_FAIL("$DEFINEd NoListStreaming!!");
}

void TCustomList::ReleaseRange(int32_t, int32_t) {}

// ---- TCustomList: tags ----

void TCustomList::EnsureTags(int32_t aNeeded) {
    if (TagCapacity >= aNeeded) return;
    int32_t capacity = GrowSlots(TagCapacity, aNeeded);
    Tags = ResizeArray(Tags, TagCapacity, capacity);
    TagCapacity = capacity;
}

int32_t TCustomList::GetTag(int32_t aIndex) const {
    return aIndex >= 0 && aIndex < TagCapacity ? Tags[aIndex] : 0;
}

void TCustomList::SetTag(int32_t aIndex, int32_t aValue) {
    QRT_ASSERT(aIndex >= 0, "WTF?");
    EnsureTags(aIndex + 1);
    Tags[aIndex] = aValue;
}

int32_t TCustomList::IndexOfTag(int32_t aValue) const {
    for (int32_t i = 0; i < TagCapacity; ++i)
        if (Tags[i] == aValue) return i;
    return -1;
}

// ---- TCustomList: entries ----

void* TCustomList::GetItem(int32_t aIndex, bool aCheckList, const char* aEmptyMessage) const {
    if (aCheckList) QRT_ASSERT(fList != nullptr, "WTF? fList = NIL!!");
    QRT_ASSERT(Count > 0, aEmptyMessage);
    QRT_ASSERT(aIndex >= 0, "anIndex out of range!!");
    QRT_ASSERT(aIndex < Count, "Index out of range!!");
    return fList[aIndex];
}

void TCustomList::PutItem(int32_t aIndex, void* aItem) {
    QRT_ASSERT(fList != nullptr, "WTF? fList = NIL!!");
    QRT_ASSERT(aIndex >= 0, "WTF?");
    QRT_ASSERT(aIndex < Capacity, "Index out of range!!");
    if (aIndex >= Count) {
        QRT_ASSERT(aItem != nullptr, "WTF?");
        Count = aIndex + 1;
    }
    fList[aIndex] = aItem;
}

int32_t TCustomList::AddItem(void* aItem) {
    EnsureCapacity(Count + 1);
    fList[Count] = aItem;
    return Count++;
}

int32_t TCustomList::AddTaggedItem(void* aItem, int32_t aTag) {
    int32_t index = AddItem(aItem);
    SetTag(index, aTag);
    return index;
}

void TCustomList::InsertItem(int32_t aIndex, void* aItem) {
    QRT_ASSERT(aIndex >= 0, "WTF?");
    if (aIndex >= Count) {
        GrowTo(aIndex + 1);
        Count = aIndex + 1;
    } else if (fList[aIndex] != nullptr) {
        GrowTo(Count + 1);
        std::memmove(fList + aIndex + 1, fList + aIndex, static_cast<size_t>(Count - aIndex) * sizeof(void*));
        ++Count;
    }
    fList[aIndex] = aItem;
}

int32_t TCustomList::IndexOfItem(const void* aItem) const {
    for (int32_t i = 0; i < Count; ++i)
        if (fList[i] == aItem) return i;
    return kNotInList;
}

void TCustomList::DeleteItem(int32_t aIndex, const char* aInvalidMessage) {
    QRT_ASSERT(aIndex >= 0 && aIndex < Count, aInvalidMessage);
    if (fList[aIndex] == nullptr) {
        ++HoleCount;
        return;
    }
    // Whatever the release does, even raising, the slot is emptied and counted afterwards.
    struct EmptySlot {
        TCustomList& List;
        int32_t Index;
        ~EmptySlot() {
            List.fList[Index] = nullptr;
            if (Index == List.Count - 1)
                --List.Count;
            else
                ++List.HoleCount;
        }
    } emptySlot{*this, aIndex};
    if (OwnsItems) ReleaseRange(aIndex, 1);
}

void TCustomList::DeleteRange(int32_t aIndex, int32_t aCount) {
    QRT_ASSERT(aIndex >= 0 && aCount >= 0 && aIndex + aCount - 1 < Count, "Invalid index!!");
    for (int32_t i = aIndex + aCount - 1; i >= aIndex; --i)
        Delete(i);
}

void TCustomList::Clear() {
    if (Count <= 0) return;
    if (OwnsItems) ReleaseRange(0, Count);
    Count = 0;
    HoleCount = 0;
    SetCapacity(0);
}

// ---- TCustomList: reordering ----

// Hoare partitioning with the pivot tracked by position, so it follows its entry through the
// exchanges. The scans are bounded by the range, so an inconsistent comparison cannot run off it.
template <typename TCompare, typename TExchange>
void TCustomList::QuickSort(int32_t aLeft, int32_t aRight, TCompare& aCompare, TExchange& aExchange) {
    int32_t i;
    do {
        i = aLeft;
        int32_t j = aRight;
        auto p = static_cast<int32_t>((static_cast<uint32_t>(aLeft) + static_cast<uint32_t>(aRight)) >> 1);
        do {
            while (i < aRight && aCompare(i, p) < 0)
                ++i;
            while (j > aLeft && aCompare(j, p) > 0)
                --j;
            if (i <= j) {
                aExchange(i, j);
                if (p == i)
                    p = j;
                else if (p == j)
                    p = i;
                ++i;
                --j;
            }
        } while (i <= j);
        if (aLeft < j) QuickSort(aLeft, j, aCompare, aExchange);
        aLeft = i;
    } while (i < aRight);
}

void TCustomList::Sort(TListSortCompare aCompare, intptr_t aData) {
    QRT_ASSERT(aCompare != nullptr, "WTF?");
    if (Count <= 0) return;
    auto compare = [&](int32_t a, int32_t b) { return aCompare(fList[a], fList[b], aData); };
    auto exchange = [&](int32_t a, int32_t b) { Exchange(a, b); };
    QuickSort(0, Count - 1, compare, exchange);
}

void TCustomList::SortBy(const TListSorter& aSorter) {
    QRT_ASSERT(aSorter.Compare != nullptr, "WTF?");
    QRT_ASSERT(aSorter.List != nullptr && aSorter.List == aSorter.ListCheck, "WTF?");
    if (Count <= 0) return;
    TCustomList* companion = aSorter.List;
    auto compare = [&](int32_t a, int32_t b) { return aSorter.Compare(a, b, aSorter); };
    auto exchange = [&](int32_t a, int32_t b) {
        Exchange(a, b);
        if (companion != this) companion->Exchange(a, b);
    };
    QuickSort(0, Count - 1, compare, exchange);
}

void TCustomList::Exchange(int32_t aIndexA, int32_t aIndexB) {
    QRT_ASSERT(aIndexA >= 0 && aIndexA < Count && aIndexB >= 0 && aIndexB < Count, "WTF?");
    std::swap(fList[aIndexA], fList[aIndexB]);
    if (Tags != nullptr) {
        EnsureTags(std::max(aIndexA, aIndexB) + 1);
        std::swap(Tags[aIndexA], Tags[aIndexB]);
    }
}

void TCustomList::Move(int32_t aOldIndex, int32_t aNewIndex) {
    QRT_ASSERT(aOldIndex != aNewIndex, "WTF? (wIndxOld = wIndxNew!!)");
    QRT_ASSERT(aOldIndex >= 0 && aOldIndex < Count && aNewIndex >= 0 && aNewIndex < Count, "WTF?");
    void* item = fList[aOldIndex];
    QRT_ASSERT(item != nullptr, "WTF? (fList[" + std::to_string(aOldIndex) + "] = NIL!!)");
    if (aOldIndex < aNewIndex)
        std::memmove(fList + aOldIndex, fList + aOldIndex + 1,
                     static_cast<size_t>(aNewIndex - aOldIndex) * sizeof(void*));
    else
        std::memmove(fList + aNewIndex + 1, fList + aNewIndex,
                     static_cast<size_t>(aOldIndex - aNewIndex) * sizeof(void*));
    fList[aNewIndex] = item;
}

void TCustomList::MoveIndices(std::span<const int32_t> aIndices, int32_t aDest) {
    for (size_t k = 1; k < aIndices.size(); ++k)
        QRT_ASSERT(aIndices[k - 1] < aIndices[k], "WTF? (Indices is not ordered!!)");
    if (aIndices.empty()) return;
    auto n = static_cast<int32_t>(aIndices.size());
    if (aIndices.front() >= aDest) {
        // Moving an entry down shifts only positions below it, so the later ones stay valid.
        for (int32_t k = 0; k < n; ++k)
            if (aIndices[k] != aDest + k) Move(aIndices[k], aDest + k);
    } else {
        // Positions on both sides of aDest would leave no place for the block to end at aDest.
        QRT_ASSERT(aIndices.back() <= aDest, "WTF?");
        for (int32_t k = n - 1; k >= 0; --k)
            if (aIndices[k] != aDest - (n - 1 - k)) Move(aIndices[k], aDest - (n - 1 - k));
    }
}

// ---- TCustomList: set operations ----

void TCustomList::Intersect(const TCustomList&) {
    QRT_FAIL("N/A!!");
}

void TCustomList::Subtract(const TCustomList&) {
    QRT_FAIL("N/A!!");
}

void TCustomList::Union(const TCustomList&) {
    QRT_FAIL("N/A!!");
}

void TCustomList::IntersectWith(const TCustomList& aOther) {
    for (int32_t i = Count - 1; i >= 0; --i)
        if (aOther.IndexOfItem(fList[i]) < 0) Delete(i);
}

void TCustomList::SubtractFrom(const TCustomList& aOther) {
    for (int32_t k = 0; k < aOther.Count; ++k) {
        void* item = aOther.fList[k];
        if (item == nullptr) continue;
        for (int32_t i = 0; i < Count; ++i)
            if (fList[i] == item) Delete(i);
    }
}

// Holes of the other list are not entries and are not copied.
void TCustomList::UnionWith(const TCustomList& aOther) {
    for (int32_t k = 0; k < aOther.Count; ++k) {
        void* item = aOther.fList[k];
        if (item == nullptr || IndexOfItem(item) >= 0) continue;
        if (aOther.Tags != nullptr)
            AddTaggedItem(item, aOther.GetTag(k));
        else
            AddItem(item);
    }
}

// ---- TCustomLooseList ----

void TCustomLooseList::Pack() {
    if (HoleCount == 0) return;
    int32_t write = 0;
    while (write < Count && fList[write] != nullptr)
        ++write;
    int32_t read = write;
    for (;;) {
        while (read < Count && fList[read] == nullptr)
            ++read;
        if (read >= Count) break;
        int32_t end = read;
        while (end < Count && fList[end] != nullptr)
            ++end;
        QRT_ASSERT(end - read >= 1, "WTF?");
        std::memmove(fList + write, fList + read, static_cast<size_t>(end - read) * sizeof(void*));
        write += end - read;
        read = end;
    }
    if (write < Count) std::memset(fList + write, 0, static_cast<size_t>(Count - write) * sizeof(void*));
    Count = write;
    HoleCount = 0;
}

void TCustomLooseList::DeleteRange(int32_t aIndex, int32_t aCount) {
    QRT_ASSERT(aIndex >= 0 && aCount >= 0 && aIndex + aCount - 1 < Count, "Invalid index!!");
    if (OwnsItems) ReleaseRange(aIndex, aCount);
    std::memset(fList + aIndex, 0, static_cast<size_t>(aCount) * sizeof(void*));
    if (aIndex + aCount == Count)
        Count -= aCount;
    else
        HoleCount += aCount;
}

void* TCustomLooseList::Extract(int32_t aIndex) {
    QRT_ASSERT(aIndex >= 0 && aIndex < Count, "WTF?");
    void* item = fList[aIndex];
    if (item == nullptr) return nullptr;
    fList[aIndex] = nullptr;
    if (aIndex == Count - 1)
        --Count;
    else
        ++HoleCount;
    return item;
}

// ---- TPointerList ----

TPointerList::~TPointerList() {
    Clear();
}

void* TPointerList::Get(int32_t aIndex) const {
    return GetItem(aIndex, false, "List is EMPTY!!");
}

void TPointerList::Put(int32_t aIndex, void* aItem) {
    PutItem(aIndex, aItem);
}

int32_t TPointerList::Add(void* aItem) {
    return AddItem(aItem);
}

int32_t TPointerList::AddTagged(void* aItem, int32_t aTag) {
    return AddTaggedItem(aItem, aTag);
}

void TPointerList::Insert(int32_t aIndex, void* aItem) {
    InsertItem(aIndex, aItem);
}

int32_t TPointerList::IndexOf(const void* aItem) const {
    return IndexOfItem(aItem);
}

void TPointerList::Assign(const TObject* aSource) {
    if (dynamic_cast<const TPointerList*>(aSource) != nullptr) QRT_FAIL("UNFINISHED!!");
    TCustomList::Assign(aSource);
}

void TPointerList::Delete(int32_t aIndex) {
    DeleteItem(aIndex, "Invalid Index!!");
}

void TPointerList::Intersect(const TCustomList& aOther) {
    QRT_ASSERT(dynamic_cast<const TPointerList*>(&aOther) != nullptr, "WTF?");
    IntersectWith(aOther);
}

void TPointerList::Subtract(const TCustomList& aOther) {
    QRT_ASSERT(dynamic_cast<const TPointerList*>(&aOther) != nullptr, "WTF?");
    SubtractFrom(aOther);
}

void TPointerList::Union(const TCustomList& aOther) {
    QRT_ASSERT(dynamic_cast<const TPointerList*>(&aOther) != nullptr, "WTF?");
    UnionWith(aOther);
}

void TPointerList::ReleaseRange(int32_t aIndex, int32_t aCount) {
    QRT_ASSERT(aIndex >= 0 && aCount >= 0 && aIndex + aCount <= Count, "WTF?");
    for (int32_t i = aIndex + aCount - 1; i >= aIndex; --i) {
        void* item = std::exchange(fList[i], nullptr);
        if (item == nullptr) continue;
        if (OnRelease != nullptr)
            OnRelease(item);
        else
            std::free(item);
    }
}

// ---- TObjectList ----

TObjectList::~TObjectList() {
    Clear();
}

TObject* TObjectList::Get(int32_t aIndex) const {
    return static_cast<TObject*>(GetItem(aIndex, true, "fList is EMPTY!!"));
}

void TObjectList::Put(int32_t aIndex, TObject* aItem) {
    PutItem(aIndex, aItem);
}

int32_t TObjectList::Add(TObject* aItem) {
    return AddItem(aItem);
}

int32_t TObjectList::AddTagged(TObject* aItem, int32_t aTag) {
    return AddTaggedItem(aItem, aTag);
}

void TObjectList::Insert(int32_t aIndex, TObject* aItem) {
    InsertItem(aIndex, aItem);
}

int32_t TObjectList::IndexOf(const TObject* aItem) const {
    return IndexOfItem(aItem);
}

void TObjectList::Assign(const TObject* aSource) {
    if (dynamic_cast<const TObjectList*>(aSource) != nullptr) QRT_FAIL("UNFINISHED!!");
    TCustomList::Assign(aSource);
}

void TObjectList::Delete(int32_t aIndex) {
    DeleteItem(aIndex, "Invalid index!!");
}

void TObjectList::Intersect(const TCustomList& aOther) {
    QRT_ASSERT(dynamic_cast<const TObjectList*>(&aOther) != nullptr, "WTF?");
    IntersectWith(aOther);
}

void TObjectList::Subtract(const TCustomList& aOther) {
    QRT_ASSERT(dynamic_cast<const TObjectList*>(&aOther) != nullptr, "WTF?");
    SubtractFrom(aOther);
}

void TObjectList::Union(const TCustomList& aOther) {
    QRT_ASSERT(dynamic_cast<const TObjectList*>(&aOther) != nullptr, "WTF?");
    UnionWith(aOther);
}

void TObjectList::ReleaseRange(int32_t aIndex, int32_t aCount) {
    QRT_ASSERT(aIndex >= 0 && aCount >= 0 && aIndex + aCount <= Count, "WTF?");
    for (int32_t i = aIndex + aCount - 1; i >= aIndex; --i)
        delete static_cast<TObject*>(std::exchange(fList[i], nullptr));
}

// ---- TClassList ----

const void* TClassList::Get(int32_t aIndex) const {
    return GetItem(aIndex, true, "fList is EMPTY!!");
}

void TClassList::Put(int32_t aIndex, const void* aItem) {
    PutItem(aIndex, const_cast<void*>(aItem));
}

int32_t TClassList::Add(const void* aItem) {
    return AddItem(const_cast<void*>(aItem));
}

int32_t TClassList::AddTagged(const void* aItem, int32_t aTag) {
    return AddTaggedItem(const_cast<void*>(aItem), aTag);
}

void TClassList::Insert(int32_t aIndex, const void* aItem) {
    InsertItem(aIndex, const_cast<void*>(aItem));
}

int32_t TClassList::IndexOf(const void* aItem) const {
    return IndexOfItem(aItem);
}

void TClassList::Assign(const TObject* aSource) {
    auto* source = dynamic_cast<const TClassList*>(aSource);
    if (source == nullptr) {
        TCustomList::Assign(aSource);
        return;
    }
    if (source == this) return;
    Clear();
    EnsureCapacity(source->Count);
    // Slot for slot, so holes stay holes (a trailing hole included).
    if (source->Count > 0)
        std::memcpy(fList, source->fList, static_cast<size_t>(source->Count) * sizeof(void*));
    Count = source->Count;
    HoleCount = source->HoleCount;
}

void TClassList::Delete(int32_t aIndex) {
    DeleteItem(aIndex, "Invalid index!!");
}

void TClassList::Intersect(const TCustomList& aOther) {
    QRT_ASSERT(dynamic_cast<const TClassList*>(&aOther) != nullptr, "WTF?");
    IntersectWith(aOther);
}

void TClassList::Subtract(const TCustomList& aOther) {
    QRT_ASSERT(dynamic_cast<const TClassList*>(&aOther) != nullptr, "WTF?");
    SubtractFrom(aOther);
}

void TClassList::Union(const TCustomList& aOther) {
    QRT_ASSERT(dynamic_cast<const TClassList*>(&aOther) != nullptr, "WTF?");
    UnionWith(aOther);
}

} // namespace qrt
