// libFuzzer entry point: header blocks, header values and dates of any bytes
// must decode without crash, overread or hang.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pop3/encoded_words.h"
#include "pop3/header_decoding.h"
#include "pop3/mail_date.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto parsed = postrix::pop3::parseHeaders(input);
    if (parsed.unreadableDate) (void)postrix::pop3::dateFailureMessage(*parsed.unreadableDate);
    (void)postrix::pop3::decodeEncodedWord(input);
    (void)postrix::pop3::readMailDate(input);
    return 0;
}
