#include "pop3/known_ids_format.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace postrix::pop3 {

namespace {

constexpr std::string_view kMagicName = "postrix-known-ids ";
constexpr std::string_view kMagic = "postrix-known-ids 1\n";
constexpr size_t kChecksumBytes = 8;
constexpr int kPrefetchAhead = 12;

static_assert(IdSet::kMaxIdLength <= 255, "an id's length is one byte in the file");

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;

uint64_t rotateLeft(uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

uint64_t mixLane(uint64_t lane, uint64_t word) { return rotateLeft(lane + word * kPrime2, 31) * kPrime1; }

uint64_t load64(const char* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, 8);
    return word;
}

void putNumber(char* out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<char>(value >> (8 * i));
}

// Reads the file front to back; every read checks what is left.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool number(uint64_t& value, int bytes) {
        if (bytes_.size() < static_cast<size_t>(bytes)) return false;
        value = 0;
        for (int i = 0; i < bytes; ++i) value |= uint64_t{static_cast<unsigned char>(bytes_[i])} << (8 * i);
        bytes_.remove_prefix(static_cast<size_t>(bytes));
        return true;
    }
    bool text(std::string_view& value, size_t length) {
        if (bytes_.size() < length) return false;
        value = bytes_.substr(0, length);
        bytes_.remove_prefix(length);
        return true;
    }
    std::string_view rest() const { return bytes_; }

private:
    std::string_view bytes_;
};

// The checksum over bytes given in pieces: four independent lanes over
// 32-byte steps, so the multiplications overlap; the tail is padded with
// zeros and the length mixed in.
class Checksum {
public:
    void add(std::string_view bytes) {
        length_ += bytes.size();
        if (held_ != 0) {
            const size_t taken = std::min(bytes.size(), sizeof tail_ - held_);
            std::memcpy(tail_ + held_, bytes.data(), taken);
            held_ += taken;
            bytes.remove_prefix(taken);
            if (held_ < sizeof tail_) return;
            step(tail_);
            held_ = 0;
        }
        for (; bytes.size() >= 32; bytes.remove_prefix(32)) step(bytes.data());
        std::memcpy(tail_, bytes.data(), bytes.size());
        held_ = bytes.size();
    }

    uint64_t finish() {
        std::memset(tail_ + held_, 0, sizeof tail_ - held_);
        step(tail_);
        uint64_t hash = length_ * kPrime3;
        for (uint64_t lane : lanes_) hash = rotateLeft(hash ^ mixLane(0, lane), 27) * kPrime1 + kPrime3;
        hash ^= hash >> 33;
        hash *= kPrime2;
        hash ^= hash >> 29;
        hash *= kPrime3;
        return hash ^ (hash >> 32);
    }

private:
    void step(const char* bytes) {
        for (int i = 0; i < 4; ++i) lanes_[i] = mixLane(lanes_[i], load64(bytes + 8 * i));
    }

    uint64_t lanes_[4] = {kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1};
    char tail_[32] = {};
    size_t held_ = 0;
    uint64_t length_ = 0;
};

// The bytes after the magic line, gathered into pieces of kPieceBytes for
// append and summed on the way.
class BodyWriter {
public:
    explicit BodyWriter(const std::function<bool(std::string_view)>& append)
        : append_(append), piece_(std::make_unique_for_overwrite<char[]>(kPieceBytes)) {}

    void number(uint64_t value, int bytes) {
        char digits[8];
        putNumber(digits, value, bytes);
        add(std::string_view(digits, static_cast<size_t>(bytes)));
    }
    void add(std::string_view bytes) {
        while (!bytes.empty()) {
            if (used_ == kPieceBytes) flush();
            const size_t taken = std::min(bytes.size(), kPieceBytes - used_);
            std::memcpy(piece_.get() + used_, bytes.data(), taken);
            used_ += taken;
            bytes.remove_prefix(taken);
        }
    }
    // An id with its length byte in front, whole in one piece.
    void addId(std::string_view id) {
        if (kPieceBytes - used_ < 1 + id.size()) flush();
        piece_[used_] = static_cast<char>(id.size());
        std::memcpy(piece_.get() + used_ + 1, id.data(), id.size());
        used_ += 1 + id.size();
    }
    // Sends what is gathered, then the checksum; false when append refused
    // any of it.
    bool finish() {
        flush();
        char sum[kChecksumBytes];
        putNumber(sum, checksum_.finish(), kChecksumBytes);
        return ok_ && append_(std::string_view(sum, kChecksumBytes));
    }

private:
    static constexpr size_t kPieceBytes = 64 * 1024;

