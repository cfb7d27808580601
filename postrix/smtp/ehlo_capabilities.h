// What a server offers in its EHLO reply: the message size limit and the
// authentication mechanisms. Each EHLO reply replaces what the one before
// it said (after STARTTLS the server may offer more, or other, extensions).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace postrix::smtp {

struct EhloCapabilities {
    // Empty when the server did not announce SIZE. Otherwise its largest
    // message in bytes, where 0 means no fixed limit: "SIZE" alone, "SIZE 0",
    // and a number that is no plain decimal or does not fit in 64 bits, which
    // is no limit the client could hold a message against.
    std::optional<std::uint64_t> size;
    // The mechanisms of the AUTH lines ("AUTH PLAIN LOGIN", also the older
    // "AUTH=LOGIN"), upper case, each once, in the order first offered.
    std::vector<std::string> authMechanisms;
};

// The capabilities of a complete EHLO reply ("250-domain\r\n250-SIZE
// 1000\r\n250 AUTH PLAIN\r\n"). The first line names the server and is no
// keyword; keywords are matched in any letter case, and lines that are no
// "250" line of a known keyword are passed over.
EhloCapabilities parseEhloReply(std::string_view reply);

}  // namespace postrix::smtp
