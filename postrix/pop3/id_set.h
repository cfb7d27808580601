// The unique ids of a mailbox's latest complete UIDL listing, kept compactly
// for mailboxes of millions of messages: the id bytes lie one after another
// in 64 KiB blocks (a length byte, a mark byte, the bytes), and an
// open-addressing table of 8-byte slots (32 bits of the id's hash, the
// id's place in the blocks) finds them. About 2 + length bytes per id in the
// blocks and 8 to 20 in the table; no allocation per id.
//
// A listing is read into the same set, never into a second copy: each id
// listed is marked with the listing's generation, an id not held yet is
// added (and counts as not known until the listing is committed).
// Committing drops the ids the listing did not mark (nothing is moved when
// it marked them all); abandoning drops those it added. Outside a listing's
// reading the set answers for the committed ids only.
//
// A set read back from a file is a listing as well: reserve() sizes the
// table once for all its ids, and forEachKnown() hands the committed ids
// over for writing one, in the order they lie.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace postrix::pop3 {

class IdSet {
public:
    // POP3 allows 70 characters; longer ids, up to this, are kept as well.
    static constexpr size_t kMaxIdLength = 255;

    // What listing an id found.
    enum class Listed {
        Known,     // committed by an earlier listing
        New,       // added by this listing
        Repeated,  // listed before in this listing
        Refused,   // empty, longer than kMaxIdLength, or no room left
    };

    IdSet();
    IdSet(const IdSet&) = delete;
    IdSet& operator=(const IdSet&) = delete;

    // Lists one id of the listing in progress. For an id it adds (New),
    // place receives where the id lies, for unlist().
    Listed list(std::string_view id, uint32_t* place = nullptr);
    // The listing in progress fills an empty set, so there is nothing to
    // look up: its ids are only appended (each counts New, a repeated one
    // too), and the table is built once, at its final size, when the set is
    // next looked in (list, contains, size, reserve). A first check of a
    // large mailbox thus ends without building it: growing and probing a
    // table while the listing arrives slowed the server's sending on a busy
    // machine, and building it at the commit delayed the check's end. The
    // build keeps a repeated id once. No effect on a set that holds ids.
    void deferLookups();
    // Readies blocks for about bytes of ids that a coming listing will add,
    // each of their pages written once so that the system supplies the
    // memory now: called while the server prepares its listing, this takes
    // the page faults out of the time the listing streams in, when the
    // client's work slows the server's sending on a busy machine. The
    // blocks a listing leaves unused are freed at its commit or abandon.
    void prepareRoom(size_t bytes);
    // An id this listing added counts as not listed after all: the commit
    // leaves it out, so the next listing finds it new again. Only once the
    // listing's last id was listed, and only with a place list() gave in it.
    void unlist(uint32_t place);
    // The listing was complete: the set becomes exactly its ids (less those
    // unlisted). True when that changed the committed ids.
    bool commit();
    // The listing broke off: the set stays as the last commit left it.
    void abandon();
    // Drops every id, committed or not.
    void clear();
    // Sizes the table for count ids at once, so that listing them never
    // grows it step by step.
    void reserve(size_t count);
    // Asks the processor for the table slot where id would be found: ids
    // listed in bulk (read from a file) wait for one slot while the slots
    // of the next ones are on their way.
    void prefetch(std::string_view id) const;

    // Whether a committed listing held id.
    bool contains(std::string_view id);
    // Committed ids.
    size_t size();
    // What forEachKnown() visits: the committed ids, and until the set is
    // next looked in, the repeats a deferred listing appended.
    size_t committedEntries() const { return committedCount_; }
    // Heap bytes held by blocks and table.
    size_t memoryBytes() const;
    // At least the committed ids' bytes with two more each.
    size_t committedBytes() const { return committedEnd_; }

    // Calls visit(std::string_view id) for every committed entry, in the
    // order they lie (see committedEntries()).
    template <typename Visit>
    void forEachKnown(Visit visit) const {
        for (size_t b = 0; b < blocks_.size() && b * kBlockBytes < committedEnd_; ++b) {
            const char* bytes = blocks_[b].bytes.get();
            const uint32_t used = std::min<uint32_t>(blocks_[b].used, committedEnd_ - static_cast<uint32_t>(b) * kBlockBytes);
            for (uint32_t at = 0; at < used; at += 2 + static_cast<unsigned char>(bytes[at]))
                visit(std::string_view(bytes + at + 2, static_cast<unsigned char>(bytes[at])));
        }
    }

private:
    static constexpr uint32_t kBlockBytes = 64 * 1024;
    static constexpr uint32_t kMaxBlocks = 65535;  // offsets + 1 stay below 2^32

    struct Block {
        std::unique_ptr<char[]> bytes;
        uint32_t used = 0;

        // kBlockBytes, none used; the bytes are left as they come.
        static Block fresh() { return {std::make_unique_for_overwrite<char[]>(kBlockBytes), 0}; }
    };

    // The slot holding id, or the empty slot where it would go.
    size_t find(std::string_view id, uint64_t hash) const;
    std::string_view idAt(uint32_t offset) const;
    char& markAt(uint32_t offset);
    // Appends an entry; false when the blocks are full.
    bool append(std::string_view id, uint32_t& offset);
    // The offset the next entry would get.
    uint32_t end() const;
    // Places every entry in a table of the given number of slots.
    void rebuildTable(size_t slots);
    // Builds the table a deferred listing left unbuilt; nothing once it is
    // built. Inline, since every id a later listing lists asks.
    void placeDeferred() {
        if (unplaced_) buildDeferredTable();
    }
    // Places every entry, dropping the ones that repeat an earlier one.
    void buildDeferredTable();
    template <typename Visit>
    void forEachEntry(Visit visit);
    // Keeps, in order, the entries whose mark keep() accepts.
    template <typename Keep>
    void compact(Keep keep);
    // Every entry counts as not listed again.
    void nextListing();

    std::vector<Block> blocks_;
    std::vector<Block> spare_;     // readied by prepareRoom(), not used yet
    std::vector<uint64_t> slots_;  // 0 = empty, else hash >> 32 << 32 | (offset + 1)
    size_t count_ = 0;             // entries in the blocks, committed or not
    size_t committedCount_ = 0;
    uint32_t committedEnd_ = 0;    // entries at lower offsets are committed
    size_t knownListed_ = 0;       // committed entries marked by this listing
    size_t unlisted_ = 0;          // added entries this listing unmarked again
    uint8_t generation_ = 1;       // an entry's mark equal to it: listed by this listing
    bool appendOnly_ = false;      // the listing in progress looks nothing up
    bool unplaced_ = false;        // the table holds none of the entries yet
};

}  // namespace postrix::pop3
