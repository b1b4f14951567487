#include "TestUtil.h"

#include "core/Debug.h"
#include "support/HashedLists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace qrt {
namespace {

// An object that counts its destructions.
struct TCounted : TObject {
    explicit TCounted(int& aDestroyed) : Destroyed(aDestroyed) {}
    ~TCounted() override { ++Destroyed; }
    int& Destroyed;
};

uint32_t Hash(const std::string& aText) {
    return SuperFastHash(aText.data(), static_cast<uint32_t>(aText.size()));
}

uint32_t ConstantHash(const char*, uint32_t) {
    return 7;
}

TEST(HashedListsTest, SuperFastHashValues) {
    // The reference values for the shorter tails come from an independent implementation.
    struct Case {
        std::string text;
        uint32_t hash;
    } cases[] = {
        {"", 0},
        {"abc", 0xD2BE198A},
        {"JPEG", 0xCFF9C6E9},
        {"a", 0x115EA782},
        {"ab", 0x516B8B44},
        {"abcde", 0x51ED072E},
        {"\xFF\xFE\x80", 0xABFF0267}, // bytes are unsigned
        {"FileIdChecks.ini", 0x5D2609DB},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hash(c.text), c.hash) << c.text;
    EXPECT_EQ(SuperFastHash(nullptr, 0), 0u);
    EXPECT_EQ(Hash("abc") % 1031, 485u);
}

TEST(HashedListsTest, BucketCountFromSizeSpec) {
    struct Case {
        int32_t spec;
        int32_t buckets;
    } cases[] = {{-1031, 1031}, {1000, 1009}, {0, 0}, {-2, 2}, {2, 2}, {14, 17}, {1031, 1031}, {1032, 1033}};
    for (const auto& c : cases) {
        TNamedObjectList list(-2, true);
        list.SetHashSize(c.spec);
        EXPECT_EQ(list.HashSize(), c.buckets) << c.spec;
    }
    TNamedObjectList list(-1031, true);
    EXPECT_ASSERTION(list.SetHashSize(1), "WTF?");
    EXPECT_ASSERTION(list.SetHashSize(-1), "WTF?");
    EXPECT_ASSERTION(list.SetHashSize(863595770), "UNFINISHED!!");
    TObject object;
    list.Add("x", &object);
    EXPECT_ASSERTION(list.SetHashSize(17), "Resizing after allocation is NOT IMPLEMENTED!!");
    EXPECT_ASSERTION(list.SetHashFunction(ConstantHash), "WTF?");

    TNamedObjectList unsized(0, true);
    EXPECT_ASSERTION(unsized.Find("x"), "HashedList.SetHashSize not called?");
}

TEST(HashedListsTest, ExpectedCountChoosesBuckets) {
    struct Case {
        int32_t initialSpec;
        int32_t expected;
        int32_t buckets;
    } cases[] = {
        {0, 10, 17},                       // 15 is too few: exactly 17
        {-1031, 100, 151},                 // 150 wanted, 1031 is more than twice that
        {-200, 100, 200},                  // 200 lies within 150..300: kept
        {-100, 100, 151},                  // 100 is below 150
        {0, 1000, 1511},   {-5, -300, 17}, // a negative count always ends at 17 buckets
    };
    for (const auto& c : cases) {
        TNamedObjectList list(c.initialSpec, true);
        list.SetExpectedCount(c.expected);
        EXPECT_EQ(list.HashSize(), c.buckets) << c.initialSpec << " " << c.expected;
    }
    TNamedObjectList list(-17, true);
    EXPECT_ASSERTION(list.SetExpectedCount(0), "WTF?");
    TObject object;
    list.Add("x", &object);
    EXPECT_ASSERTION(list.SetExpectedCount(10), "WTF?");
}

TEST(HashedListsTest, OwningListReleasesEachObjectOnce) {
    int destroyed = 0;
    {
        TNamedObjectList list(-1031, true);
        list.SetOwnsObjects(true);
        auto* a = new TCounted(destroyed);
        auto* b = new TCounted(destroyed);
        list.Add("jpeg", a);
        list.Add("jpeg", a); // the same object again: nothing is released
        EXPECT_EQ(destroyed, 0);
        list.Add("jpeg", b); // replaces and destroys a
        EXPECT_EQ(destroyed, 1);
        EXPECT_EQ(list.Find("jpeg"), b);
        EXPECT_EQ(list.Count(), 1);

        list.Add("zip", new TCounted(destroyed));
        list.Add("zip", nullptr); // removes and destroys
        EXPECT_EQ(destroyed, 2);
        EXPECT_EQ(list.Find("zip"), nullptr);

        list.Add("gif", new TCounted(destroyed));
        list.Remove("gif");
        list.Remove("gif"); // absent: nothing happens
        EXPECT_EQ(destroyed, 3);

        list.Add("png", new TCounted(destroyed));
        list.Add("bmp", new TCounted(destroyed));
        EXPECT_EQ(list.Count(), 3);
        EXPECT_ASSERTION(list.Add("", b), "WTF? aName = \"\"!!");
    } // the destructor releases jpeg, png and bmp
    EXPECT_EQ(destroyed, 6);

    int kept = 0;
    TCounted c(kept);
    {
        TNamedObjectList list(-17, true); // not owning
        list.Add("c", &c);
        list.Remove("c");
        list.Add("c", &c);
        list.Clear();
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(list.HashSize(), 17);
        list.Add("c", &c);
    }
    EXPECT_EQ(kept, 0);
}

TEST(HashedListsTest, CaseOfNames) {
    TObject x, y;
    TNamedObjectList folded(-1031, false);
    folded.Add("ABC", &x);
    folded.Add("abc", &y);
    EXPECT_EQ(folded.Count(), 1);
    EXPECT_EQ(folded.Find("aBc"), &y);
    folded.Linearize(true);
    EXPECT_EQ(folded.GetLinearName(0), "abc"); // stored in lower case
    folded.Unlinearize();

    TNamedObjectList exact(-1031, true);
    exact.Add("ABC", &x);
    exact.Add("abc", &y);
    EXPECT_EQ(exact.Count(), 2);
    EXPECT_EQ(exact.Find("ABC"), &x);
    EXPECT_EQ(exact.Find("Abc"), nullptr);
}

TEST(HashedListsTest, LinearOrderIsBucketsThenNewestFirst) {
    const int32_t kBuckets = 7;
    std::vector<std::string> names;
    for (int i = 0; i < 30; ++i)
        names.push_back("type" + std::to_string(i));
    std::vector<TObject> objects(names.size());

    TNamedObjectList list(-kBuckets, true);
    for (size_t i = 0; i < names.size(); ++i)
        list.Add(names[i], &objects[i]);

    std::vector<std::string> expected;
    for (uint32_t bucket = 0; bucket < kBuckets; ++bucket)
        for (size_t i = names.size(); i-- > 0;)
            if (Hash(names[i]) % kBuckets == bucket) expected.push_back(names[i]);

    list.Linearize(true);
    ASSERT_TRUE(list.IsLinearized());
    std::vector<std::string> linearNames;
    for (int32_t i = 0; i < list.Count(); ++i) {
        linearNames.push_back(list.GetLinearName(i));
        EXPECT_EQ(list.GetLinear(i), list.Find(list.GetLinearName(i)));
    }
    EXPECT_EQ(linearNames, expected);

    // ForEach walks the same order and stops when asked to.
    std::vector<std::string> walked;
    list.ForEach(
        nullptr,
        [&](void*, TObject*&, const std::string& aName, void*, bool& aContinue) {
            walked.push_back(aName);
            if (walked.size() == 5) aContinue = false;
        },
        nullptr);
    EXPECT_EQ(walked, std::vector<std::string>(expected.begin(), expected.begin() + 5));
    list.Unlinearize();
}

TEST(HashedListsTest, LinearizeStates) {
    TObject a, b, c;
    TNamedObjectList list(-1031, true);
    EXPECT_ASSERTION(list.GetLinear(0), "Linearize not called yet!!");
    list.Linearize();
    EXPECT_FALSE(list.IsLinearized()); // an empty map never counts as linearized
    list.Unlinearize();
    EXPECT_ASSERTION(list.Unlinearize(), "WTF?!!");

    list.Add("a", &a);
    list.Add("b", &b);
    list.Linearize();
    list.Linearize();
    list.Unlinearize();
    EXPECT_TRUE(list.IsLinearized());
    EXPECT_ASSERTION(list.Add("c", &c), "Can't modify list while LINEARIZED!!");
    EXPECT_ASSERTION(list.Add("a", nullptr), "Can't modify list while LINEARIZED!!");
    EXPECT_ASSERTION(list.Remove("a"), "Can't modify list while LINEARIZED!!");
    EXPECT_ASSERTION(list.GetLinear(2), "Invalid Index!!");
    EXPECT_ASSERTION(list.GetLinear(-1), "Invalid Index!!");
    EXPECT_ASSERTION(list.GetLinearName(0), "WTF?"); // linearized without names
    EXPECT_EQ(list.Find("b"), &b);                   // lookups still work

    list.Linearize();
    list.Clear(); // undoes every level
    EXPECT_EQ(list.LinearizeDepth(), 0);
    EXPECT_FALSE(list.IsLinearized());
    list.Add("c", &c);
    EXPECT_EQ(list.Count(), 1);
}

TEST(HashedListsTest, OnGetItemOrderPlacesItems) {
    std::vector<TObject> objects(10);
    TNamedObjectList list(-1031, true);
    for (size_t i = 0; i < objects.size(); ++i)
        list.Add("n" + std::to_string(i), &objects[i]);

    list.Linearize();
    std::vector<TObject*> natural;
    for (int32_t i = 0; i < list.Count(); ++i)
        natural.push_back(list.GetLinear(i));
    list.Unlinearize();

    list.OnGetItemOrder = [&](const std::string&, TObject*, int32_t aNext) {
        return list.Count() - 1 - aNext;
    };
    list.Linearize();
    for (int32_t i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.GetLinear(i), natural[natural.size() - 1 - i]);
    list.Unlinearize();

    // Out of range, or a position given twice: the linearization is undone.
    for (int32_t bad : {10, -1}) {
        list.OnGetItemOrder = [&](const std::string&, TObject*, int32_t aNext) {
            return aNext == 3 ? bad : aNext;
        };
        EXPECT_ASSERTION(list.Linearize(),
                         "Invalid value (" + std::to_string(bad) + ") returned from OnGetItemOrder!!");
        EXPECT_EQ(list.LinearizeDepth(), 0);
        EXPECT_FALSE(list.IsLinearized());
    }
    list.OnGetItemOrder = [](const std::string&, TObject*, int32_t aNext) { return aNext / 2; };
    EXPECT_ASSERTION(list.Linearize(), "Invalid value (0) returned from OnGetItemOrder!!");
    EXPECT_EQ(list.LinearizeDepth(), 0);
}

TEST(HashedListsTest, CrowdedRowsAreReportedOnTheDebugOutput) {
    bool wasEnabled = DebugOutputEnabled();
    SetDebugOutputEnabled(true);
    std::vector<TObject> objects(23);
    TNamedObjectList list(-2, true);
    list.SetHashFunction(ConstantHash); // every name in bucket 1
    testing::internal::CaptureStderr();
    for (size_t i = 0; i < 11; ++i)
        list.Add("k" + std::to_string(i), &objects[i]);
    std::string eleven = testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    list.Add("k11", &objects[11]);
    std::string twelve = testing::internal::GetCapturedStderr();
    SetDebugOutputEnabled(false);
    for (size_t i = 12; i < 23; ++i)
        list.Add("k" + std::to_string(i), &objects[i]);
    SetDebugOutputEnabled(wasEnabled);

    EXPECT_EQ(eleven, "[debug] HashedLists.TNamedObjectList.MaxItemRowCount: ~11\n");
    EXPECT_EQ(twelve, "[debug] HashedLists.TNamedObjectList.AllocItemInRow::CrowdedHashedList (HashSize: 2, "
                      "ItemRow.lCount=11)\n");
    EXPECT_EQ(list.MaxReportedRowLength(), 22);
    EXPECT_EQ(list.RowLength("k0"), 23);
}

} // namespace
} // namespace qrt
