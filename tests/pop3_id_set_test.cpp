// The compact set of known unique ids: listing, committing, abandoning and
// growing, against a plain std::set as the reference where the space is
// large.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "pop3/id_set.h"

namespace postrix::pop3 {
namespace {

using Listed = IdSet::Listed;

std::string idOf(int i) { return "UID" + std::to_string(i) + "-" + std::string(static_cast<size_t>(i % 60), 'x'); }

TEST(IdSet, ListedIdsAreKnownOnlyOnceCommitted) {
    IdSet set;
    EXPECT_EQ(set.list("a"), Listed::New);
    EXPECT_EQ(set.list("b"), Listed::New);
    EXPECT_EQ(set.list("a"), Listed::Repeated);
    EXPECT_FALSE(set.contains("a"));
    set.commit();
    EXPECT_TRUE(set.contains("a"));
    EXPECT_TRUE(set.contains("b"));
    EXPECT_FALSE(set.contains("c"));
    EXPECT_EQ(set.size(), 2u);

    // The next listing: a known id listed twice is known, then repeated.
    EXPECT_EQ(set.list("b"), Listed::Known);
    EXPECT_EQ(set.list("b"), Listed::Repeated);
    EXPECT_EQ(set.list("c"), Listed::New);
    EXPECT_EQ(set.list("c"), Listed::Repeated);
    EXPECT_TRUE(set.contains("a"));  // until the commit
    set.commit();
    EXPECT_FALSE(set.contains("a"));
    EXPECT_TRUE(set.contains("b"));
    EXPECT_TRUE(set.contains("c"));
    EXPECT_EQ(set.size(), 2u);
}

TEST(IdSet, AbandonedListingLeavesTheCommittedIds) {
    IdSet set;
    set.list("a");
    set.list("b");
    set.commit();
    EXPECT_EQ(set.list("a"), Listed::Known);
    EXPECT_EQ(set.list("x"), Listed::New);
    set.abandon();
    EXPECT_TRUE(set.contains("a"));
    EXPECT_TRUE(set.contains("b"));
    EXPECT_FALSE(set.contains("x"));
    // The marks of the abandoned listing count no more.
    EXPECT_EQ(set.list("a"), Listed::Known);
    EXPECT_EQ(set.list("x"), Listed::New);
    set.commit();
    EXPECT_FALSE(set.contains("b"));
    EXPECT_TRUE(set.contains("x"));
    // An empty listing empties the set.
    set.commit();
    EXPECT_EQ(set.size(), 0u);
    EXPECT_FALSE(set.contains("a"));
}

TEST(IdSet, IdsOfAnyBytesUpToTheLimit) {
    IdSet set;
    const std::string nul("a\0b", 3);
    const std::string high = "\xFF\x80\x01 \t";
    const std::string longest(IdSet::kMaxIdLength, '\xFE');
    EXPECT_EQ(set.list(nul), Listed::New);
    EXPECT_EQ(set.list(high), Listed::New);
    EXPECT_EQ(set.list(longest), Listed::New);
    EXPECT_EQ(set.list(std::string(IdSet::kMaxIdLength + 1, 'x')), Listed::Refused);
    EXPECT_EQ(set.list(""), Listed::Refused);
    for (size_t length = 1; length <= 70; ++length) EXPECT_EQ(set.list(std::string(length, 'y')), Listed::New);
    set.commit();
    EXPECT_TRUE(set.contains(nul));
    EXPECT_FALSE(set.contains("a"));
    EXPECT_FALSE(set.contains(std::string("a\0c", 3)));
    EXPECT_TRUE(set.contains(high));
    EXPECT_TRUE(set.contains(longest));
    EXPECT_FALSE(set.contains(longest.substr(1)));
    for (size_t length = 1; length <= 70; ++length) EXPECT_TRUE(set.contains(std::string(length, 'y')));
    EXPECT_FALSE(set.contains(std::string(71, 'y')));
}

TEST(IdSet, ManyIdsGrowTheSetAndEachListingReplacesIt) {
    // Listings over a sliding window of ids, with repeats, checked against a
    // reference; each listing crosses several blocks and table growths.
    IdSet set;
    std::set<std::string> reference;
    for (int round = 0; round < 4; ++round) {
        const int first = round * 7000;
        const int count = 20000 + round * 5000;
        std::set<std::string> listed;
        for (int i = first; i < first + count; ++i) {
            const std::string id = idOf(i);
            const Listed expected = listed.contains(id)      ? Listed::Repeated
                                    : reference.contains(id) ? Listed::Known
                                                             : Listed::New;
            ASSERT_EQ(set.list(id), expected) << id;
            listed.insert(id);
            if (i % 5 == 0) {
                ASSERT_EQ(set.list(id), Listed::Repeated);
            }
        }
        set.commit();
        reference = std::move(listed);
        ASSERT_EQ(set.size(), reference.size());
        for (int i = 0; i < first + count + 100; ++i) ASSERT_EQ(set.contains(idOf(i)), reference.contains(idOf(i))) << i;
    }
    // The set shrinks with the mailbox: one block and a small table.
    set.list(idOf(28000));
    set.commit();
    EXPECT_EQ(set.size(), 1u);
    EXPECT_LT(set.memoryBytes(), 64u * 1024 + 1024);
}

TEST(IdSet, MarksStayRightOverManyListings) {
    // More listings than a mark has values: one id stays, one comes and goes.
    // Every seventh listing breaks off.
    IdSet set;
    bool blinksKnown = false;
    for (int listing = 0; listing < 600; ++listing) {
        ASSERT_EQ(set.list("stays"), listing == 0 ? Listed::New : Listed::Known) << listing;
        const bool blinks = listing % 2 == 0;
        if (blinks) {
            ASSERT_EQ(set.list("blinks"), blinksKnown ? Listed::Known : Listed::New) << listing;
        }
        if (listing % 7 == 3) {
            set.abandon();
        } else {
            set.commit();
            blinksKnown = blinks;
        }
        ASSERT_EQ(set.contains("blinks"), blinksKnown) << listing;
        ASSERT_TRUE(set.contains("stays"));
    }
}

TEST(IdSet, UnlistedIdsStayNewAndCommitSaysWhetherAnythingChanged) {
    IdSet set;
    EXPECT_TRUE([&] {
        set.list("a");
        set.list("b");
        return set.commit();
    }());
    // The same ids again, in another order: nothing changed.
    set.list("b");
    set.list("a");
    EXPECT_FALSE(set.commit());
    // Across several blocks: the ids added and then unlisted go, the rest
    // stay in their order.
    uint32_t place = 0;
    std::vector<std::string> kept{"a", "b"};
    set.list("a");
    set.list("b");
    for (int i = 0; i < 3000; ++i) {
        const std::string id = idOf(i);
        ASSERT_EQ(set.list(id, &place), Listed::New);
        if (i % 3 == 0) {
            set.unlist(place);
            set.unlist(place);  // twice is once
        } else {
            kept.push_back(id);
        }
    }
    EXPECT_TRUE(set.commit());
    std::vector<std::string> visited;
    set.forEachKnown([&](std::string_view id) { visited.emplace_back(id); });
    EXPECT_EQ(visited, kept);
    EXPECT_EQ(set.size(), kept.size());
    EXPECT_FALSE(set.contains(idOf(0)));
    EXPECT_EQ(set.list(idOf(0)), Listed::New);
    EXPECT_EQ(set.list(idOf(1)), Listed::Known);
    set.abandon();

    // Only unlisted ids added, every known one listed: no change.
    for (const auto& id : kept) set.list(id);
    set.list("fresh", &place);
    set.unlist(place);
    EXPECT_FALSE(set.commit());
    EXPECT_FALSE(set.contains("fresh"));
    // A known id that goes is a change, even when as many come.
    for (size_t i = 1; i < kept.size(); ++i) set.list(kept[i]);
    set.list("fresh");
    EXPECT_TRUE(set.commit());
    EXPECT_TRUE(set.contains("fresh"));
    EXPECT_FALSE(set.contains("a"));
}

TEST(IdSet, DeferredFirstListingKeepsEachIdOnceFromItsNextUse) {
    IdSet set;
    set.deferLookups();
    std::vector<std::string> expected;
    uint32_t place = 0;
    for (int i = 0; i < 5000; ++i) {
        ASSERT_EQ(set.list(idOf(i), &place), Listed::New);
        if (i % 1000 == 7) set.unlist(place);
        else expected.push_back(idOf(i));
    }
    // Repeated ids count as new while nothing is looked up.
    EXPECT_EQ(set.list(idOf(3)), Listed::New);
    EXPECT_EQ(set.list(idOf(3)), Listed::New);
    EXPECT_FALSE(set.contains(idOf(3)));
    EXPECT_TRUE(set.commit());
    // Until the set is looked in, the repeats are entries of their own.
    std::vector<std::string> visited;
    set.forEachKnown([&](std::string_view id) { visited.emplace_back(id); });
    std::vector<std::string> withRepeats = expected;
    withRepeats.insert(withRepeats.end(), 2, idOf(3));
    EXPECT_EQ(visited, withRepeats);
    EXPECT_EQ(set.committedEntries(), withRepeats.size());
    // Looking in builds the table and keeps one of each.
    EXPECT_TRUE(set.contains(idOf(3)));
    EXPECT_FALSE(set.contains(idOf(7)));
    EXPECT_EQ(set.size(), expected.size());
    visited.clear();
    set.forEachKnown([&](std::string_view id) { visited.emplace_back(id); });
    EXPECT_EQ(visited, expected);
    // A set that holds ids looks them up again.
    set.deferLookups();
    EXPECT_EQ(set.list(idOf(3)), Listed::Known);
    EXPECT_EQ(set.list(idOf(3)), Listed::Repeated);
    set.abandon();
}

TEST(IdSet, EveryUseAfterADeferredListingFindsItsIds) {
    // The first use after the commit may be the next listing, a lookup, a
    // count, a reserve or an empty listing; each sees the same set.
    const auto deferredListing = [](IdSet& set) {
        set.deferLookups();
        for (const char* id : {"a", "b", "a", "c"}) set.list(id);
        set.commit();
    };
    {
        IdSet set;
        deferredListing(set);
        EXPECT_EQ(set.list("b"), Listed::Known);
        EXPECT_EQ(set.list("a"), Listed::Known);
        EXPECT_EQ(set.list("a"), Listed::Repeated);
        EXPECT_EQ(set.list("d"), Listed::New);
        EXPECT_TRUE(set.commit());  // c went, d came
        std::vector<std::string> visited;
        set.forEachKnown([&](std::string_view id) { visited.emplace_back(id); });
        EXPECT_EQ(visited, (std::vector<std::string>{"a", "b", "d"}));
    }
    {
        IdSet set;
        deferredListing(set);
        EXPECT_EQ(set.size(), 3u);
        EXPECT_EQ(set.committedEntries(), 3u);
    }
    {
        IdSet set;
        deferredListing(set);
        set.reserve(1000);
        EXPECT_TRUE(set.contains("c"));
        EXPECT_EQ(set.size(), 3u);
    }
    {
        IdSet set;
        deferredListing(set);
        EXPECT_TRUE(set.commit());  // a listing that lists nothing empties it
        EXPECT_EQ(set.size(), 0u);
        EXPECT_FALSE(set.contains("a"));
    }
    {
        IdSet set;
        deferredListing(set);
        set.abandon();  // a listing that breaks off before its first id
        EXPECT_EQ(set.list("c"), Listed::Known);
        set.abandon();
        EXPECT_EQ(set.size(), 3u);
    }
    // An abandoned deferred listing leaves the set empty and usable.
    IdSet fresh;
    fresh.deferLookups();
    fresh.list("a");
    fresh.abandon();
    EXPECT_EQ(fresh.size(), 0u);
    EXPECT_EQ(fresh.list("a"), Listed::New);
    EXPECT_EQ(fresh.list("a"), Listed::Repeated);
}

TEST(IdSet, RoomReadiedForAListingServesItAndWhatItLeavesIsFreed) {
    constexpr size_t kRoom = 1024 * 1024;
    for (const bool ended : {true, false}) {
        IdSet set;
        set.prepareRoom(kRoom);
        set.prepareRoom(kRoom / 2);  // the room readied already serves
        const size_t readied = set.memoryBytes();
        EXPECT_GE(readied, kRoom);
        EXPECT_LT(readied, kRoom + 4096);
        set.deferLookups();
        for (int i = 0; i < 3000; ++i) ASSERT_EQ(set.list(idOf(i)), Listed::New);
        EXPECT_LT(set.memoryBytes(), readied + 1024);  // no block allocated on the way
        if (ended) {
            EXPECT_TRUE(set.commit());
            // The two blocks the ids fill stay; the rest was freed.
            EXPECT_LT(set.memoryBytes(), 3 * 64 * 1024u);
            EXPECT_EQ(set.size(), 3000u);
            EXPECT_TRUE(set.contains(idOf(2999)));
        } else {
            set.abandon();
            EXPECT_LT(set.memoryBytes(), 1024u);
            EXPECT_EQ(set.list(idOf(0)), Listed::New);
        }
    }
}

TEST(IdSet, ClearedOrReservedSetWorksAsANewOne) {
    IdSet set;
    for (int i = 0; i < 5000; ++i) set.list(idOf(i));
    set.commit();
    set.list("pending");
    set.clear();
    EXPECT_EQ(set.size(), 0u);
    EXPECT_FALSE(set.contains(idOf(1)));
    EXPECT_LT(set.memoryBytes(), 1024u);
    // Listed once a table for all of them is there: nothing grows on the way.
    set.reserve(20000);
    EXPECT_GE(set.memoryBytes(), 20000u * 8 * 5 / 4);  // 8-byte slots, loaded at most 4/5
    for (int i = 0; i < 20000; ++i) ASSERT_EQ(set.list(idOf(i)), Listed::New);
    EXPECT_TRUE(set.commit());
    EXPECT_EQ(set.size(), 20000u);
    EXPECT_TRUE(set.contains(idOf(19999)));
    set.reserve(10);  // never shrinks what is there
    EXPECT_TRUE(set.contains(idOf(0)));
}

TEST(IdSet, MemoryIsAFewBytesAboveTheIdsThemselves) {
    IdSet set;
    constexpr int kIds = 100000;
    for (int i = 0; i < kIds; ++i) set.list(idOf(i).substr(0, 16));
    set.commit();
    // 16-byte ids (at most): 18 bytes each in the blocks, at most 20 in the table.
    EXPECT_LT(set.memoryBytes(), static_cast<size_t>(kIds) * 38 + 128 * 1024);
}

}  // namespace
}  // namespace postrix::pop3
