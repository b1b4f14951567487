#include "TestUtil.h"

#include "core/Exceptions.h"
#include "core/Streams.h"
#include "support/ListUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qrt {
namespace {

// Stand-in entries for lists that do not own them: entry 'a' + i is &gItems[i].
char gItems[64];
void* P(int aIndex) {
    return &gItems[aIndex];
}

// The list as letters, '.' for a nil slot.
std::string Letters(const TPointerList& aList) {
    std::string text;
    for (int32_t i = 0; i < aList.Count; ++i) {
        void* item = aList.Get(i);
        text += item ? static_cast<char>('a' + (static_cast<char*>(item) - gItems)) : '.';
    }
    return text;
}

// A non-owning list of the given letters ('.' adds a nil slot through Put).
TPointerList* MakeList(const std::string& aLetters) {
    auto* list = new TPointerList;
    list->OwnsItems = false;
    for (char c : aLetters) {
        if (c == '.') {
            list->Add(P(0));
            list->Put(list->Count - 1, nullptr);
        } else {
            list->Add(P(c - 'a'));
        }
    }
    return list;
}

std::vector<void*> gReleased;
void RecordRelease(void* aItem) {
    gReleased.push_back(aItem);
}

class TRecorded : public TObject {
public:
    TRecorded(std::vector<int>& aLog, int aId) : fLog(aLog), fId(aId) {}
    ~TRecorded() override { fLog.push_back(fId); }

private:
    std::vector<int>& fLog;
    int fId;
};

TEST(ListGrowthTest, GrowRuleAndSequence) {
    struct Case {
        uint32_t Current, Needed, Expected;
    } cases[] = {{0, 1, 8},    {8, 9, 16},    {16, 17, 24},  {24, 25, 56},
                 {64, 65, 96}, {88, 89, 110}, {100, 0, 125}, {8, 40, 40}};
    for (const Case& c : cases)
        EXPECT_EQ(Grow(c.Current, c.Needed), c.Expected) << c.Current << "," << c.Needed;

    TPointerList list;
    list.OwnsItems = false;
    EXPECT_EQ(list.Capacity, 8);
    EXPECT_EQ(list.Count, 0);
    std::vector<int32_t> capacities;
    for (int i = 0; i < 89; ++i) {
        int32_t before = list.Capacity;
        EXPECT_EQ(list.Add(P(0)), i);
        if (list.Capacity != before) capacities.push_back(list.Capacity);
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{16, 24, 56, 88, 110}));
}

TEST(ListHolesTest, DeleteLeavesHolesAndPackSqueezesThem) {
    std::unique_ptr<TPointerList> list(MakeList("abcde"));
    list->Delete(1);
    EXPECT_EQ(list->Count, 5);
    EXPECT_EQ(list->HoleCount, 1);
    EXPECT_EQ(list->Get(1), nullptr);
    list->Delete(1); // an empty slot only counts
    EXPECT_EQ(list->HoleCount, 2);
    list->Delete(4);
    EXPECT_EQ(list->Count, 4);
    list->Pack();
    EXPECT_EQ(Letters(*list), "acd");
    EXPECT_EQ(list->HoleCount, 0);

    // Several runs; slots from the new Count up are nil again.
    list.reset(MakeList("abcdefghij"));
    for (int32_t i : {0, 2, 3, 7})
        list->Delete(i);
    list->Pack();
    EXPECT_EQ(Letters(*list), "befgij");
    list->Insert(8, P(25)); // the slots left behind by Pack were cleared
    EXPECT_EQ(Letters(*list), "befgij..z");

    // Without a counted hole Pack leaves nil slots alone.
    list.reset(MakeList("abc"));
    list->Put(1, nullptr);
    list->Pack();
    EXPECT_EQ(Letters(*list), "a.c");

    // The last entry goes; the hole in front of it stays.
    list.reset(MakeList("abc"));
    list->Delete(1);
    list->Delete(2);
    EXPECT_EQ(Letters(*list), "a.");
}

