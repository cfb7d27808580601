// Joining the file picker's buffer into attachment paths, with the buffers
// the explorer-style ANSI file dialog leaves on Windows and on POSIX.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "ui/attachment_list.h"

namespace postrix::ui {
namespace {

using Buffer = std::array<char, platform::kFilePickerBufferSize>;
using Paths = std::vector<std::string>;

Buffer bufferOf(std::string_view content) {
    Buffer buffer{};
    std::copy_n(content.begin(), std::min(content.size(), buffer.size()), buffer.begin());
    return buffer;
}

Paths joined(std::string_view content, int offset) {
    Paths list{"kept"};
    appendPickedFiles(bufferOf(content), offset, list);
    list.erase(list.begin());
    return list;
}

const std::string kSeparator(1, static_cast<char>(platform::kPathSeparator));

TEST(AppendPickedFiles, JoinsFolderAndNamesAsTheFileDialogLeavesThem) {
    using namespace std::string_literals;
    struct Case {
        std::string buffer;
        int offset;
        Paths expected;
    };
    const Case cases[] = {
        {"C:\\Docs\\a.txt\0"s, 8, {"C:\\Docs\\a.txt"}},
        {"C:\\\0a.txt\0b.txt\0\0"s, 4, {"C:\\a.txt", "C:\\b.txt"}},  // the root keeps one separator
        {"C:\\a.txt\0"s, 3, {"C:\\a.txt"}},
        {"C:\\Docs\0a.txt\0b.txt\0\0"s, 8, {"C:\\Docs" + kSeparator + "a.txt", "C:\\Docs" + kSeparator + "b.txt"}},
        {"/home/ola/x.pdf\0"s, 10, {"/home/ola/x.pdf"}},
        {"/\0a\0b\0\0"s, 2, {"/a", "/b"}},
        {"\0a.txt\0\0"s, 1, {}},     // no folder, nothing appended
        {"C:\\a.txt\0"s, 0, {}},     // no name offset
        {"C:\\a.txt\0"s, 261, {}},   // an offset outside the buffer
        {"C:\\Docs\0\0"s, 8, {}},    // no names
    };
    for (const Case& c : cases) EXPECT_EQ(joined(c.buffer, c.offset), c.expected) << c.buffer;
}

TEST(AppendPickedFiles, NeverReadsBeyondTheBuffer) {
    // No terminator anywhere: the folder and the one name stop at the end.
    const Paths list = joined(std::string(300, 'x'), 5);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], "xxxxx" + kSeparator + std::string(256, 'x'));
}

}  // namespace
}  // namespace postrix::ui
