#include "store/settings_service.h"

#include <charconv>
#include <cstring>

#include "postrix/abi/records_plugin.h"
#include "core/utf.h"

namespace joxhost {

using postrix::SettingsRecord;

void SettingsService::install(ServiceRegistry& services) {
    services.addHostService(u"JOX/Settings/InitEx", [this](uintptr_t w, uintptr_t l) {
        return initEx(reinterpret_cast<const char16_t*>(w), reinterpret_cast<void*>(l));
    });
    services.addHostService(u"JOX/Settings/Read",
                            [this](uintptr_t w, uintptr_t) { return read(static_cast<int64_t>(w)); });
    services.addHostService(u"JOX/Settings/Write",
                            [this](uintptr_t w, uintptr_t) { return write(static_cast<int64_t>(w)); });
    services.addHostService(u"JOX/Settings/Get",
                            [this](uintptr_t w, uintptr_t) { return get(reinterpret_cast<void*>(w)); });
    services.addHostService(u"JOX/Settings/Set", [this](uintptr_t w, uintptr_t) {
        return set(reinterpret_cast<const void*>(w));
    });
    services.addHostService(u"JOX/Settings/Destroy",
                            [this](uintptr_t w, uintptr_t) { return destroy(static_cast<int64_t>(w)); });
}

std::filesystem::path SettingsService::resolve(const std::u16string& name) const {
    std::filesystem::path path(toUtf8(name));
    return path.is_absolute() ? path.lexically_normal() : (profileDir_ / path).lexically_normal();
}

void SettingsService::warn(const std::string& text) {
    reporter_.emit(Event("host-error").add("text", text));
}

SettingsService::OpenFile* SettingsService::find(int64_t handle) {
    const auto it = open_.find(handle);
    return it == open_.end() ? nullptr : &it->second;
}

bool SettingsService::refresh(OpenFile& file) {
    std::string error;
    if (!refreshSettings(file.path, file.settings, &error)) {
        warn(error);
        return false;
    }
    for (const auto& why : file.settings.errors) warn(file.path.string() + ": " + why);
    file.pending.clear();
    return true;
}

bool SettingsService::update(OpenFile& file) {
    std::string error;
    if (!updateSettingsFile(file.path, file.pending, file.settings, &error)) {
        warn(error);
        ++failedWrites_;
        lastWriteError_ = error;
        return false;
    }
    file.pending.clear();
    return true;
}

int64_t SettingsService::initEx(const char16_t* path, void* handleOut) {
    if (!path || !*path || !handleOut) return 1;
    OpenFile file{resolve(path), {}, {}};
    if (!refresh(file)) return 1;
    // Create the file at once: an account exists through its file.
    if (!file.settings.exists && !update(file)) return 1;
    const int64_t handle = nextHandle_++;
    std::memcpy(handleOut, &handle, sizeof handle);
    reporter_.detail(Event("settings-open").add("file", file.path.string()).add("handle", handle));
    open_.emplace(handle, std::move(file));
    return 0;
}

int64_t SettingsService::read(int64_t handle) {
    OpenFile* file = find(handle);
    return file && refresh(*file) ? 0 : 1;
}

int64_t SettingsService::write(int64_t handle) {
    OpenFile* file = find(handle);
    return file && update(*file) ? 0 : 1;
}

namespace {

// A text value delivered as an integer only when it is one, exactly.
bool textAsInt(const std::u16string& text, int64_t& out) {
    const std::string s = toUtf8(text);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

}  // namespace

const SettingValue* SettingsService::valueOf(const OpenFile& file, const std::u16string& key) {
    if (const auto it = file.pending.find(key); it != file.pending.end()) return &it->second;
    const SettingValues& values = file.settings.document.values();
    const auto it = values.find(key);
    return it == values.end() ? nullptr : &it->second;
}

int64_t SettingsService::get(void* recordPointer) {
    auto* record = static_cast<SettingsRecord*>(recordPointer);
    if (!record || !record->key) return 0;
    OpenFile* file = find(record->handle);
    if (!file) return 0;
    const SettingValue* found = valueOf(*file, record->key);
    if (!found) return 0;
    const SettingValue& value = *found;
    if (record->type == postrix::kSettingsInt) {
        int64_t n = value.integer;
        if (value.type == SettingValue::Type::Text && !textAsInt(value.text, n)) return 0;
        record->value.integer = n;
        return 1;
    }
    if (record->type == postrix::kSettingsText) {
        if (!record->value.text || record->length <= 0) return 0;
        const std::u16string text =
            value.type == SettingValue::Type::Text ? value.text : toUtf16(std::to_string(value.integer));
        // Within the stated capacity, terminator included.
        const size_t count = std::min(text.size(), static_cast<size_t>(record->length) - 1);
        std::memcpy(record->value.text, text.data(), count * sizeof(char16_t));
        record->value.text[count] = 0;
        return 1;
    }
    return 0;
}

int64_t SettingsService::set(const void* recordPointer) {
    const auto* record = static_cast<const SettingsRecord*>(recordPointer);
    if (!record || !record->key) return 1;
    OpenFile* file = find(record->handle);
    if (!file) return 1;
    if (record->type == postrix::kSettingsInt) {
        file->pending[record->key] = SettingValue::ofInt(record->value.integer);
        return 0;
    }
    if (record->type == postrix::kSettingsText) {
        const char16_t* text = record->value.text;
        std::u16string value;
        if (text) {
            // The stated length, but never past the terminator.
            size_t count = 0;
            while (text[count] && (record->length <= 0 || count < static_cast<size_t>(record->length))) {
                ++count;
            }
            value.assign(text, count);
        }
        file->pending[record->key] = SettingValue::ofText(std::move(value));
        return 0;
    }
    return 1;
}

int64_t SettingsService::destroy(int64_t handle) { return open_.erase(handle) ? 0 : 1; }

}  // namespace joxhost
