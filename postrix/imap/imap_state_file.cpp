#include "imap/imap_state_file.h"

#include <charconv>

#include "host/kept_file.h"
#include "host/log.h"
#include "platform/files.h"
#include "text/text_conversion.h"

namespace postrix::imap {

namespace {

constexpr std::string_view kMagic = "postrix-imap-state 1\n";
constexpr std::string_view kEnd = "end\n";
constexpr size_t kMaxStateFileBytes = 64 * 1024;

// Each field with its length in front, so no two lists of fields give the
// same text.
void appendField(std::string& text, std::string_view field) {
    text += std::to_string(field.size());
    text += ':';
    text += field;
}

std::optional<uint32_t> readNumber(std::string_view text) {
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::string formatStateFile(std::string_view owner, const FolderState& state) {
    std::string text(kMagic);
    text += owner;
    text += '\n';
    text += std::to_string(state.uidValidity) + ' ' + std::to_string(state.highestUid) + '\n';
    text += kEnd;
    return text;
}

std::optional<FolderState> parseStateFile(std::string_view bytes, std::string_view owner) {
    if (!bytes.starts_with(kMagic)) return std::nullopt;
    bytes.remove_prefix(kMagic.size());
    if (!bytes.starts_with(owner) || bytes.substr(owner.size(), 1) != "\n") return std::nullopt;
    bytes.remove_prefix(owner.size() + 1);
    if (!bytes.ends_with(kEnd)) return std::nullopt;
    bytes.remove_suffix(kEnd.size());
    if (!bytes.ends_with('\n')) return std::nullopt;
    bytes.remove_suffix(1);
    const size_t space = bytes.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const auto validity = readNumber(bytes.substr(0, space));
    const auto highest = readNumber(bytes.substr(space + 1));
    if (!validity || !highest) return std::nullopt;
    return FolderState{*validity, *highest};
}

ImapStateFile::ImapStateFile(Host host, std::u16string path) : host_(host), path_(std::move(path)) {
    const size_t separator = path_.find_last_of(u"/\\");
    name_ = text::wideToUtf8(separator == std::u16string::npos ? path_ : path_.substr(separator + 1));
}

std::string ImapStateFile::folderKeyOf(std::string_view server, std::string_view login, std::string_view folder) {
    std::string key;
    appendField(key, server);
    appendField(key, login);
    appendField(key, folder);
    return key;
}

std::string ImapStateFile::owner(std::string_view folderKey) const {
    std::string text;
    appendField(text, name_);
    text += folderKey;
    return text;
}

std::optional<FolderState> ImapStateFile::load(std::string_view folderKey) {
    std::string bytes;
    std::optional<KeptFileProblem> problem = readKeptFile(path_, kMaxStateFileBytes, bytes);
    if (!problem) {
        if (auto state = parseStateFile(bytes, owner(folderKey))) return state;
        problem = KeptFileProblem{" is not used, it was not written for this account's folder or is damaged",
                                  kLogFailure};
    }
    logError(host_, problem->level, "IMAP state: " + name_ + problem->why + ": this check only remembers the folder");
    return std::nullopt;
}

bool ImapStateFile::save(std::string_view folderKey, const FolderState& state) {
    if (platform::replaceFile(path_, formatStateFile(owner(folderKey), state))) {
        saveFailed_ = false;
        return true;
    }
    if (!saveFailed_) logFailure(host_, "IMAP state: writing " + name_ + " failed; the next check tries again");
    saveFailed_ = true;
    return false;
}

}  // namespace postrix::imap
