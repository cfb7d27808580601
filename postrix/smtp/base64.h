// Base64 encoding (standard alphabet, '=' padding): in one go without line
// breaks for protocol arguments, or streamed block by block and wrapped into
// lines for message parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace postrix::smtp {

// The whole input as one Base64 text without line breaks; empty gives empty.
std::string base64Encode(std::string_view bytes);

// The ways the streaming encoder can encode whole lines: a lookup table of
// two characters per twelve bits that any compiler and CPU runs, and vector
// code for x86-64 CPUs with SSSE3 or AVX2. All give the same text.
enum class Base64Path { portable, ssse3, avx2 };

// Whether this build and this CPU can run the path.
bool base64PathSupported(Base64Path path);

// The fastest path this CPU runs, detected once.
Base64Path fastestBase64Path();

// Encodes a byte stream delivered in blocks of any size. Each character is
// written as soon as its six bits are known; the bits still pending from a
// partial three-byte group and the position in the output line are carried
// from one block to the next, so the output of all blocks together is one
// continuous Base64 text broken into lines of kLineLength characters by CRLF.
class Base64Encoder {
public:
    static constexpr std::size_t kLineLength = 76;
    // The input bytes that fill one line.
    static constexpr std::size_t kLineBytes = kLineLength / 4 * 3;

    // Encodes whole lines the fastest way this CPU runs.
    Base64Encoder();
    // Encodes whole lines the given way, which must be supported (tests
    // compare the paths).
    explicit Base64Encoder(Base64Path path);

    // The most characters append() can add for a block of n bytes.
    static std::size_t maxEncodedSize(std::size_t n);

    // The characters a whole stream of n bytes gives, append() and finish()
    // together, line breaks and the final CRLF included: what a message part
    // holding a file of n bytes measures, known without reading the file.
    static std::uint64_t encodedSize(std::uint64_t n);

    // Appends to out the characters completed by these bytes, with a CRLF
    // before every character that would begin a new line.
    void append(std::string_view bytes, std::string& out);

    // Appends the character holding the pending bits with the '=' padding
    // (nothing, two or three characters) and the CRLF that ends the last line
    // (an empty stream gives just CRLF), then makes the encoder ready for a
    // new stream.
    void finish(std::string& out);

    // Writes `lines` lines of kLineBytes bytes each from in to out, each as
    // CRLF followed by kLineLength characters, and returns the end of what it
    // wrote. Reads and writes nothing beyond those bytes.
    using LineEncoder = char* (*)(const uint8_t* in, std::size_t lines, char* out);

private:
    LineEncoder encodeLines_;
    // Bytes of the current group already taken (0, 1 or 2) and their bits not
    // yet written (2 bits after one byte, 4 after two).
    unsigned step_ = 0;
    uint8_t pendingBits_ = 0;
    std::size_t column_ = 0;  // characters already on the current line
};

}  // namespace postrix::smtp
