// Builds IMAP commands: arguments as quoted strings where they can be, as
// synchronizing literals where they must, and mailbox names in IMAP's
// modified UTF-7.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace postrix::imap {

// A command as the pieces to send: every piece but the last ends with a
// synchronizing literal marker "{n}\r\n", after which the server's "+"
// continuation must arrive before the next piece is sent. Nothing is ever
// sent raw.
struct ImapCommand {
    std::vector<std::string> pieces;
};

// "<tag> <verb> <arg> <arg>...\r\n" with every argument as an IMAP string: a
// quoted string ("..." with \ escaped by a backslash) when it is printable
// ASCII without '"', else a literal "{n}\r\n<bytes>". The verb goes as it is
// ("UID FETCH" may hold spaces). An argument must hold no NUL: no IMAP
// string can carry one, so callers refuse such texts first.
ImapCommand buildCommand(std::string_view tag, std::string_view verb,
                         std::initializer_list<std::string_view> arguments);

// Whether a text must go as a literal: it holds a byte outside printable
// ASCII (CR, LF, NUL, any control or 8-bit byte) or a '"'.
bool needsLiteral(std::string_view text);

// A mailbox name (UTF-8) in IMAP's modified UTF-7: printable ASCII as it is
// ("&" as "&-"), each run of other characters as "&<modified base64 of its
// UTF-16BE>-" (',' for '/', no padding). Ill-formed UTF-8 becomes U+FFFD.
std::string encodeMailboxName(std::string_view utf8);

}  // namespace postrix::imap
