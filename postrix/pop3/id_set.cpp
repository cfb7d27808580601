#include "pop3/id_set.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace postrix::pop3 {

namespace {

constexpr uint64_t kTagMask = 0xFFFFFFFF00000000ull;
constexpr size_t kMinSlots = 16;

uint64_t mix(uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Eight bytes at a time; the low bits choose the slot, the high ones are
// the slot's tag.
uint64_t hashId(std::string_view id) {
    uint64_t hash = 0x9E3779B97F4A7C15ull ^ id.size();
    const char* bytes = id.data();
    size_t left = id.size();
    for (; left >= 8; left -= 8, bytes += 8) {
        uint64_t word;
        std::memcpy(&word, bytes, 8);
        hash = mix(hash ^ word);
    }
    uint64_t tail = 0;
    std::memcpy(&tail, bytes, left);
    return mix(hash ^ tail ^ (uint64_t{left} << 59));
}

// Slots for count ids at a load of at most 4/5.
size_t slotsFor(size_t count) {
    size_t slots = kMinSlots;
    while (count * 5 > slots * 4) slots *= 2;
    return slots;
}

}  // namespace

IdSet::IdSet() : slots_(kMinSlots, 0) {}

IdSet::Listed IdSet::list(std::string_view id, uint32_t* place) {
    if (id.empty() || id.size() > kMaxIdLength) return Listed::Refused;
    if (appendOnly_) {
        uint32_t offset = 0;
        if (!append(id, offset)) return Listed::Refused;
        if (place) *place = offset;
        ++count_;
        return Listed::New;
    }
    placeDeferred();
    const uint64_t hash = hashId(id);
    size_t slot = find(id, hash);
    if (slots_[slot] != 0) {
        char& mark = markAt(static_cast<uint32_t>(slots_[slot]) - 1);
        if (mark == static_cast<char>(generation_)) return Listed::Repeated;
        mark = static_cast<char>(generation_);
        ++knownListed_;
        return Listed::Known;
    }
    uint32_t offset = 0;
    if (!append(id, offset)) return Listed::Refused;
    if (place) *place = offset;
    ++count_;
    if (count_ * 5 > slots_.size() * 4) {
        rebuildTable(slotsFor(count_));
    } else {
        slots_[slot] = (hash & kTagMask) | (uint64_t{offset} + 1);
    }
    return Listed::New;
}

void IdSet::deferLookups() {
    if (count_ == 0) appendOnly_ = true;
}

void IdSet::prepareRoom(size_t bytes) {
    // Pages are at least this large on every system the set runs on.
    constexpr uint32_t kPageBytes = 4096;
    const size_t wanted = bytes / kBlockBytes + (bytes % kBlockBytes != 0);
    spare_.reserve(wanted);
    while (spare_.size() < wanted && blocks_.size() + spare_.size() < kMaxBlocks) {
        Block block = Block::fresh();
        for (uint32_t at = 0; at < kBlockBytes; at += kPageBytes) block.bytes[at] = 0;
        spare_.push_back(std::move(block));
    }
}

void IdSet::unlist(uint32_t place) {
    // Mark 0 is no listing's generation.
    char& mark = markAt(place);
    if (mark == 0) return;
    mark = 0;
    ++unlisted_;
}

bool IdSet::commit() {
    spare_.clear();
    // A deferred listing's table waits for the set's next use.
    if (std::exchange(appendOnly_, false)) {
        unplaced_ = true;
    } else {
        placeDeferred();  // a listing that listed nothing
    }
    // Unless every committed id was listed again and no added one unlisted,
    // the unmarked ones go.
    if (knownListed_ != committedCount_ || unlisted_ != 0) {
        const char mark = static_cast<char>(generation_);
        compact([mark](char entryMark) { return entryMark == mark; });
        if (!unplaced_) rebuildTable(slotsFor(count_));
    }
    // Changed when a committed id went or an added one stayed.
    const bool changed = knownListed_ != committedCount_ || count_ != knownListed_;
    committedCount_ = count_;
    committedEnd_ = end();
    nextListing();
    return changed;
}

void IdSet::abandon() {
    spare_.clear();
    appendOnly_ = false;
    if (count_ != committedCount_) {
        // The added entries lie after the committed ones.
        const size_t blocks = committedEnd_ == 0 ? 0 : (committedEnd_ - 1) / kBlockBytes + 1;
        blocks_.resize(blocks);
        if (!blocks_.empty()) blocks_.back().used = committedEnd_ - static_cast<uint32_t>(blocks - 1) * kBlockBytes;
        count_ = committedCount_;
        rebuildTable(slotsFor(count_));
    }
    nextListing();
}

void IdSet::clear() {
    appendOnly_ = false;
    unplaced_ = false;
    blocks_.clear();
    spare_.clear();
    std::vector<uint64_t>(kMinSlots, 0).swap(slots_);
    count_ = 0;
    committedCount_ = 0;
    committedEnd_ = 0;
    nextListing();
}

void IdSet::reserve(size_t count) {
    placeDeferred();
    const size_t slots = slotsFor(count);
    if (slots > slots_.size()) rebuildTable(slots);
}

void IdSet::prefetch(std::string_view id) const {
    __builtin_prefetch(&slots_[hashId(id) & (slots_.size() - 1)]);
}

bool IdSet::contains(std::string_view id) {
    if (id.empty() || id.size() > kMaxIdLength) return false;
    placeDeferred();
    const uint64_t slot = slots_[find(id, hashId(id))];
    return slot != 0 && static_cast<uint32_t>(slot) - 1 < committedEnd_;
}

size_t IdSet::size() {
    placeDeferred();
    return committedCount_;
}

size_t IdSet::memoryBytes() const {
    return (blocks_.size() + spare_.size()) * kBlockBytes +
           (blocks_.capacity() + spare_.capacity()) * sizeof(Block) + slots_.capacity() * sizeof(uint64_t);
}

size_t IdSet::find(std::string_view id, uint64_t hash) const {
    const size_t mask = slots_.size() - 1;
    const uint64_t tag = hash & kTagMask;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const uint64_t slot = slots_[i];
        if (slot == 0) return i;
        if ((slot & kTagMask) == tag && idAt(static_cast<uint32_t>(slot) - 1) == id) return i;
    }
}

