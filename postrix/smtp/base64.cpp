#include "smtp/base64.h"

namespace postrix::smtp {

namespace {

constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

static_assert(Base64Encoder::kLineLength % 4 == 0,
              "line breaks fall between whole groups");

// Writes the four characters of one full group at p.
inline char* putGroup(char* p, uint8_t a, uint8_t b, uint8_t c) {
    p[0] = kAlphabet[a >> 2];
    p[1] = kAlphabet[((a & 0x03) << 4) | (b >> 4)];
    p[2] = kAlphabet[((b & 0x0F) << 2) | (c >> 6)];
    p[3] = kAlphabet[c & 0x3F];
    return p + 4;
}

// Writes the characters and padding of a final group of one or two bytes.
inline void putTail(char* p, const uint8_t* bytes, std::size_t count) {
    const uint8_t a = bytes[0];
    const uint8_t b = count > 1 ? bytes[1] : 0;
    p[0] = kAlphabet[a >> 2];
    p[1] = kAlphabet[((a & 0x03) << 4) | (b >> 4)];
    p[2] = count > 1 ? kAlphabet[(b & 0x0F) << 2] : '=';
    p[3] = '=';
}

}  // namespace

std::string base64Encode(std::string_view bytes) {
    std::string out((bytes.size() + 2) / 3 * 4, '\0');
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    const std::size_t whole = bytes.size() / 3 * 3;
    char* p = out.data();
    for (std::size_t i = 0; i < whole; i += 3) p = putGroup(p, in[i], in[i + 1], in[i + 2]);
    if (whole < bytes.size()) putTail(p, in + whole, bytes.size() - whole);
    return out;
}

std::size_t Base64Encoder::maxEncodedSize(std::size_t n) {
    const std::size_t chars = (n + 2) / 3 * 4 + 2;
    return chars + (chars / kLineLength + 1) * 2;
}

void Base64Encoder::append(std::string_view bytes, std::string& out) {
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    std::size_t left = bytes.size();
    const std::size_t start = out.size();
    out.resize(start + maxEncodedSize(left));
    char* const begin = out.data() + start;
    char* p = begin;

    auto put = [&](unsigned sixBits) {
        if (column_ == kLineLength) {
            *p++ = '\r';
            *p++ = '\n';
            column_ = 0;
        }
        *p++ = kAlphabet[sixBits];
        ++column_;
    };

    // Complete the group left over from the previous block.
    if (step_ == 1 && left > 0) {
        const uint8_t b = *in++;
        --left;
        put(static_cast<unsigned>((pendingBits_ << 4) | (b >> 4)));
        pendingBits_ = b & 0x0F;
        step_ = 2;
    }
    if (step_ == 2 && left > 0) {
        const uint8_t c = *in++;
        --left;
        put(static_cast<unsigned>((pendingBits_ << 2) | (c >> 6)));
        put(c & 0x3F);
        step_ = 0;
    }

    // Whole groups: a group starts at a multiple of four characters, so a
    // line break never falls inside one.
    while (left >= 3) {
        if (column_ == kLineLength) {
            *p++ = '\r';
            *p++ = '\n';
            column_ = 0;
        }
        p = putGroup(p, in[0], in[1], in[2]);
        column_ += 4;
        in += 3;
        left -= 3;
    }

    // Start the next group with what is left.
    if (left > 0) {
        const uint8_t a = *in++;
        put(a >> 2);
        pendingBits_ = a & 0x03;
        step_ = 1;
        if (left > 1) {
            const uint8_t b = *in;
            put(static_cast<unsigned>((pendingBits_ << 4) | (b >> 4)));
            pendingBits_ = b & 0x0F;
            step_ = 2;
        }
    }

    out.resize(start + static_cast<std::size_t>(p - begin));
}

void Base64Encoder::finish(std::string& out) {
    if (step_ == 1) {
        out += kAlphabet[pendingBits_ << 4];
        out += "==";
    } else if (step_ == 2) {
        out += kAlphabet[pendingBits_ << 2];
        out += '=';
    }
    out += "\r\n";
    step_ = 0;
    pendingBits_ = 0;
    column_ = 0;
}

}  // namespace postrix::smtp
