// Where an account's IMAP checks stand, kept in a file of its own next to
// its settings file (the account manager names it), so that a check after a
// restart announces what arrived meanwhile: the folder's UIDVALIDITY and the
// highest UID already seen in it.
//
// The file belongs to one account and one folder: its owner line holds the
// file's name, the IMAP server, the login and the folder, so that a file
// copied from another account, or kept from before one of them changed, is
// not taken for this one. Whatever keeps a file from being used costs one
// log line and makes the check a first one. Writes replace the file whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/host.h"

namespace postrix::imap {

struct FolderState {
    uint32_t uidValidity = 0;
    uint32_t highestUid = 0;
    bool operator==(const FolderState&) const = default;
};

// The file's text for a folder state, and the state read back from a text
// (nothing when it is not one written for owner).
std::string formatStateFile(std::string_view owner, const FolderState& state);
std::optional<FolderState> parseStateFile(std::string_view bytes, std::string_view owner);

class ImapStateFile {
public:
    // The file at path; host takes the log lines.
    ImapStateFile(Host host, std::u16string path);

    // The state the file holds for the folder; when it holds none, one log
    // line says why.
    std::optional<FolderState> load(std::string_view folderKey);
    // Writes the state; a failure is logged once until a write succeeds
    // again. False when it was not written.
    bool save(std::string_view folderKey, const FolderState& state);

    // A folder as load() and save() take it: server, login and folder name.
    static std::string folderKeyOf(std::string_view server, std::string_view login, std::string_view folder);

private:
    std::string owner(std::string_view folderKey) const;

    Host host_;
    std::u16string path_;
    std::string name_;  // the file's name, UTF-8, for the owner and the log
    bool saveFailed_ = false;
};

}  // namespace postrix::imap
