// The bytes of a known-ids file: the unique ids a mailbox's latest check
// left known, kept across restarts.
//
//   "postrix-known-ids 1\n"   the magic line; 1 is the version
//   u32 n, n bytes            the owner: which account and mailbox the ids
//                             belong to (KnownIdsFile makes it)
//   u32 count                 how many ids follow
//   count times: u8 length (1..IdSet::kMaxIdLength), the id's bytes; an id
//                             a first listing named twice may come twice,
//                             and is read once
//   u64 checksum              of everything between the magic line and it
//
// Numbers are little-endian. The ids are in the set's own order, bytes as
// the server sent them, so writing is one copy per id (through a buffer of
// 64 KiB, never the whole file) and reading one insertion; the checksum,
// 32 bytes per step, costs a fraction of either.
// A file that is empty, cut short, of another version or another owner,
// or fails its checksum is refused as a whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "pop3/id_set.h"

namespace postrix::pop3 {

// The largest file, and the most ids, a known-ids file is read with: far
// above the 3 million messages of the largest mailboxes, and bounding what
// a damaged or foreign file can make the set allocate.
inline constexpr size_t kMaxKnownIdsFileBytes = size_t{256} << 20;
inline constexpr uint32_t kMaxKnownIds = 16u << 20;

// Hands the file's bytes for the committed ids of ids, belonging to owner,
// to append in pieces of about 64 KiB; false when append refused one.
bool writeKnownIds(std::string_view owner, const IdSet& ids, const std::function<bool(std::string_view)>& append);
// The same bytes as one string.
std::string encodeKnownIds(std::string_view owner, const IdSet& ids);

// Lists and commits the ids of a file's bytes into ids, which must be
// empty. Nothing when the file belongs to owner and is whole; else why it
// is not (a short English phrase, for the log), and ids is empty again.
std::optional<std::string> decodeKnownIds(std::string_view bytes, std::string_view owner, IdSet& ids);

// The checksum the file ends with, over any bytes.
uint64_t knownIdsChecksum(std::string_view bytes);

}  // namespace postrix::pop3
