#include "plugin_under_test.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "abi/abi.h"
#include "window_tools.h"

namespace postrix::wintest {

namespace {

std::wstring pluginPath() {
    if (const char* fromEnvironment = std::getenv("POSTRIX_PLUGIN_DLL"); fromEnvironment && *fromEnvironment)
        return windowsPath(fromEnvironment);
    return windowsPath(POSTRIX_PLUGIN_DLL);
}

std::wstring freshFolder() {
    std::array<wchar_t, MAX_PATH + 1> temp{};
    GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
    std::wstring folder = std::wstring(temp.data()) + L"postrix-dialogs-" + std::to_wstring(GetCurrentProcessId()) +
                          L"-" + std::to_wstring(GetTickCount64()) + L"\\";
    std::filesystem::create_directories(folder);
    return folder;
}

template <typename Function>
Function entryPoint(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

PluginUnderTest::PluginUnderTest(test::FakeHost& host) : host_(host), folder_(freshFolder()) {
    host.directory = std::u16string(folder_.begin(), folder_.end());
}

void PluginUnderTest::load() {
    const std::wstring path = pluginPath();
    module_ = LoadLibraryW(path.c_str());
    if (module_ == nullptr) {
        problem_ = "LoadLibraryW failed (" + std::to_string(GetLastError()) + "): " + utf8(path);
        return;
    }
    const auto query = entryPoint<JoxQueryPlugInfo>(module_, "queryPlugInfo");
    const auto load = entryPoint<JoxPluginLoad>(module_, "pluginLoad");
    if (query == nullptr || load == nullptr || entryPoint<JoxPluginUnload>(module_, "pluginUnload") == nullptr) {
        problem_ = "the DLL lacks an entry point";
        return;
    }
    if (query(0) == nullptr || load(0, host_.table()) != 0) {
        problem_ = "the plug-in did not start";
        return;
    }
    started_ = true;
}

PluginUnderTest::~PluginUnderTest() {
    if (started_) entryPoint<JoxPluginUnload>(module_, "pluginUnload")(0);
    if (module_ != nullptr) FreeLibrary(module_);
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(folder_), ignored);
}

std::wstring PluginUnderTest::writeFile(std::wstring_view name, std::string_view content) const {
    const std::wstring path = folder_ + std::wstring(name);
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return path;
}

}  // namespace postrix::wintest