TEST(ListHolesTest, AutoPackPacksBeforeGrowing) {
    TPointerList list;
    list.OwnsItems = false;
    list.SetAutoPack(true);
    for (int i = 0; i < 24; ++i)
        list.Add(P(i));
    for (int i = 0; i < 16; ++i)
        list.Delete(i);
    EXPECT_EQ(list.Capacity, 24);
    EXPECT_EQ(list.Add(P(30)), 8); // packed to 8 entries, then grown all the same
    EXPECT_EQ(list.Capacity, 56);
    EXPECT_EQ(list.HoleCount, 0);
    EXPECT_EQ(list.Get(0), P(16));

    // Insert grows without packing, so the position it was given still means the same entry.
    for (int i = 9; i < 56; ++i)
        list.Add(P(i % 20));
    for (int i = 20; i < 40; ++i)
        list.Delete(i);
    list.Insert(50, P(31));
    EXPECT_EQ(list.Get(50), P(31));
    EXPECT_EQ(list.Get(49), P(49 % 20));
    EXPECT_EQ(list.Count, 57);

    // Switching AutoPack on packs at once.
    std::unique_ptr<TPointerList> other(MakeList("abc"));
    other->Delete(0);
    other->SetAutoPack(true);
    EXPECT_EQ(Letters(*other), "bc");
}

TEST(ListEntriesTest, IndexOfInsertAndPut) {
    std::unique_ptr<TPointerList> list(MakeList("abcb"));
    EXPECT_EQ(list->IndexOf(P(1)), 1);
    EXPECT_EQ(list->IndexOf(P(7)), INT32_MIN);

    list.reset(MakeList("abcd"));
    list->Delete(2);
    list->Insert(2, P(23)); // fills the hole, nothing moves
    EXPECT_EQ(Letters(*list), "abxd");
    EXPECT_EQ(list->HoleCount, 1);
    list->Insert(1, P(24));
    EXPECT_EQ(Letters(*list), "aybxd");

    list.reset(MakeList("abc"));
    list->Insert(7, P(23));
    EXPECT_EQ(Letters(*list), "abc....x");
    list->Insert(0, P(25)); // a full list grows on a shifting insert
    EXPECT_EQ(Letters(*list), "zabc....x");
    EXPECT_EQ(list->Capacity, 16);
    EXPECT_ASSERTION(list->Insert(-1, P(0)), "WTF?");

    // Put(1, nil) empties the slot without releasing the entry; Put beyond Count extends it.
    gReleased.clear();
    TPointerList owning;
    owning.OnRelease = RecordRelease;
    for (int i = 0; i < 3; ++i)
        owning.Add(P(i));
    owning.Put(1, nullptr);
    EXPECT_TRUE(gReleased.empty());
    EXPECT_EQ(owning.HoleCount, 0);
    EXPECT_ASSERTION(owning.Put(5, nullptr), "WTF?");
    owning.Put(5, P(5));
    EXPECT_EQ(owning.Count, 6);
    EXPECT_EQ(owning.HoleCount, 0);
    owning.Clear();
    EXPECT_EQ(gReleased, (std::vector<void*>{P(5), P(2), P(0)}));
}

