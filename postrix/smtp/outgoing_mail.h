// One message to send: who receives it, what it says and which files go with it.
#pragma once

#include <string>
#include <vector>

namespace postrix::smtp {

struct OutgoingMail {
    // Display name (or names joined with ", ") for the To header, UTF-8.
    std::string recipientName;
    // Addresses in order; each gets its own RCPT TO.
    std::vector<std::string> recipients;
    std::string subject;  // UTF-8
    std::string body;     // UTF-8
    // File paths as byte strings (UTF-8 on Linux).
    std::vector<std::string> attachments;
};

}  // namespace postrix::smtp
