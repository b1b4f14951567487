#include "support/HashedLists.h"

#include "core/Assert.h"
#include "core/Debug.h"

#include <limits>

QRT_UNIT("Structs\\HashedLists")

namespace qrt {

namespace {

constexpr int32_t kMaxHashSize = 863595769;
constexpr size_t kMaxRowLength = 1048575;
// Rows longer than this are worth a note on the debug output.
constexpr int32_t kCrowdedRowLength = 10;

inline uint32_t Word16(const char* p) {
    return static_cast<uint32_t>(static_cast<uint8_t>(p[0])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8);
}

bool IsPrime(int32_t n) {
    if (n < 2) return false;
    if (n % 2 == 0) return n == 2;
    for (int32_t d = 3; d <= n / d; d += 2)
        if (n % d == 0) return false;
    return true;
}

// Room for 4 items, then multiples of 8.
size_t RowCapacityFor(size_t aCount) {
    return aCount <= 4 ? 4 : (aCount + 7) / 8 * 8;
}

} // namespace

uint32_t SuperFastHash(const char* aData, uint32_t aLength) {
    if (aData == nullptr || aLength == 0) return 0;
    uint32_t hash = aLength;
    uint32_t rem = aLength & 3;
    for (uint32_t n = aLength >> 2; n > 0; --n, aData += 4) {
        hash += Word16(aData);
        uint32_t temp = (Word16(aData + 2) << 11) ^ hash;
        hash = (hash << 16) ^ temp;
        hash += hash >> 11;
    }
    switch (rem) {
    case 3:
        hash += Word16(aData);
        hash ^= hash << 16;
        hash ^= static_cast<uint32_t>(static_cast<uint8_t>(aData[2])) << 18;
        hash += hash >> 11;
        break;
    case 2:
        hash += Word16(aData);
        hash ^= hash << 11;
        hash += hash >> 17;
        break;
    case 1:
        hash += static_cast<uint8_t>(aData[0]);
        hash ^= hash << 10;
        hash += hash >> 1;
        break;
    }
    hash ^= hash << 3;
    hash += hash >> 5;
    hash ^= hash << 4;
    hash += hash >> 17;
    hash ^= hash << 25;
    hash += hash >> 6;
    return hash;
}

// --- TCustomHashedList -----------------------------------------------------------------------------

TCustomHashedList::TCustomHashedList(int32_t aHashSizeSpec, bool aCaseSensitive)
    : fCaseSensitive(aCaseSensitive) {
    SetHashSize(aHashSizeSpec);
}

TCustomHashedList::~TCustomHashedList() {
    // Derived classes that own their objects clear themselves first; this only frees the rows.
    Clear();
    fBuckets.clear();
    fHashSize = 0;
}

void TCustomHashedList::SetHashSize(int32_t aHashSizeSpec) {
    QRT_ASSERT(aHashSizeSpec != 1 && aHashSizeSpec != -1 &&
                   aHashSizeSpec != std::numeric_limits<int32_t>::min(),
               "WTF?");
    QRT_ASSERT(fCount == 0, "Resizing after allocation is NOT IMPLEMENTED!!");
    int32_t size = 0;
    if (aHashSizeSpec < 0) {
        size = -aHashSizeSpec;
    } else if (aHashSizeSpec > 0) {
        QRT_ASSERT(aHashSizeSpec <= kMaxHashSize, "UNFINISHED!!");
        size = aHashSizeSpec;
        while (!IsPrime(size))
            ++size;
    }
    fBuckets.clear();
    fBuckets.resize(static_cast<size_t>(size));
    fHashSize = size;
}

void TCustomHashedList::SetExpectedCount(int32_t aCount) {
    QRT_ASSERT(fCount == 0 && aCount != 0, "WTF?");
    int64_t spec = aCount;
    if (spec > 0) spec += spec / 2;
    if (spec <= 16) spec = -17;
    if (spec > std::numeric_limits<int32_t>::max()) spec = std::numeric_limits<int32_t>::max();
    int64_t wanted = spec < 0 ? -spec : spec;
    if (fHashSize < wanted || fHashSize > 2 * wanted) SetHashSize(static_cast<int32_t>(spec));
}

void TCustomHashedList::SetHashFunction(THashFunction aFunction) {
    QRT_ASSERT(fCount == 0 && aFunction != nullptr, "WTF?");
    fHashFunction = aFunction;
}

std::string TCustomHashedList::KeyOf(const std::string& aName) const {
    if (fCaseSensitive) return aName;
    std::string key = aName;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

uint32_t TCustomHashedList::BucketOf(const std::string& aKey) const {
    QRT_ASSERT(fHashSize != 0, "HashedList.SetHashSize not called?");
    return fHashFunction(aKey.data(), static_cast<uint32_t>(aKey.size())) % static_cast<uint32_t>(fHashSize);
}

TCustomHashedList::TItemRow* TCustomHashedList::RowOf(const std::string& aKey, bool aCreate) {
    uint32_t bucket = BucketOf(aKey);
    QRT_ASSERT(bucket < fBuckets.size(), "SetHashSize has not been called?");
    auto& row = fBuckets[bucket];
    if (!row && aCreate) row = std::make_unique<TItemRow>();
    return row.get();
}

TNamedItemData& TCustomHashedList::AllocItemInRow(TItemRow& aRow, const std::string& aKey) {
    auto& items = aRow.Items;
    if (items.size() > static_cast<size_t>(kCrowdedRowLength))
        OutputDebugString(std::string("HashedLists.") + ClassName() +
                          ".AllocItemInRow::CrowdedHashedList (HashSize: " + std::to_string(fHashSize) +
                          ", ItemRow.lCount=" + std::to_string(items.size()) + ")");
    for (auto& item : items)
        if (item.Name == aKey) return item;

    QRT_ASSERT(items.size() < kMaxRowLength, "WTF?");
    if (items.size() == items.capacity()) items.reserve(RowCapacityFor(items.size() + 1));
    items.push_back(TNamedItemData{aKey, nullptr});
    ++fCount;
    int32_t length = static_cast<int32_t>(items.size());
    if (length > fMaxReportedRowLength + kCrowdedRowLength) {
        OutputDebugString(std::string("HashedLists.") + ClassName() + ".MaxItemRowCount: ~" +
                          std::to_string(length));
        fMaxReportedRowLength = length;
    }
    return items.back();
}

void TCustomHashedList::CheckNotLinearized() const {
    QRT_ASSERT(!IsLinearized(), "Can't modify list while LINEARIZED!!");
}

void TCustomHashedList::Add(const std::string& aName, TObject* aObject) {
    CheckNotLinearized();
    QRT_ASSERT(!aName.empty(), "WTF? aName = \"\"!!");
    if (aObject == nullptr) {
        Remove(aName);
        return;
    }
    std::string key = KeyOf(aName);
    TNamedItemData& item = AllocItemInRow(*RowOf(key, true), key);
    if (item.Object != aObject) {
        TObject* old = item.Object;
        item.Object = aObject;
        if (old) ReleaseObject(old);
    }
}

TObject* TCustomHashedList::Find(const std::string& aName) {
    std::string key = KeyOf(aName);
    TItemRow* row = RowOf(key, false);
    if (row)
        for (auto& item : row->Items)
            if (item.Name == key) return item.Object;
    return nullptr;
}

int32_t TCustomHashedList::RowLength(const std::string& aName) {
    TItemRow* row = RowOf(KeyOf(aName), false);
    return row ? static_cast<int32_t>(row->Items.size()) : 0;
}

void TCustomHashedList::Remove(const std::string& aName) {
    // Removing while linearized would leave the linear array pointing at a released object.
    CheckNotLinearized();
    std::string key = KeyOf(aName);
    TItemRow* row = RowOf(key, false);
    if (!row) return;
    auto& items = row->Items;
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].Name != key) continue;
        TObject* object = items[i].Object;
        if (i + 1 != items.size()) items[i] = std::move(items.back());
        items.pop_back();
        --fCount;
        if (object) ReleaseObject(object);
        return;
    }
}