TEST(ListEntriesTest, FailureMessagesPerClass) {
    TObject object;
    TPointerList pointers, emptyPointers, noSlotPointers;
    TObjectList objects, emptyObjects, noSlotObjects;
    TClassList classes, emptyClasses, noSlotClasses;
    objects.OwnsItems = false;
    pointers.Add(P(0));
    objects.Add(&object);
    classes.Add(P(0));
    for (TCustomList* list :
         {static_cast<TCustomList*>(&noSlotPointers), static_cast<TCustomList*>(&noSlotObjects),
          static_cast<TCustomList*>(&noSlotClasses)})
        list->SetCapacity(0); // as after Clear: no slots at all
    struct Case {
        const char* Name;
        std::function<void()> Action;
        const char* Message;
    } cases[] = {
        {"pointer Get empty", [&] { emptyPointers.Get(0); }, "List is EMPTY!!"},
        {"object Get empty", [&] { emptyObjects.Get(0); }, "fList is EMPTY!!"},
        {"class Get empty", [&] { emptyClasses.Get(0); }, "fList is EMPTY!!"},
        {"pointer Get no slots", [&] { noSlotPointers.Get(0); }, "List is EMPTY!!"},
        {"object Get no slots", [&] { noSlotObjects.Get(0); }, "WTF? fList = NIL!!"},
        {"class Get no slots", [&] { noSlotClasses.Get(0); }, "WTF? fList = NIL!!"},
        {"pointer Put no slots", [&] { noSlotPointers.Put(0, P(0)); }, "WTF? fList = NIL!!"},
        {"object Put no slots", [&] { noSlotObjects.Put(0, &object); }, "WTF? fList = NIL!!"},
        {"pointer Get -1", [&] { pointers.Get(-1); }, "anIndex out of range!!"},
        {"object Get -1", [&] { objects.Get(-1); }, "anIndex out of range!!"},
        {"pointer Get Count", [&] { pointers.Get(1); }, "Index out of range!!"},
        {"class Get Count", [&] { classes.Get(1); }, "Index out of range!!"},
        {"Put -1", [&] { pointers.Put(-1, P(0)); }, "WTF?"},
        {"Put Capacity", [&] { classes.Put(8, P(0)); }, "Index out of range!!"},
        {"pointer Delete", [&] { pointers.Delete(1); }, "Invalid Index!!"},
        {"pointer Delete -1", [&] { pointers.Delete(-1); }, "Invalid Index!!"},
        {"object Delete", [&] { objects.Delete(1); }, "Invalid index!!"},
        {"class Delete", [&] { classes.Delete(1); }, "Invalid index!!"},
        {"Extract", [&] { pointers.Extract(1); }, "WTF?"},
        {"EndUpdate", [&] { pointers.EndUpdate(); }, "Unmatched BeginUpdate & EndUpdate!!"},
        {"LoadFromStream",
         [&] {
             TMemoryStream s;
             pointers.LoadFromStream(s);
         },
         "$DEFINEd NoListStreaming!!"},
        {"SaveToStream",
         [&] {
             TMemoryStream s;
             classes.SaveToStream(s);
         },
         "$DEFINEd NoListStreaming!!"},
        {"Sort without compare", [&] { pointers.Sort(nullptr, 0); }, "WTF?"},
        {"SetCapacity -1", [&] { pointers.SetCapacity(-1); }, "WTF?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_ASSERTION(c.Action(), c.Message);
    }
    EXPECT_EQ(pointers.Count, 1);

    pointers.BeginUpdate();
    pointers.BeginUpdate();
    pointers.EndUpdate();
    pointers.EndUpdate();
    EXPECT_EQ(pointers.UpdateCount, 0);
    pointers.OwnsItems = false;
}

TEST(ListOwnershipTest, PointerListReleasesEachEntryOnce) {
    gReleased.clear();
    {
        TPointerList list;
        list.OnRelease = RecordRelease;
        for (int i = 0; i < 10; ++i)
            list.Add(P(i));
        list.Delete(2);
        list.DeleteRange(4, 2); // 5 first, then 4
        EXPECT_EQ(list.Extract(6), P(6));
        list.SetCapacity(8); // releases the entries at 8 and 9
        EXPECT_EQ(list.Count, 8);
        list.Delete(7);
        EXPECT_EQ(gReleased, (std::vector<void*>{P(2), P(5), P(4), P(9), P(8), P(7)}));
        gReleased.clear();
    } // destruction releases what is left, highest first
    EXPECT_EQ(gReleased, (std::vector<void*>{P(3), P(1), P(0)}));

    // Without OnRelease the blocks go back with std::free (the sanitizer build checks for leaks).
    TPointerList blocks;
    for (int i = 0; i < 5; ++i)
        blocks.Add(std::malloc(16));
    blocks.Delete(1);
    blocks.DeleteRange(2, 2);
    void* kept = blocks.Extract(0);
    std::free(kept);

    // A list that only refers releases nothing.
    gReleased.clear();
    TPointerList referring;
    referring.OwnsItems = false;
    referring.OnRelease = RecordRelease;
    referring.Add(P(0));
    referring.Delete(0);
    referring.Add(P(1));
    referring.Clear();
    EXPECT_TRUE(gReleased.empty());
}

TEST(ListOwnershipTest, ReleaseThatRaisesStillEmptiesTheSlot) {
    TPointerList list;
    list.OnRelease = [](void*) { throw Exception("release failed"); };
    list.Add(P(0));
    list.Add(P(1));
    list.Add(P(2));
    EXPECT_THROW(list.Delete(1), Exception);
    EXPECT_EQ(list.Get(1), nullptr);
    EXPECT_EQ(list.HoleCount, 1);
    EXPECT_THROW(list.Delete(2), Exception);
    EXPECT_EQ(list.Count, 2);
    list.OwnsItems = false;
}

TEST(ListOwnershipTest, ObjectListDestroysHighestFirst) {
    std::vector<int> log;
    {
        TObjectList list;
        list.Clear(); // empty: nothing happens
        EXPECT_EQ(list.Capacity, 8);
        for (int i = 0; i < 6; ++i)
            list.Add(new TRecorded(log, i));
        list.Delete(1);
        list.DeleteRange(2, 2);
        EXPECT_EQ(log, (std::vector<int>{1, 3, 2}));
        log.clear();
        list.Clear();
        EXPECT_EQ(log, (std::vector<int>{5, 4, 0}));
        EXPECT_EQ(list.Count, 0);
        EXPECT_EQ(list.Capacity, 0);
        EXPECT_EQ(list.HoleCount, 0);
        list.Add(new TRecorded(log, 7)); // grows from 8 slots again
        EXPECT_EQ(list.Capacity, 8);
        list.Add(new TRecorded(log, 8));
        log.clear();
    }
    EXPECT_EQ(log, (std::vector<int>{8, 7}));

    // A class list never releases.
    TClassList classes;
    classes.Add(P(0));
    classes.Delete(0);
    classes.Add(P(1));
}

TEST(ListDeleteRangeTest, HolesOrShorterList) {
    struct Case {
        int32_t Index, N;
        const char* Expected;
        int32_t HoleCount;
    } cases[] = {{3, 1, "abc.e", 1}, {3, 2, "abc", 0}, {0, 5, "", 0}, {1, 0, "abcde", 0}, {0, 2, "..cde", 2}};
    for (const Case& c : cases) {
        std::unique_ptr<TPointerList> list(MakeList("abcde"));
        list->DeleteRange(c.Index, c.N);
        EXPECT_EQ(Letters(*list), c.Expected) << c.Index << "," << c.N;
        EXPECT_EQ(list->HoleCount, c.HoleCount);
    }
    std::unique_ptr<TPointerList> list(MakeList("abcde"));
    EXPECT_ASSERTION(list->DeleteRange(3, 3), "Invalid index!!");
    EXPECT_ASSERTION(list->DeleteRange(-1, 2), "Invalid index!!");
    TObjectList objects;
    EXPECT_ASSERTION(objects.DeleteRange(0, 1), "Invalid index!!");
}

TEST(ListReorderTest, MoveAndMoveIndices) {
    struct Case {
        std::vector<int32_t> Indices;
        int32_t Dest;
        const char* Expected;
    } cases[] = {
        {{1}, 3, "acdbef"},    {{3}, 0, "dabcef"},    {{3, 4}, 1, "adebcf"}, {{0, 2}, 4, "bdeacf"},
        {{0, 1}, 0, "abcdef"}, {{2, 5}, 2, "abcfde"}, {{}, 3, "abcdef"},     {{1, 2, 3}, 3, "abcdef"},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TPointerList> list(MakeList("abcdef"));
        list->MoveIndices(c.Indices, c.Dest);
        EXPECT_EQ(Letters(*list), c.Expected) << c.Dest;
    }

    std::unique_ptr<TPointerList> list(MakeList("abcdef"));
    list->SetTag(0, 100);
    list->Move(0, 2);
    EXPECT_EQ(Letters(*list), "bcadef");
    EXPECT_EQ(list->GetTag(0), 100); // tags stay with positions
    list->Delete(1);
    EXPECT_ASSERTION(list->Move(3, 3), "WTF? (wIndxOld = wIndxNew!!)");
    EXPECT_ASSERTION(list->Move(1, 3), "WTF? (fList[1] = NIL!!)");
    EXPECT_ASSERTION(list->Move(0, 6), "WTF?");
    std::vector<int32_t> unordered{2, 1}, repeated{1, 1}, straddling{1, 4};
    EXPECT_ASSERTION(list->MoveIndices(unordered, 0), "WTF? (Indices is not ordered!!)");
    EXPECT_ASSERTION(list->MoveIndices(repeated, 0), "WTF? (Indices is not ordered!!)");
    EXPECT_ASSERTION(list->MoveIndices(straddling, 2), "WTF?");
}

int32_t CompareLetters(void* aA, void* aB, intptr_t aData) {
    ++*reinterpret_cast<int*>(aData);
    auto key = [](void* p) { return p ? static_cast<char*>(p) - gItems : -1; };
    return static_cast<int32_t>(key(aA) - key(aB));
}

TEST(ListReorderTest, SortOrdersEntriesAndTags) {
    int calls = 0;
    TPointerList empty;
    empty.Sort(CompareLetters, reinterpret_cast<intptr_t>(&calls));
    EXPECT_EQ(calls, 0);

    const char* inputs[] = {"a",        "ba",       "dcba",    "qwertyuiopasdfghjklzxcvbnm",
                            "ccbbaacb", "abcdefgh", "hgfedcba"};
    for (const char* input : inputs) {
        std::unique_ptr<TPointerList> list(MakeList(input));
        for (int32_t i = 0; i < list->Count; ++i)
            list->SetTag(i, input[i]);
        list->Sort(CompareLetters, reinterpret_cast<intptr_t>(&calls));
        std::string expected = input;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Letters(*list), expected);
        for (int32_t i = 0; i < list->Count; ++i)
            EXPECT_EQ(list->GetTag(i), expected[i]) << input; // tags travel with their entries
    }
    EXPECT_GT(calls, 0);

    std::unique_ptr<TPointerList> holes(MakeList("cab"));
    holes->Delete(1);
    holes->Sort(CompareLetters, reinterpret_cast<intptr_t>(&calls));
    EXPECT_EQ(Letters(*holes), ".bc");
}

