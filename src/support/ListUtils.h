#pragma once

#include "core/TObject.h"

#include <cstdint>
#include <span>

namespace qrt {

class TStream;
class TCustomList;

// Growth rule shared by the lists and their tag arrays (and reused by the disk layer): +8 slots up
// to 16, +32 up to 64, then a quarter more; never less than aNeeded. Unsigned 32-bit arithmetic.
uint32_t Grow(uint32_t aCurrent, uint32_t aNeeded);

// IndexOf's answer for an entry the list does not hold (callers test for a negative result).
inline constexpr int32_t kNotInList = INT32_MIN;

// Compares two entries for Sort; aData is passed through unchanged.
using TListSortCompare = int32_t (*)(void* aA, void* aB, intptr_t aData);

struct TListSorter;
// Compares the entries at two positions for SortBy.
using TListIndexCompare = int32_t (*)(int32_t aIndexA, int32_t aIndexB, const TListSorter& aSorter);

// Sorting by position: Compare looks the positions up in the companion list (which may be the sorted
// list itself). The companion is named twice, in List and ListCheck; both must be set and equal.
// Every exchange made on the sorted list is made on a distinct companion as well.
struct TListSorter {
    TListIndexCompare Compare = nullptr;
    TCustomList* List = nullptr;
    TCustomList* ListCheck = nullptr;
    intptr_t Data = 0; // free for the compare routine
};

// A growable flat array of references. Deleting an entry other than the last leaves a hole (a nil
// slot below Count) so the positions of the others stay valid; Pack squeezes holes out later.
// An owning list (OwnsItems) releases every entry that leaves it.
//
// The counters are public for reading: only the list itself changes Count, Capacity, HoleCount,
// TagCapacity and UpdateCount. Owner is free for the holder; the list never reads it.
class TCustomList : public TObject {
public:
    QRT_CLASSNAME(TCustomList)

    TCustomList(); // Capacity 8, OwnsItems set
    ~TCustomList() override;
    TCustomList(const TCustomList&) = delete;
    TCustomList& operator=(const TCustomList&) = delete;

    // Copies another list of any kind: Clear, then Union. Other sources raise EConvertError.
    virtual void Assign(const TObject* aSource);

    virtual int32_t GetTag(int32_t aIndex) const;
    virtual void SetTag(int32_t aIndex, int32_t aValue);
    // First position of the whole tag array holding aValue, else -1.
    virtual int32_t IndexOfTag(int32_t aValue) const;

    // Shrinking below Count releases the owned entries beyond the new capacity and lowers Count.
    virtual void SetCapacity(int32_t aCapacity);
    // Grows to Grow(Capacity, aNeeded) when Capacity < aNeeded; with AutoPack and many holes it
    // packs first.
    void EnsureCapacity(int32_t aNeeded);
    virtual void SetAutoPack(bool aAutoPack);
    virtual void Pack() = 0;

    // Only count the nesting depth.
    virtual void BeginUpdate();
    virtual void EndUpdate();

    // Streaming is not supported: both fail an assertion.
    virtual void LoadFromStream(TStream& aStream);
    virtual void SaveToStream(TStream& aStream);

    virtual void Delete(int32_t aIndex) = 0;
    virtual void DeleteRange(int32_t aIndex, int32_t aCount);
    // Releases every owned entry, highest position first, then frees the slots (Capacity 0).
    void Clear();

    virtual void Sort(TListSortCompare aCompare, intptr_t aData);
    virtual void SortBy(const TListSorter& aSorter);
    // Swaps two entries and, when a tag array exists, their tags (growing it to cover both).
    virtual void Exchange(int32_t aIndexA, int32_t aIndexB);
    virtual void Move(int32_t aOldIndex, int32_t aNewIndex);
    // aIndices strictly ascending. When the first is at or after aDest the entries go to aDest,
    // aDest + 1, ...; otherwise (all at or before aDest) the last lands at aDest, the others just
    // in front of it.
    virtual void MoveIndices(std::span<const int32_t> aIndices, int32_t aDest);

    // Set operations by identity, with a list of the same class; the abstract lists lack them.
    virtual void Intersect(const TCustomList& aOther);
    virtual void Subtract(const TCustomList& aOther);
    virtual void Union(const TCustomList& aOther);

