#include "smtp/base64.h"

#include <cstring>

#include "smtp/base64_lines.h"

namespace postrix::smtp {

namespace {

constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

static_assert(Base64Encoder::kLineLength % 4 == 0,
              "line breaks fall between whole groups");

// The two characters of every twelve-bit value, so a group of three bytes
// takes two look-ups instead of four.
struct CharPairs {
    char pair[4096][2];
};

constexpr CharPairs makeCharPairs() {
    CharPairs pairs{};
    for (unsigned i = 0; i < 4096; ++i) {
        pairs.pair[i][0] = kAlphabet[i >> 6];
        pairs.pair[i][1] = kAlphabet[i & 0x3F];
    }
    return pairs;
}

constexpr CharPairs kCharPairs = makeCharPairs();

// Writes the four characters of one full group at p.
inline char* putGroup(char* p, uint8_t a, uint8_t b, uint8_t c) {
    const unsigned bits = (unsigned{a} << 16) | (unsigned{b} << 8) | c;
    std::memcpy(p, kCharPairs.pair[bits >> 12], 2);
    std::memcpy(p + 2, kCharPairs.pair[bits & 0xFFF], 2);
    return p + 4;
}

// The line encoder any compiler and CPU runs.
char* encodeLinesPortable(const uint8_t* in, std::size_t lines, char* out) {
    for (; lines > 0; --lines) {
        *out++ = '\r';
        *out++ = '\n';
        // Unrolled: the line's 19 groups then share no loop overhead.
#pragma GCC unroll 19
        for (std::size_t i = 0; i < Base64Encoder::kLineBytes; i += 3) {
            out = putGroup(out, in[i], in[i + 1], in[i + 2]);
        }
        in += Base64Encoder::kLineBytes;
    }
    return out;
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

bool base64PathSupported(Base64Path path) {
    return path == Base64Path::portable || vectorLineEncoder(path) != nullptr;
}

Base64Path fastestBase64Path() {
    static const Base64Path fastest = [] {
        for (Base64Path path : {Base64Path::avx2, Base64Path::ssse3}) {
            if (base64PathSupported(path)) return path;
        }
        return Base64Path::portable;
    }();
    return fastest;
}

std::string base64Encode(std::string_view bytes) {
    std::string out((bytes.size() + 2) / 3 * 4, '\0');
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    const std::size_t whole = bytes.size() / 3 * 3;
    char* p = out.data();
    for (std::size_t i = 0; i < whole; i += 3) p = putGroup(p, in[i], in[i + 1], in[i + 2]);
    if (whole < bytes.size()) putTail(p, in + whole, bytes.size() - whole);
    return out;
}

Base64Encoder::Base64Encoder() : Base64Encoder(fastestBase64Path()) {}

Base64Encoder::Base64Encoder(Base64Path path) : encodeLines_(vectorLineEncoder(path)) {
    if (!encodeLines_) encodeLines_ = encodeLinesPortable;
}

std::size_t Base64Encoder::maxEncodedSize(std::size_t n) {
    const std::size_t chars = (n + 2) / 3 * 4 + 2;
    return chars + (chars / kLineLength + 1) * 2;
}

std::uint64_t Base64Encoder::encodedSize(std::uint64_t n) {
    const std::uint64_t chars = (n / 3 + (n % 3 != 0)) * 4;
    // Every line ends with CRLF, the last (partial or full) one included; an
    // empty stream is a single empty line.
    const std::uint64_t lines = chars == 0 ? 1 : (chars + kLineLength - 1) / kLineLength;
    return chars + lines * 2;
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

    // Any bytes left now start a new group, so the text ends after a whole
    // group, at a multiple of four characters: a line break never falls
    // inside a group. Whole groups until the current line is full.
    while (left >= 3 && column_ < kLineLength) {
        p = putGroup(p, in[0], in[1], in[2]);
        column_ += 4;
        in += 3;
        left -= 3;
    }

    // Whole lines, each after the CRLF that ends the full line before it.
    if (column_ == kLineLength && left >= kLineBytes) {
        const std::size_t lines = left / kLineBytes;
        p = encodeLines_(in, lines, p);
        in += lines * kLineBytes;
        left -= lines * kLineBytes;
    }

    // Whole groups of a line the block ends within.
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
