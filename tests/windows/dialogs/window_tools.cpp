#include "window_tools.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace postrix::wintest {

namespace {

std::string convert(std::wstring_view text, UINT codePage) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    std::string out(static_cast<size_t>(WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr,
                                                            nullptr)),
                    '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

std::vector<HWND> threadWindows(DWORD thread) {
    std::vector<HWND> windows;
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM found) {
            reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

}  // namespace

std::string utf8(std::wstring_view text) { return convert(text, CP_UTF8); }

std::wstring wide(std::string_view utf8Text) {
    if (utf8Text.empty()) return {};
    const int size = static_cast<int>(utf8Text.size());
    std::wstring out(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), size, out.data(), static_cast<int>(out.size()));
    return out;
}

std::wstring windowsPath(std::string_view path) {
    std::wstring converted = wide(path);
    if (converted.empty() || converted[0] != L'/') return converted;
    for (wchar_t& unit : converted)
        if (unit == L'/') unit = L'\\';
    return L"Z:" + converted;
}

std::wstring classOf(HWND window) {
    std::array<wchar_t, 256> name{};
    const int length = GetClassNameW(window, name.data(), static_cast<int>(name.size()));
    return std::wstring(name.data(), static_cast<size_t>(length > 0 ? length : 0));
}

std::wstring textOf(HWND window) {
    // WM_GETTEXT by message: it reaches windows of other threads too.
    const auto length = static_cast<size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    const auto copied =
        static_cast<size_t>(SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data())));
    text.resize(copied);
    return text;
}

std::wstring itemText(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? textOf(item) : std::wstring(L"(no control)");
}

bool itemVisible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

std::vector<std::string> captions(HWND dialog) {
    std::vector<std::string> texts;
    for (HWND child : childrenOf(dialog)) {
        const std::wstring kind = classOf(child);
        if (_wcsicmp(kind.c_str(), L"Static") != 0 && _wcsicmp(kind.c_str(), L"Button") != 0) continue;
        // Pictures carry a bitmap, not a text.
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP && _wcsicmp(kind.c_str(), L"Static") == 0)
            continue;
        texts.push_back(utf8(textOf(child)));
    }
    return texts;
}

std::vector<std::string> comboItems(HWND dialog, int id) {
    std::vector<std::string> items;
    HWND combo = GetDlgItem(dialog, id);
    const auto count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring item(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
        items.push_back(utf8(item.c_str()));
    }
    return items;
}

HMENU menuOf(HWND menuWindow) { return reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0)); }

std::vector<std::string> menuEntries(HMENU menu) {
    std::vector<std::string> entries;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) {
            entries.emplace_back("-");
            continue;
        }
        std::array<wchar_t, 512> text{};
        GetMenuStringW(menu, static_cast<UINT>(i), text.data(), static_cast<int>(text.size()), MF_BYPOSITION);
        entries.push_back(utf8(text.data()));
    }
    return entries;
}

void click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void pressKey(HWND window, UINT key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

void pumpMessages(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(20);
    }
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        Sleep(50);
    }
    return true;
}

// --- UiDriver ---------------------------------------------------------------

UiDriver::UiDriver(std::function<void(UiDriver&)> script) : uiThread_(GetCurrentThreadId()) {
    thread_ = std::thread([this, script = std::move(script)] { run(script); });
}

UiDriver::~UiDriver() { finish(); }

void UiDriver::finish() {
    uiDone_ = true;
    if (thread_.joinable()) thread_.join();
}

void UiDriver::run(const std::function<void(UiDriver&)>& script) {
    try {
        script(*this);
        return;
    } catch (const DriverGaveUp& stop) {
        ADD_FAILURE() << "gave up: " << stop.what() << "; open windows:" << describeWindows();
    } catch (const std::exception& error) {
        ADD_FAILURE() << "the script threw: " << error.what();
    }
    closeEverything();
}

// The visible windows of the UI thread with their texts, for a failure
// message.
std::string UiDriver::describeWindows() const {
    std::string description;
    for (HWND window : threadWindows(uiThread_)) {
        if (!IsWindowVisible(window)) continue;
        description += "\n  " + utf8(classOf(window)) + " \"" + utf8(textOf(window)) + "\":";
        for (const std::string& caption : captions(window)) description += " [" + caption + "]";
    }
    return description;
}

