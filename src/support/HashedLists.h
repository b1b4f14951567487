#pragma once

#include "core/TObject.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qrt {

// Hash of a byte string: Paul Hsieh's SuperFastHash (0 for an empty text).
uint32_t SuperFastHash(const char* aData, uint32_t aLength);

using THashFunction = uint32_t (*)(const char* aData, uint32_t aLength);

struct TNamedItemData {
    std::string Name;
    TObject* Object = nullptr;
};

// Map from names to objects with chained hashing. Each bucket holds a row of items; new items are
// appended to their row. The map can be linearized: frozen into an array (buckets in ascending
// order, within a bucket the most recently appended item first) for access by index; while it is
// linearized it cannot be changed.
class TCustomHashedList : public TObject {
public:
    QRT_CLASSNAME(TCustomHashedList)

    // Receives UserData, the item's object slot, its name, Value and the continue flag (true on
    // entry to each bucket); clearing the flag ends the walk.
    using TForEachCallback = std::function<void(void* aUserData, TObject*& aObject, const std::string& aName,
                                                void* aValue, bool& aContinue)>;
    // Gives the linear position (0..Count-1) of an item; aNextIndex is where it would go otherwise.
    using TGetItemOrderEvent =
        std::function<int32_t(const std::string& aName, TObject* aObject, int32_t aNextIndex)>;

    // aHashSizeSpec: 0 leaves the map unsized, a negative value gives exactly -aHashSizeSpec buckets,
    // a positive one the smallest prime not below it.
    TCustomHashedList(int32_t aHashSizeSpec, bool aCaseSensitive);
    ~TCustomHashedList() override;
    TCustomHashedList(const TCustomHashedList&) = delete;
    TCustomHashedList& operator=(const TCustomHashedList&) = delete;

    void SetHashSize(int32_t aHashSizeSpec);
    virtual void SetExpectedCount(int32_t aCount);
    virtual void SetHashFunction(THashFunction aFunction);
    virtual void SetOwnsObjects(bool aOwnsObjects) { fOwnsObjects = aOwnsObjects; }

    // Sets the object of a name (releasing a different object held before); a nil object removes it.
    void Add(const std::string& aName, TObject* aObject);
    TObject* Find(const std::string& aName);
    virtual void Remove(const std::string& aName);
    virtual void Clear();
    virtual void ForEach(void* aValue, const TForEachCallback& aCallback, void* aUserData);

    void Linearize(bool aWithNames = false);
    void Unlinearize();
    bool IsLinearized() const { return fLinear != nullptr; }
    TObject* GetLinear(int32_t aIndex) const;
    // Only when linearized with names.
    const std::string& GetLinearName(int32_t aIndex) const;

    int32_t Count() const { return fCount; }
    int32_t HashSize() const { return fHashSize; }
    bool CaseSensitive() const { return fCaseSensitive; }
    bool OwnsObjects() const { return fOwnsObjects; }
    int32_t LinearizeDepth() const { return fLinearizeDepth; }
    int32_t MaxReportedRowLength() const { return fMaxReportedRowLength; }
    THashFunction HashFunction() const { return fHashFunction; }
    // Number of items in the bucket a name falls into.
    int32_t RowLength(const std::string& aName);

    TGetItemOrderEvent OnGetItemOrder;

protected:
    // Called for every object that leaves the map; the base class leaves it alone.
    virtual void ReleaseObject(TObject*& aObject);

private:
    struct TItemRow {
        std::vector<TNamedItemData> Items;
    };

    std::string KeyOf(const std::string& aName) const;
    uint32_t BucketOf(const std::string& aKey) const;
    TItemRow* RowOf(const std::string& aKey, bool aCreate);
    TNamedItemData& AllocItemInRow(TItemRow& aRow, const std::string& aKey);
    void CheckNotLinearized() const;
    void CheckIndex(int32_t aIndex) const;

    int32_t fHashSize = 0;
    int32_t fCount = 0;
    std::vector<std::unique_ptr<TItemRow>> fBuckets;
    int32_t fMaxReportedRowLength = 0;
    THashFunction fHashFunction = SuperFastHash;
    int32_t fLinearizeDepth = 0;
    std::unique_ptr<std::vector<TObject*>> fLinear;
    std::unique_ptr<std::vector<std::string>> fLinearNames;
    bool fCaseSensitive;
    bool fOwnsObjects = false;
};

// A hashed map that destroys the objects leaving it when OwnsObjects is set.
class TNamedObjectList : public TCustomHashedList {
public:
    QRT_CLASSNAME(TNamedObjectList)

    using TCustomHashedList::TCustomHashedList;
    ~TNamedObjectList() override;

protected:
    void ReleaseObject(TObject*& aObject) override;
};

} // namespace qrt
