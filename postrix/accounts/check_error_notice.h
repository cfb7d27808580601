// How a failed mailbox check reaches the user: a log line and a warning
// notification titled with the account's address.
#pragma once

#include <string>

namespace postrix {

namespace pop3 {
class Pop3Session;
}

// The POP3 session's error handler.
void showCheckError(pop3::Pop3Session& session, const std::string& message);

}  // namespace postrix