// Cancels every dialog, box and menu of the UI thread until its modal call
// has returned: menus by Esc, dialogs (the file picker and message boxes
// are dialogs too) by their Cancel command.
void UiDriver::closeEverything() {
    while (!uiDone_) {
        for (HWND window : threadWindows(uiThread_)) {
            if (!IsWindowVisible(window)) continue;
            const std::wstring kind = classOf(window);
            if (kind == L"#32768") pressKey(window, VK_ESCAPE);
            if (kind == L"#32770") PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        Sleep(200);
    }
}

HWND UiDriver::waitForWindow(std::wstring_view className, std::wstring_view caption, std::string_view what,
                             const std::function<bool(HWND)>& accept, std::chrono::milliseconds timeout) {
    HWND found = nullptr;
    const bool appeared = waitUntil(
        [&] {
            for (HWND window : threadWindows(uiThread_)) {
                if (!IsWindowVisible(window) || classOf(window) != className) continue;
                if (!caption.empty() && textOf(window) != caption) continue;
                if (accept && !accept(window)) continue;
                found = window;
                return true;
            }
            return false;
        },
        timeout);
    if (!appeared) throw DriverGaveUp(std::string(what) + " did not appear");
    return found;
}

void UiDriver::expectSoon(const std::function<bool()>& condition, std::string_view what,
                          std::chrono::milliseconds timeout) {
    if (!waitUntil(condition, timeout)) throw DriverGaveUp(std::string(what) + " did not happen");
}

// --- screenshots ------------------------------------------------------------

namespace {

uint32_t crc32(std::string_view bytes, uint32_t crc = 0) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> entries{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
        return entries;
    }();
    crc = ~crc;
    for (const char byte : bytes) crc = table[(crc ^ static_cast<uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void appendBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void appendChunk(std::string& png, std::string_view type, std::string_view data) {
    appendBigEndian(png, static_cast<uint32_t>(data.size()));
    std::string body(type);
    body += data;
    png += body;
    appendBigEndian(png, crc32(body));
}

// A zlib stream of stored (uncompressed) deflate blocks: a screenshot of a
// dialog is small enough that compression is not worth its code.
std::string storedZlib(std::string_view raw) {
    std::string out("\x78\x01", 2);
    size_t position = 0;
    do {
        const size_t length = std::min<size_t>(raw.size() - position, 65535);
        const bool last = position + length == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<char>(length & 0xFF));
        out.push_back(static_cast<char>(length >> 8));
        out.push_back(static_cast<char>(~length & 0xFF));
        out.push_back(static_cast<char>((~length >> 8) & 0xFF));
        out.append(raw.substr(position, length));
        position += length;
    } while (position < raw.size());
    uint32_t a = 1, b = 0;
    for (const char byte : raw) {
        a = (a + static_cast<uint8_t>(byte)) % 65521;
        b = (b + a) % 65521;
    }
    appendBigEndian(out, (b << 16) | a);
    return out;
}

// An 8-bit RGB PNG of rows of pixels in BGRX order (a 32-bit top-down DIB).
std::string pngOf(int width, int height, const uint8_t* bgrx) {
    std::string raw;
    raw.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0');  // no filter
        const uint8_t* row = bgrx + static_cast<size_t>(y) * 4 * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            raw.push_back(static_cast<char>(row[4 * x + 2]));
            raw.push_back(static_cast<char>(row[4 * x + 1]));
            raw.push_back(static_cast<char>(row[4 * x]));
        }
    }
    std::string header;
    appendBigEndian(header, static_cast<uint32_t>(width));
    appendBigEndian(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", storedZlib(raw));
    appendChunk(png, "IEND", {});
    return png;
}

}  // namespace

std::wstring screenshotDirectory() {
    if (const char* fromEnvironment = std::getenv("POSTRIX_SCREENSHOT_DIR"); fromEnvironment && *fromEnvironment)
        return windowsPath(fromEnvironment);
    return windowsPath(POSTRIX_SCREENSHOT_DIR);
}

void repaint(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(400);
}

RECT windowArea(HWND window) {
    RECT area{};
    GetWindowRect(window, &area);
    return area;
}

RECT unionOf(const RECT& a, const RECT& b) {
    RECT both{};
    UnionRect(&both, &a, &b);
    return both;
}

SIZE saveScreenshot(const RECT& screenArea, std::string_view name) {
    const int width = screenArea.right - screenArea.left;
    const int height = screenArea.bottom - screenArea.top;
    if (width <= 0 || height <= 0) return {};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    SIZE saved{};
    if (picture != nullptr) {
        HGDIOBJ previous = SelectObject(memory, picture);
        if (BitBlt(memory, 0, 0, width, height, screen, screenArea.left, screenArea.top, SRCCOPY | CAPTUREBLT)) {
            GdiFlush();
            const std::filesystem::path directory(screenshotDirectory());
            std::error_code ignored;
            std::filesystem::create_directories(directory, ignored);
            std::ofstream out(directory / (std::string(name) + ".png"), std::ios::binary);
            const std::string png = pngOf(width, height, static_cast<const uint8_t*>(bits));
            out.write(png.data(), static_cast<std::streamsize>(png.size()));
            if (out) saved = {width, height};
        }
        SelectObject(memory, previous);
        DeleteObject(picture);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

}  // namespace postrix::wintest