    void flush() {
        const std::string_view piece(piece_.get(), used_);
        checksum_.add(piece);
        ok_ = ok_ && append_(piece);
        used_ = 0;
    }

    const std::function<bool(std::string_view)>& append_;
    std::unique_ptr<char[]> piece_;
    size_t used_ = 0;
    Checksum checksum_;
    bool ok_ = true;
};

}  // namespace

uint64_t knownIdsChecksum(std::string_view bytes) {
    Checksum checksum;
    checksum.add(bytes);
    return checksum.finish();
}

bool writeKnownIds(std::string_view owner, const IdSet& ids, const std::function<bool(std::string_view)>& append) {
    if (!append(kMagic)) return false;
    BodyWriter body(append);
    body.number(owner.size(), 4);
    body.add(owner);
    body.number(ids.committedEntries(), 4);
    ids.forEachKnown([&body](std::string_view id) { body.addId(id); });
    return body.finish();
}

std::string encodeKnownIds(std::string_view owner, const IdSet& ids) {
    std::string file;
    file.reserve(kMagic.size() + 8 + owner.size() + ids.committedBytes() + kChecksumBytes);
    writeKnownIds(owner, ids, [&file](std::string_view bytes) {
        file += bytes;
        return true;
    });
    return file;
}

std::optional<std::string> decodeKnownIds(std::string_view bytes, std::string_view owner, IdSet& ids) {
    if (bytes.empty()) return "the file is empty";
    if (!bytes.starts_with(kMagicName)) return "it is no file of known mail ids";
    if (!bytes.starts_with(kMagic)) return "it is of another version";
    Reader reader(bytes.substr(kMagic.size()));
    uint64_t ownerLength = 0;
    std::string_view fileOwner;
    if (!reader.number(ownerLength, 4) || !reader.text(fileOwner, ownerLength)) return "it is cut short";
    if (fileOwner != owner) return "it belongs to another account or mailbox";
    const std::string_view whole = bytes.substr(kMagic.size());
    if (whole.size() < kChecksumBytes + 4 + fileOwner.size() + 4) return "it is cut short";
    const std::string_view body = whole.substr(0, whole.size() - kChecksumBytes);
    uint64_t stored = 0;
    Reader(whole.substr(body.size())).number(stored, 8);
    if (knownIdsChecksum(body) != stored) return "it is damaged or cut short (checksum)";

    Reader entries(body.substr(4 + fileOwner.size()));
    uint64_t count = 0;
    entries.number(count, 4);
    // Every id takes at least two bytes.
    if (count > kMaxKnownIds || count > entries.rest().size() / 2) return "it is damaged (id count)";
    ids.reserve(static_cast<size_t>(count));
    // A second reader runs a few ids ahead and has their table slots
    // fetched, so the cache misses of a large set overlap; where it stops
    // early, the reading below finds out why.
    Reader ahead = entries;
    uint64_t prefetched = 0;
    const auto prefetchNext = [&] {
        uint64_t length = 0;
        std::string_view id;
        if (prefetched < count && ahead.number(length, 1) && length != 0 && ahead.text(id, length)) {
            ids.prefetch(id);
            ++prefetched;
        }
    };
    for (int i = 0; i < kPrefetchAhead; ++i) prefetchNext();
    for (uint64_t i = 0; i < count; ++i) {
        prefetchNext();
        uint64_t length = 0;
        std::string_view id;
        // An id twice is kept once: the file of a first listing that named
        // an id twice holds it twice.
        if (!entries.number(length, 1) || length == 0 || !entries.text(id, length) ||
            ids.list(id) == IdSet::Listed::Refused) {
            ids.clear();
            return "it is damaged (ids)";
        }
    }
    if (!entries.rest().empty()) {
        ids.clear();
        return "it is damaged (bytes after the ids)";
    }
    ids.commit();
    return std::nullopt;
}

}  // namespace postrix::pop3
