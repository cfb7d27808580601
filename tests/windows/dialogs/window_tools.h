// Finding, reading, operating and photographing the windows of the plug-in
// as a user would: from outside, through window messages. A modal dialog
// runs on the test's own thread, so a UiDriver operates it from a second
// thread and closes whatever is left open when a step goes wrong.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace postrix::wintest {

using namespace std::chrono_literals;

// UTF-16 of the system as UTF-8 for readable assertions, and back.
std::string utf8(std::wstring_view text);
std::wstring wide(std::string_view utf8Text);

// A POSIX path (as CMake and the build see it) in the form wine gives the
// same file, on drive Z:; a Windows path stays as it is.
std::wstring windowsPath(std::string_view path);

std::wstring classOf(HWND window);
std::wstring textOf(HWND window);
std::wstring itemText(HWND dialog, int id);
bool itemVisible(HWND dialog, int id);

// The texts of the dialog's labels, buttons and check boxes in template
// order (the order of the children).
std::vector<std::string> captions(HWND dialog);
// The strings of a combo box's list.
std::vector<std::string> comboItems(HWND dialog, int id);
// The menu a pop-up menu window ("#32768") shows.
HMENU menuOf(HWND menuWindow);
// The entries of a menu: its texts, "-" for a separator.
std::vector<std::string> menuEntries(HMENU menu);

// A click on a button, posted so that the caller does not wait for what the
// click starts (a menu or a dialog running its own loop).
void click(HWND dialog, int id);
// A key pressed and released, posted to a window of another thread.
void pressKey(HWND window, UINT key);

// Runs the calling thread's messages for a while (for a window of its own
// to paint).
void pumpMessages(std::chrono::milliseconds duration);

// Polls until the condition holds; false when the time ran out.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s);

// A step that could not happen (a window that never appeared): the driver
// stops its script and closes what is open.
struct DriverGaveUp : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs a script on a second thread against the windows of the thread that
// made it (the UI thread). When the script gives up or throws, the failure
// is reported and the UI thread's dialogs, boxes and menus are cancelled
// until finish() is called, so a modal call on the UI thread returns.
class UiDriver {
public:
    explicit UiDriver(std::function<void(UiDriver&)> script);
    // Waits for the script; call once the UI thread's modal call returned.
    void finish();
    ~UiDriver();
    UiDriver(const UiDriver&) = delete;
    UiDriver& operator=(const UiDriver&) = delete;

    DWORD uiThread() const { return uiThread_; }
    // A visible top-level window of the UI thread of that class (and
    // caption, when given) that `accept` takes; gives up after the timeout.
    HWND waitForWindow(std::wstring_view className, std::wstring_view caption, std::string_view what,
                       const std::function<bool(HWND)>& accept = {}, std::chrono::milliseconds timeout = 10s);
    // Waits for a condition of the step `what`; gives up after the timeout.
    void expectSoon(const std::function<bool()>& condition, std::string_view what,
                    std::chrono::milliseconds timeout = 10s);

private:
    void run(const std::function<void(UiDriver&)>& script);
    void closeEverything();
    std::string describeWindows() const;

    DWORD uiThread_;
    std::atomic<bool> uiDone_{false};
    std::thread thread_;
};

// --- screenshots ------------------------------------------------------------
// The directory the PNGs go to: $POSTRIX_SCREENSHOT_DIR, else the build's.
std::wstring screenshotDirectory();
// Repaints the window and its children and lets the display catch up.
void repaint(HWND window);
// Writes a PNG of the screen's rectangle (what the user sees there, menus
// over dialogs included) as `name`.png in the screenshot directory; the
// image's size, or zero when nothing could be captured.
SIZE saveScreenshot(const RECT& screenArea, std::string_view name);
RECT windowArea(HWND window);
RECT unionOf(const RECT& a, const RECT& b);

}  // namespace postrix::wintest