// Sorts by the letters of a companion pointer list, which is reordered alongside.
int32_t CompareCompanion(int32_t aIndexA, int32_t aIndexB, const TListSorter& aSorter) {
    auto* keys = static_cast<TPointerList*>(aSorter.List);
    return static_cast<int32_t>(static_cast<char*>(keys->Get(aIndexA)) -
                                static_cast<char*>(keys->Get(aIndexB)));
}

TEST(ListReorderTest, SortByReordersTheCompanion) {
    std::vector<int> log;
    TObjectList objects;
    std::unique_ptr<TPointerList> keys(MakeList("dbca"));
    std::vector<TObject*> made;
    for (int i = 0; i < 4; ++i)
        made.push_back(new TRecorded(log, i));
    for (TObject* object : made)
        objects.Add(object);
    TListSorter sorter{CompareCompanion, keys.get(), keys.get(), 0};
    objects.SortBy(sorter);
    EXPECT_EQ(Letters(*keys), "abcd");
    EXPECT_EQ(objects.Get(0), made[3]);
    EXPECT_EQ(objects.Get(1), made[1]);
    EXPECT_EQ(objects.Get(2), made[2]);
    EXPECT_EQ(objects.Get(3), made[0]);

    std::unique_ptr<TPointerList> self(MakeList("cadb"));
    self->SortBy(TListSorter{CompareCompanion, self.get(), self.get(), 0});
    EXPECT_EQ(Letters(*self), "abcd");

    EXPECT_ASSERTION(objects.SortBy(TListSorter{CompareCompanion, keys.get(), self.get(), 0}), "WTF?");
    EXPECT_ASSERTION(objects.SortBy(TListSorter{CompareCompanion, nullptr, nullptr, 0}), "WTF?");
}

