// Whole Base64 lines with SSSE3 or AVX2 (the method of W. Muła and D. Lemire:
// a byte shuffle and two multiplies cut each three bytes into four 6-bit
// indices, a saturating subtract and a 16-entry shuffle turn indices into
// characters). The functions carry their own target attribute and are picked
// only after a CPU check, so the build itself stays at the x86-64 baseline
// (SSE2) and runs on any x86-64. Other CPUs and compilers get none of it.
#include "smtp/base64_lines.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define POSTRIX_BASE64_X86 1
#include <immintrin.h>
#else
#define POSTRIX_BASE64_X86 0
#endif

namespace postrix::smtp {

#if POSTRIX_BASE64_X86

namespace {

constexpr std::size_t kLineBytes = Base64Encoder::kLineBytes;
constexpr std::size_t kLineChars = Base64Encoder::kLineLength + 2;  // with the CRLF before

static_assert(kLineBytes == 57 && kLineChars == 78, "the line layouts below assume 76 columns");

// Within each 32-bit lane, bytes b1 b0 b2 b1 of a group: its first and last
// twelve bits as big-endian 16-bit words.
#define POSTRIX_B64_SPREAD 1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10
// What to add to an index, by the class of the index: 0 for 26..51, 1..10
// for the digits 52..61, 11 and 12 for '+' and '/', 13 for 0..25.
#define POSTRIX_B64_OFFSETS                                                                  \
    'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, \
        '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0

// The sixteen characters of the twelve bytes at in (reads sixteen).
__attribute__((target("ssse3"))) inline __m128i encode12(const uint8_t* in) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    v = _mm_shuffle_epi8(v, _mm_setr_epi8(POSTRIX_B64_SPREAD));
    const __m128i high = _mm_mulhi_epu16(_mm_and_si128(v, _mm_set1_epi32(0x0FC0FC00)),
                                         _mm_set1_epi32(0x04000040));
    const __m128i low = _mm_mullo_epi16(_mm_and_si128(v, _mm_set1_epi32(0x003F03F0)),
                                        _mm_set1_epi32(0x01000010));
    const __m128i indices = _mm_or_si128(high, low);
    __m128i kind = _mm_subs_epu8(indices, _mm_set1_epi8(51));
    const __m128i upper = _mm_cmpgt_epi8(_mm_set1_epi8(26), indices);
    kind = _mm_or_si128(kind, _mm_and_si128(upper, _mm_set1_epi8(13)));
    const __m128i offset = _mm_shuffle_epi8(_mm_setr_epi8(POSTRIX_B64_OFFSETS), kind);
    return _mm_add_epi8(indices, offset);
}

// The thirty-two characters of the twenty-four bytes at in (reads 28).
__attribute__((target("avx2"))) inline __m256i encode24(const uint8_t* in) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12));
    __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
    v = _mm256_shuffle_epi8(v, _mm256_setr_epi8(POSTRIX_B64_SPREAD, POSTRIX_B64_SPREAD));
    const __m256i high = _mm256_mulhi_epu16(_mm256_and_si256(v, _mm256_set1_epi32(0x0FC0FC00)),
                                            _mm256_set1_epi32(0x04000040));
    const __m256i low = _mm256_mullo_epi16(_mm256_and_si256(v, _mm256_set1_epi32(0x003F03F0)),
                                           _mm256_set1_epi32(0x01000010));
    const __m256i indices = _mm256_or_si256(high, low);
    __m256i kind = _mm256_subs_epu8(indices, _mm256_set1_epi8(51));
    const __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), indices);
    kind = _mm256_or_si256(kind, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
    const __m256i offset =
        _mm256_shuffle_epi8(_mm256_setr_epi8(POSTRIX_B64_OFFSETS, POSTRIX_B64_OFFSETS), kind);
    return _mm256_add_epi8(indices, offset);
}

#undef POSTRIX_B64_SPREAD
#undef POSTRIX_B64_OFFSETS

// One line: CRLF and the 76 characters of the 57 bytes at in. The last store
// is a whole vector, so this reads 64 bytes and writes 82: the 4 characters
// past the line are garbage that the next line's CRLF and text overwrite.
__attribute__((target("ssse3"))) inline void lineSsse3(const uint8_t* in, char* out) {
    out[0] = '\r';
    out[1] = '\n';
    for (std::size_t i = 0; i < 5; ++i) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 + 16 * i), encode12(in + 12 * i));
    }
}

__attribute__((target("avx2"))) inline void lineAvx2(const uint8_t* in, char* out) {
    out[0] = '\r';
    out[1] = '\n';
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2), encode24(in));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 34), encode24(in + 24));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 66), encode12(in + 48));
}

constexpr std::size_t kLineReads = 64;
constexpr std::size_t kLineWrites = 82;

// Every line but the last lies far enough from the ends of input and output
// for a line's over-reach to stay inside them; the last one is encoded from
// and into copies on the stack.
__attribute__((target("ssse3"))) char* linesSsse3(const uint8_t* in, std::size_t lines, char* out) {
    if (lines == 0) return out;
    for (; lines > 1; --lines, in += kLineBytes, out += kLineChars) lineSsse3(in, out);
    uint8_t bytes[kLineReads] = {};
    char text[kLineWrites];
    std::memcpy(bytes, in, kLineBytes);
    lineSsse3(bytes, text);
    std::memcpy(out, text, kLineChars);
    return out + kLineChars;
}

__attribute__((target("avx2"))) char* linesAvx2(const uint8_t* in, std::size_t lines, char* out) {
    if (lines == 0) return out;
    for (; lines > 1; --lines, in += kLineBytes, out += kLineChars) lineAvx2(in, out);
    uint8_t bytes[kLineReads] = {};
    char text[kLineWrites];
    std::memcpy(bytes, in, kLineBytes);
    lineAvx2(bytes, text);
    std::memcpy(out, text, kLineChars);
    return out + kLineChars;
}

}  // namespace

Base64Encoder::LineEncoder vectorLineEncoder(Base64Path path) {
    __builtin_cpu_init();
    switch (path) {
        case Base64Path::avx2:
            return __builtin_cpu_supports("avx2") ? linesAvx2 : nullptr;
        case Base64Path::ssse3:
            return __builtin_cpu_supports("ssse3") ? linesSsse3 : nullptr;
        case Base64Path::portable:
            break;
    }
    return nullptr;
}

#else

Base64Encoder::LineEncoder vectorLineEncoder(Base64Path) { return nullptr; }

#endif

}  // namespace postrix::smtp
