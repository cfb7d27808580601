// The plug-in DLL loaded into this process and started with a fake host, as
// the messenger loads it, with a fresh profile folder for its files.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "support/fake_host.h"

namespace postrix::wintest {

class PluginUnderTest {
public:
    // Points the host's profile directory at a new folder, where the host
    // keeps the settings the test gives before load().
    explicit PluginUnderTest(test::FakeHost& host);
    // Stops and unloads the plug-in and removes the folder.
    ~PluginUnderTest();
    PluginUnderTest(const PluginUnderTest&) = delete;
    PluginUnderTest& operator=(const PluginUnderTest&) = delete;

    // Loads and starts the plug-in ($POSTRIX_PLUGIN_DLL, else the build's
    // DLL) as the messenger does.
    void load();
    bool loaded() const { return started_; }
    // What went wrong while loading, for the assertion message.
    const std::string& problem() const { return problem_; }
    // The profile folder, with its trailing backslash.
    const std::wstring& folder() const { return folder_; }
    // Writes a file into the profile folder and returns its full path.
    std::wstring writeFile(std::wstring_view name, std::string_view content) const;

private:
    test::FakeHost& host_;
    HMODULE module_ = nullptr;
    bool started_ = false;
    std::string problem_;
    std::wstring folder_;  // with its trailing backslash
};

}  // namespace postrix::wintest