TEST(ListTagsTest, TagsGrowByTheRule) {
    TPointerList list;
    list.OwnsItems = false;
    EXPECT_EQ(list.GetTag(3), 0);
    EXPECT_EQ(list.IndexOfTag(0), -1);
    EXPECT_EQ(list.AddTagged(P(0), 42), 0);
    EXPECT_EQ(list.TagCapacity, 8);
    list.SetTag(20, 7);
    EXPECT_EQ(list.TagCapacity, 21);
    EXPECT_EQ(list.GetTag(20), 7);
    EXPECT_EQ(list.GetTag(-1), 0);
    EXPECT_EQ(list.IndexOfTag(7), 20); // searched beyond Count
    EXPECT_EQ(list.IndexOfTag(0), 1);
    EXPECT_EQ(list.IndexOfTag(8), -1);
    EXPECT_ASSERTION(list.SetTag(-1, 1), "WTF?");

    // Exchange beyond the tag array grows it.
    for (int i = 1; i < 30; ++i)
        list.Add(P(i));
    list.Exchange(0, 25);
    EXPECT_EQ(list.GetTag(25), 42);
    EXPECT_EQ(list.GetTag(0), 0);
    EXPECT_GE(list.TagCapacity, 26);
    EXPECT_ASSERTION(list.Exchange(0, 30), "WTF?");
}

