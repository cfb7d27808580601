#include "platform/posix/iconv_decoder.h"

#include "platform/utf8.h"

#include <cerrno>
#include <iconv.h>

namespace postrix::platform::posix {

namespace {

// Charset names are letters, digits and a few punctuation marks. Anything
// else (a '/' that would smuggle in "//IGNORE", a NUL, spaces) is refused
// before iconv sees it.
bool isPlainCharsetName(std::string_view name) {
    if (name.empty() || name.size() > 64) return false;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_' || c == '.' || c == ':' || c == '+';
        if (!plain) return false;
    }
    return true;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Labels that mail uses for a charset iconv knows under another name.
// "ks_c_5601-1987" (Korean mail from Microsoft programs) means Windows code
// page 949, a superset of EUC-KR.
std::string_view iconvNameOf(std::string_view label) {
    struct Alias {
        std::string_view label;
        std::string_view iconvName;
    };
    constexpr Alias kAliases[] = {{"ks_c_5601-1987", "CP949"}, {"ks_c_5601-1989", "CP949"}};
    for (const Alias& alias : kAliases) {
        if (equalsIgnoringCase(alias.label, label)) return alias.iconvName;
    }
    return label;
}

class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid()) iconv_close(handle_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return handle_; }

private:
    iconv_t handle_;
};

// Appends the little-endian UTF-16 bytes in chunk to out.
void appendUtf16Le(const char* chunk, size_t size, std::u16string& out) {
    for (size_t i = 0; i + 1 < size; i += 2) {
        out.push_back(char16_t(uint8_t(chunk[i]) | (uint8_t(chunk[i + 1]) << 8)));
    }
}

}  // namespace

std::optional<std::u16string> iconvToUtf16(std::string_view bytes, std::string_view charset) {
    if (!isPlainCharsetName(charset)) return std::nullopt;
    const std::string from(iconvNameOf(charset));
    IconvHandle converter("UTF-16LE", from.c_str());
    if (!converter.valid()) return std::nullopt;

    std::u16string result;
    char chunk[1024];
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    // One more round with no input flushes whatever a stateful charset
    // still holds.
    bool flushed = false;
    while (!flushed) {
        char* out = chunk;
        size_t outLeft = sizeof chunk;
        const bool flushing = inLeft == 0;
        const size_t status = flushing ? iconv(converter.get(), nullptr, nullptr, &out, &outLeft)
                                       : iconv(converter.get(), &in, &inLeft, &out, &outLeft);
        const int error = errno;
        appendUtf16Le(chunk, sizeof chunk - outLeft, result);
        if (status != static_cast<size_t>(-1)) {
            flushed = flushing;
            continue;
        }
        if (error == E2BIG) continue;
        result.push_back(kReplacementCharacter);
        if (error == EILSEQ && inLeft > 0) {
            ++in;
            --inLeft;
        } else {
            // EINVAL: the input ends inside a sequence. Anything else is
            // unexpected; either way nothing more can be decoded.
            inLeft = 0;
            flushed = flushing;
        }
    }
    return result;
}

}  // namespace postrix::platform::posix
