// A regular file read from start to end, block by block. Opening never
// blocks and takes nothing but a regular file: a FIFO would hold the caller
// until some writer came, and a device such as /dev/zero never ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace postrix::platform {

class FileReader {
public:
    // The regular file at path (narrow text in the system's code page);
    // empty when the path names anything else or the file cannot be opened.
    static std::optional<FileReader> open(std::string_view path);

    ~FileReader();
    FileReader(FileReader&& other) noexcept;
    FileReader& operator=(FileReader&& other) noexcept;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // The file's size when it was opened.
    std::uint64_t size() const { return size_; }
    // Reads up to buffer.size() bytes: how many were read, 0 at the end,
    // empty on a read error.
    std::optional<std::size_t> read(std::span<char> buffer);
    // Whether the file still has the size it had when it was opened.
    bool sizeUnchanged() const;

private:
    FileReader(std::intptr_t handle, std::uint64_t size) : handle_(handle), size_(size) {}

    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;  // the system's handle of the open file
    std::uint64_t size_ = 0;
};

}  // namespace postrix::platform
