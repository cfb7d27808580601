// Files in a directory: search by name pattern, deletion, path joining,
// what a path names, and small files read or replaced whole.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace postrix::platform {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// The directory and the name joined with exactly one separator, whether or
// not the directory text already ends with one. An empty directory gives
// the name alone.
std::u16string joinPath(std::u16string_view directory, std::u16string_view name);

// Names (not paths) of the regular files in directory whose name matches
// pattern, where '*' stands for any run of characters and everything else
// matches itself case-sensitively. Order is the system's.
std::vector<std::u16string> findFiles(std::u16string_view directory, std::u16string_view pattern);

// Deletes one file; true when it is gone.
bool deleteFile(std::u16string_view path);

// How reading a whole file went.
enum class WholeFile {
    read,
    missing,     // no file of that name, or no folder on the way to it
    unreadable,  // not a regular file, or the system refused or failed
    tooLarge,    // larger than the caller takes
};

// Reads the regular file at path into bytes, which it replaces, when the
// file holds at most maxBytes. A file that shrinks while it is read gives
// what it still held. FIFOs and devices are never waited on.
WholeFile readWholeFile(std::u16string_view path, size_t maxBytes, std::string& bytes);

// Replaces the file at path by one holding bytes: they are written to a
// temporary file in the same folder, path + ".tmp-" + the process id (so
// that two processes replacing the same file never write into one
// temporary file), which is then renamed over path; a reader finds the old
// file or the new one, never a mix. Nothing is flushed to the disk: a crash
// soon after may leave the file empty or damaged, or the temporary file
// behind. False when the file could not be replaced; it is then as it
// was, and the temporary file is gone.
bool replaceFile(std::u16string_view path, std::string_view bytes);

// Appends bytes to a file being written; false once the system refused
// some.
using AppendBytes = std::function<bool(std::string_view bytes)>;

// replaceFile with the bytes made piece by piece, so that a large file is
// never whole in memory: produce appends them and returns whether all went
// well; when it returns false the file stays as it was.
bool replaceFileWith(std::u16string_view path, const std::function<bool(const AppendBytes&)>& produce);

// What a path names, symbolic links followed.
enum class FileKind {
    unknown,  // nothing the system could look at: missing or out of reach
    regular,
    other,  // a directory, FIFO, device or socket
};

// A narrow path in the system's code page as UTF-8 text, for showing it and
// for naming the file in a mail. POSIX paths are UTF-8 already; on Windows
// they are in the ANSI code page. Bytes the code page does not define become
// U+FFFD.
std::string pathToUtf8(std::string_view path);

// The kind of the file at path, narrow text in the system's code page (the
// form the file picker gives). Looking never opens the file.
FileKind fileKind(std::string_view path);

}  // namespace postrix::platform
