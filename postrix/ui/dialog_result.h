// What the send dialog hands its opener on "Wyślij".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace postrix::ui {

struct DialogResult {
    int32_t accountIndex = -1;  // position in the account list; -1 = none chosen
    std::string subject;        // UTF-8
    std::string body;           // UTF-8, lines ended by CR LF
    std::vector<std::string> attachments;  // full paths in the system's code page
};

}  // namespace postrix::ui