std::string_view IdSet::idAt(uint32_t offset) const {
    const char* entry = blocks_[offset / kBlockBytes].bytes.get() + offset % kBlockBytes;
    return {entry + 2, static_cast<unsigned char>(entry[0])};
}

char& IdSet::markAt(uint32_t offset) { return blocks_[offset / kBlockBytes].bytes[offset % kBlockBytes + 1]; }

uint32_t IdSet::end() const {
    if (blocks_.empty()) return 0;
    return static_cast<uint32_t>(blocks_.size() - 1) * kBlockBytes + blocks_.back().used;
}

bool IdSet::append(std::string_view id, uint32_t& offset) {
    const auto size = static_cast<uint32_t>(id.size() + 2);
    if (blocks_.empty() || kBlockBytes - blocks_.back().used < size) {
        if (blocks_.size() == kMaxBlocks) return false;
        if (spare_.empty()) {
            blocks_.push_back(Block::fresh());
        } else {
            // In the order they were readied: blocks freed in the order they
            // were allocated give their memory back to the system at once,
            // where the reverse order returns it block by block.
            blocks_.push_back(std::move(spare_.front()));
            spare_.erase(spare_.begin());
        }
    }
    Block& block = blocks_.back();
    offset = static_cast<uint32_t>(blocks_.size() - 1) * kBlockBytes + block.used;
    char* entry = block.bytes.get() + block.used;
    entry[0] = static_cast<char>(id.size());
    entry[1] = static_cast<char>(generation_);
    std::memcpy(entry + 2, id.data(), id.size());
    block.used += size;
    return true;
}

void IdSet::rebuildTable(size_t slots) {
    // The old table goes first: the entries, not the table, say what to
    // place, so at no time are two tables held.
    if (slots == slots_.size()) {
        std::fill(slots_.begin(), slots_.end(), 0);
    } else {
        std::vector<uint64_t>().swap(slots_);
        slots_.assign(slots, 0);
    }
    forEachEntry([this](uint32_t offset, char*) {
        const uint64_t hash = hashId(idAt(offset));
        const size_t slot = find(idAt(offset), hash);
        slots_[slot] = (hash & kTagMask) | (uint64_t{offset} + 1);
    });
}

void IdSet::buildDeferredTable() {
    // Between listings no entry carries the current generation's mark, so
    // it marks the repeats here.
    unplaced_ = false;
    const char repeat = static_cast<char>(generation_);
    size_t repeats = 0;
    std::vector<uint64_t>().swap(slots_);
    slots_.assign(slotsFor(count_), 0);
    forEachEntry([&](uint32_t offset, char* entry) {
        const uint64_t hash = hashId(idAt(offset));
        const size_t slot = find(idAt(offset), hash);
        if (slots_[slot] == 0) {
            slots_[slot] = (hash & kTagMask) | (uint64_t{offset} + 1);
        } else {
            entry[1] = repeat;
            ++repeats;
        }
    });
    if (repeats == 0) return;
    compact([repeat](char entryMark) { return entryMark != repeat; });
    rebuildTable(slotsFor(count_));
    committedCount_ = count_;
    committedEnd_ = end();
}

template <typename Visit>
void IdSet::forEachEntry(Visit visit) {
    for (size_t b = 0; b < blocks_.size(); ++b) {
        char* bytes = blocks_[b].bytes.get();
        for (uint32_t at = 0; at < blocks_[b].used; at += 2 + static_cast<unsigned char>(bytes[at]))
            visit(static_cast<uint32_t>(b) * kBlockBytes + at, bytes + at);
    }
}

template <typename Keep>
void IdSet::compact(Keep keep) {
    // Entries move only towards the front: an entry that does not fit in the
    // rest of the block being written lies in a later block than that one.
    size_t writeBlock = 0;
    uint32_t writeAt = 0;
    size_t kept = 0;
    for (size_t b = 0; b < blocks_.size(); ++b) {
        for (uint32_t at = 0; at < blocks_[b].used;) {
            char* entry = blocks_[b].bytes.get() + at;
            const uint32_t size = 2 + static_cast<unsigned char>(entry[0]);
            at += size;
            if (!keep(entry[1])) continue;
            if (kBlockBytes - writeAt < size) {
                blocks_[writeBlock++].used = writeAt;
                writeAt = 0;
            }
            std::memmove(blocks_[writeBlock].bytes.get() + writeAt, entry, size);
            writeAt += size;
            ++kept;
        }
    }
    if (kept == 0) {
        blocks_.clear();
    } else {
        blocks_[writeBlock].used = writeAt;
        blocks_.resize(writeBlock + 1);
    }
    count_ = kept;
}

void IdSet::nextListing() {
    knownListed_ = 0;
    unlisted_ = 0;
    if (generation_ < 255) {
        ++generation_;
        return;
    }
    // Marks are generations: before they repeat, every mark is cleared.
    forEachEntry([](uint32_t, char* entry) { entry[1] = 0; });
    generation_ = 1;
}

}  // namespace postrix::pop3