void TCustomHashedList::Clear() {
    while (fLinearizeDepth > 0)
        Unlinearize();
    for (auto& row : fBuckets) {
        if (!row) continue;
        // Detach the row first: a released object may not see a half-cleared map.
        std::unique_ptr<TItemRow> detached = std::move(row);
        auto& items = detached->Items;
        fCount -= static_cast<int32_t>(items.size());
        for (size_t i = items.size(); i-- > 0;) {
            items[i].Name.clear();
            TObject* object = items[i].Object;
            items[i].Object = nullptr;
            if (object) ReleaseObject(object);
        }
    }
    fCount = 0;
}

void TCustomHashedList::ForEach(void* aValue, const TForEachCallback& aCallback, void* aUserData) {
    if (fCount == 0) return;
    for (auto& row : fBuckets) {
        bool goOn = true;
        if (!row) continue;
        auto& items = row->Items;
        for (size_t i = items.size(); i-- > 0;) {
            aCallback(aUserData, items[i].Object, items[i].Name, aValue, goOn);
            if (!goOn) return;
        }
    }
}

void TCustomHashedList::Linearize(bool aWithNames) {
    ++fLinearizeDepth;
    if (fLinearizeDepth != 1 || fCount == 0) return;
    try {
        fLinear = std::make_unique<std::vector<TObject*>>(static_cast<size_t>(fCount), nullptr);
        if (aWithNames)
            fLinearNames = std::make_unique<std::vector<std::string>>(static_cast<size_t>(fCount));
        int32_t next = 0;
        ForEach(
            nullptr,
            [&](void*, TObject*& aObject, const std::string& aName, void*, bool&) {
                int32_t position = next;
                if (OnGetItemOrder) {
                    position = OnGetItemOrder(aName, aObject, next);
                    // A position given twice would leave another one empty.
                    QRT_ASSERT(position >= 0 && position < fCount &&
                                   (*fLinear)[static_cast<size_t>(position)] == nullptr,
                               "Invalid value (" + std::to_string(position) +
                                   ") returned from OnGetItemOrder!!");
                }
                (*fLinear)[static_cast<size_t>(position)] = aObject;
                if (fLinearNames) (*fLinearNames)[static_cast<size_t>(position)] = aName;
                ++next;
            },
            nullptr);
    } catch (...) {
        Unlinearize();
        throw;
    }
}