    int32_t Capacity = 0;
    int32_t Count = 0;
    int32_t HoleCount = 0;
    TObject* Owner = nullptr;
    int32_t TagCapacity = 0;
    int32_t UpdateCount = 0;
    bool OwnsItems = true;
    bool AutoPack = false;

protected:
    // Releases the entries of aIndex..aIndex+aCount-1, highest first, emptying each slot before its
    // release. The base releases nothing.
    virtual void ReleaseRange(int32_t aIndex, int32_t aCount);

    // Untyped entry access behind the typed operations of the concrete lists.
    void* GetItem(int32_t aIndex, bool aCheckList, const char* aEmptyMessage) const;
    void PutItem(int32_t aIndex, void* aItem);
    int32_t AddItem(void* aItem);
    int32_t AddTaggedItem(void* aItem, int32_t aTag);
    void InsertItem(int32_t aIndex, void* aItem);
    int32_t IndexOfItem(const void* aItem) const;
    // Releases an owned entry, then empties its slot and counts the hole (also when the release raises).
    void DeleteItem(int32_t aIndex, const char* aInvalidMessage);

    void IntersectWith(const TCustomList& aOther);
    void SubtractFrom(const TCustomList& aOther);
    void UnionWith(const TCustomList& aOther);

    void** fList = nullptr;
    int32_t* Tags = nullptr;

private:
    void GrowTo(int32_t aNeeded);
    void EnsureTags(int32_t aNeeded);
    void ResizeList(int32_t aCapacity);
    template <typename TCompare, typename TExchange>
    void QuickSort(int32_t aLeft, int32_t aRight, TCompare& aCompare, TExchange& aExchange);
};

// Adds the hole bookkeeping: Pack, range deletion that leaves holes, Extract.
class TCustomLooseList : public TCustomList {
public:
    QRT_CLASSNAME(TCustomLooseList)

    void Pack() override;
    void DeleteRange(int32_t aIndex, int32_t aCount) override;
    // Empties a slot without releasing its entry; returns the entry (nullptr for a hole).
    virtual void* Extract(int32_t aIndex);
};

// Entries are raw memory blocks; an owned entry is released by OnRelease when set (and nothing
// more), otherwise returned with std::free.
class TPointerList : public TCustomLooseList {
public:
    QRT_CLASSNAME(TPointerList)

    ~TPointerList() override;

    void* Get(int32_t aIndex) const;
    void Put(int32_t aIndex, void* aItem);
    int32_t Add(void* aItem);
    int32_t AddTagged(void* aItem, int32_t aTag);
    void Insert(int32_t aIndex, void* aItem);
    int32_t IndexOf(const void* aItem) const;

    void Assign(const TObject* aSource) override;
    void Delete(int32_t aIndex) override;
    void Intersect(const TCustomList& aOther) override;
    void Subtract(const TCustomList& aOther) override;
    void Union(const TCustomList& aOther) override;

    void (*OnRelease)(void* aItem) = nullptr;

protected:
    void ReleaseRange(int32_t aIndex, int32_t aCount) override;
};

// Entries are objects; an owned entry is destroyed.
class TObjectList : public TCustomLooseList {
public:
    QRT_CLASSNAME(TObjectList)

    ~TObjectList() override;

    TObject* Get(int32_t aIndex) const;
    void Put(int32_t aIndex, TObject* aItem);
    int32_t Add(TObject* aItem);
    int32_t AddTagged(TObject* aItem, int32_t aTag);
    void Insert(int32_t aIndex, TObject* aItem);
    int32_t IndexOf(const TObject* aItem) const;

    void Assign(const TObject* aSource) override;
    void Delete(int32_t aIndex) override;
    void Intersect(const TCustomList& aOther) override;
    void Subtract(const TCustomList& aOther) override;
    void Union(const TCustomList& aOther) override;

protected:
    void ReleaseRange(int32_t aIndex, int32_t aCount) override;
};

// Entries are class-objects (registries of creatable classes); they are never released.
class TClassList : public TCustomLooseList {
public:
    QRT_CLASSNAME(TClassList)

    const void* Get(int32_t aIndex) const;
    void Put(int32_t aIndex, const void* aItem);
    int32_t Add(const void* aItem);
    int32_t AddTagged(const void* aItem, int32_t aTag);
    void Insert(int32_t aIndex, const void* aItem);
    int32_t IndexOf(const void* aItem) const;

    // From another class list: a slot-for-slot copy, holes included.
    void Assign(const TObject* aSource) override;
    void Delete(int32_t aIndex) override;
    void Intersect(const TCustomList& aOther) override;
    void Subtract(const TCustomList& aOther) override;
    void Union(const TCustomList& aOther) override;
};

} // namespace qrt