TEST(ListSetTest, IntersectSubtractUnion) {
    struct Case {
        const char* Mine;
        const char* Other;
        const char* Intersect;
        const char* Subtract;
        const char* Union;
    } cases[] = {
        {"abcd", "dbx", ".b.d", "a.c", "abcdx"},
        {"abab", "b", ".b.b", "a.a", "abab"},
        {"ab", "", "", "ab", "ab"},
        {"", "ab", "", "", "ab"},
        {"a.c", "c.d", "..c", "a.", "a.cd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Mine) + " / " + c.Other);
        std::unique_ptr<TPointerList> other(MakeList(c.Other));
        std::unique_ptr<TPointerList> list(MakeList(c.Mine));
        list->Intersect(*other);
        EXPECT_EQ(Letters(*list), c.Intersect);
        list.reset(MakeList(c.Mine));
        list->Subtract(*other);
        EXPECT_EQ(Letters(*list), c.Subtract);
        list.reset(MakeList(c.Mine));
        list->Union(*other);
        EXPECT_EQ(Letters(*list), c.Union);
    }

    // Union carries the other list's tags; an owning list releases what Intersect removes.
    std::unique_ptr<TPointerList> other(MakeList("xy"));
    other->SetTag(0, 9);
    gReleased.clear();
    TPointerList owning;
    owning.OnRelease = RecordRelease;
    owning.Add(P(0));
    owning.Add(P(24));
    owning.Union(*other);
    EXPECT_EQ(owning.Count, 3);
    EXPECT_EQ(owning.GetTag(2), 9);
    owning.Intersect(*other);
    EXPECT_EQ(gReleased, (std::vector<void*>{P(0)}));
    owning.OwnsItems = false;

    TObjectList objects;
    TClassList classes;
    EXPECT_ASSERTION(objects.Union(*other), "WTF?");
    EXPECT_ASSERTION(classes.Subtract(objects), "WTF?");
    EXPECT_ASSERTION(other->Intersect(classes), "WTF?");

    class TLoose : public TCustomLooseList {
    public:
        void Delete(int32_t) override {}
    } loose;
    EXPECT_ASSERTION(loose.Union(*other), "N/A!!");
    EXPECT_ASSERTION(loose.Intersect(*other), "N/A!!");
    EXPECT_ASSERTION(loose.Subtract(*other), "N/A!!");
}

TEST(ListAssignTest, AssignRules) {
    int classA = 0, classB = 0, classC = 0;
    TClassList source;
    for (const void* c : {&classA, &classB, &classC, &classA})
        source.Add(c);
    source.Delete(1);
    source.Delete(3);
    source.Put(2, nullptr); // a trailing nil slot
    TClassList copy;
    copy.Add(&classC);
    copy.Assign(&source);
    ASSERT_EQ(copy.Count, 3);
    EXPECT_EQ(copy.Get(0), &classA);
    EXPECT_EQ(copy.Get(1), nullptr);
    EXPECT_EQ(copy.Get(2), nullptr);
    copy.Assign(&copy);
    EXPECT_EQ(copy.Count, 3);

    TObjectList objects, otherObjects;
    TPointerList pointers, otherPointers;
    TObject plain;
    EXPECT_ASSERTION(objects.Assign(&otherObjects), "UNFINISHED!!");
    EXPECT_ASSERTION(pointers.Assign(&otherPointers), "UNFINISHED!!");
    EXPECT_ASSERTION(pointers.Assign(&source), "WTF?"); // cleared, then a union with a foreign class
    try {
        copy.Assign(&plain);
        FAIL() << "expected EConvertError";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message, "Cannot assign a TObject to a TClassList");
    }
    EXPECT_THROW(pointers.Assign(nullptr), EConvertError);
}

} // namespace
} // namespace qrt