void TCustomHashedList::Unlinearize() {
    QRT_ASSERT(fLinearizeDepth > 0, "WTF?!!");
    --fLinearizeDepth;
    if (fLinearizeDepth == 0) {
        fLinear.reset();
        fLinearNames.reset();
    }
}

void TCustomHashedList::CheckIndex(int32_t aIndex) const {
    QRT_ASSERT(IsLinearized(), "Linearize not called yet!!");
    QRT_ASSERT(aIndex >= 0 && aIndex < static_cast<int32_t>(fLinear->size()), "Invalid Index!!");
}

TObject* TCustomHashedList::GetLinear(int32_t aIndex) const {
    CheckIndex(aIndex);
    return (*fLinear)[static_cast<size_t>(aIndex)];
}

const std::string& TCustomHashedList::GetLinearName(int32_t aIndex) const {
    CheckIndex(aIndex);
    QRT_ASSERT(fLinearNames != nullptr, "WTF?");
    return (*fLinearNames)[static_cast<size_t>(aIndex)];
}

void TCustomHashedList::ReleaseObject(TObject*&) {}

// --- TNamedObjectList ------------------------------------------------------------------------------

TNamedObjectList::~TNamedObjectList() {
    // The base destructor no longer reaches ReleaseObject of this class: release the objects here.
    Clear();
}

void TNamedObjectList::ReleaseObject(TObject*& aObject) {
    if (OwnsObjects()) delete aObject;
    aObject = nullptr;
}

} // namespace qrt
