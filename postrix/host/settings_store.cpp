#include "host/settings_store.h"

#include <algorithm>
#include <vector>

#include "abi/records_plugin.h"
#include "host/log.h"
#include "platform/files.h"
#include "text/text_conversion.h"

namespace postrix {

namespace {

constexpr int32_t kDirectoryCapacity = 260;
constexpr int32_t kTextCapacity = 4096;

SettingsRecord settingsRecord(const char16_t* key, int32_t type, int64_t handle) {
    SettingsRecord record{};
    record.size = sizeof(SettingsRecord);
    record.key = key;
    record.type = type;
    record.handle = handle;
    return record;
}

}  // namespace

bool hostDirectory(const Host& host, std::u16string& directory) {
    std::vector<char16_t> buffer(kDirectoryCapacity, u'\0');
    DirectoryRecord record{};
    record.size = sizeof(DirectoryRecord);
    record.kind = 1;
    record.scope = 1;
    record.buffer = buffer.data();
    record.capacity = kDirectoryCapacity;
    if (host.call(u"JOX/GetDirectoryLocation", &record) != 0) return false;
    buffer.back() = u'\0';  // a host that filled the whole buffer still ends here
    directory = buffer.data();
    return true;
}

MailProtocol mailProtocol(SettingsStore& settings) {
    return settings.getText(keys::kProtocol) == protocolText(MailProtocol::Imap) ? MailProtocol::Imap
                                                                                 : MailProtocol::Pop3;
}

std::u16string_view protocolText(MailProtocol protocol) {
    return protocol == MailProtocol::Imap ? u"imap" : u"pop3";
}

std::u16string imapFolder(SettingsStore& settings) {
    std::u16string folder = settings.getText(keys::kImapFolder);
    return folder.empty() ? std::u16string(kDefaultImapFolder) : folder;
}

std::u16string SettingsStore::fileNameFor(std::u16string_view profileName) {
    if (profileName.empty()) return u"postrix.config";
    return u"postrix_" + std::u16string(profileName) + u".config";
}

SettingsStore::SettingsStore(Host host, uintptr_t moduleHandle, std::u16string_view profileName)
    : host_(host), moduleHandle_(moduleHandle) {
    std::u16string directory;
    if (!hostDirectory(host_, directory)) return;
    // The profile name ends at its first NUL, like the host's text would.
    profileName = profileName.substr(0, profileName.find(u'\0'));
    fileName_ = fileNameFor(profileName);
    const std::u16string path = platform::joinPath(directory, fileName_);
    if (host_.call(u"JOX/Settings/InitEx", reinterpret_cast<uintptr_t>(path.c_str()),
                   reinterpret_cast<uintptr_t>(&handle_)) != 0) {
        handle_ = 0;
        logFailure(host_, "Opening settings file " + text::wideToUtf8(fileName_) + " failed");
        return;
    }
    if (handle_ != 0) reload();
}

SettingsStore::~SettingsStore() { close(); }

void SettingsStore::reload() {
    if (handle_ != 0) host_.call(u"JOX/Settings/Read", static_cast<uintptr_t>(handle_));
}

void SettingsStore::flush() {
    if (handle_ == 0) return;
    if (host_.call(u"JOX/Settings/Write", static_cast<uintptr_t>(handle_)) == 0) {
        unsaved_.clear();
        return;
    }
    logFailure(host_, unsavedMessage());
}

std::string SettingsStore::unsavedMessage() const {
    std::string keys;
    for (const auto& key : unsaved_) keys += (keys.empty() ? " " : ", ") + text::wideToUtf8(key);
    const char* noun = unsaved_.size() == 1 ? "setting" : "settings";
    return "Writing " + std::string(noun) + keys + " to " + text::wideToUtf8(fileName_) + " failed";
}

void SettingsStore::remember(const char16_t* key) {
    if (std::find(unsaved_.begin(), unsaved_.end(), key) == unsaved_.end()) unsaved_.emplace_back(key);
}

std::u16string SettingsStore::getText(const char16_t* key) {
    if (handle_ == 0) return {};
    std::vector<char16_t> buffer(kTextCapacity, u'\0');
    SettingsRecord record = settingsRecord(key, kSettingsText, handle_);
    record.value.text = buffer.data();
    record.length = kTextCapacity;
    if (host_.call(u"JOX/Settings/Get", &record) == 0) return {};
    buffer.back() = u'\0';
    return buffer.data();
}

std::string SettingsStore::getTextUtf8(const char16_t* key) { return text::wideToUtf8(getText(key)); }

int32_t SettingsStore::getInt(const char16_t* key, int32_t defaultValue) {
    if (handle_ == 0) return defaultValue;
    SettingsRecord record = settingsRecord(key, kSettingsInt, handle_);
    if (host_.call(u"JOX/Settings/Get", &record) == 0) return defaultValue;
    return static_cast<int32_t>(static_cast<uint32_t>(record.value.integer & 0xFFFFFFFF));
}

void SettingsStore::setText(const char16_t* key, std::u16string_view value) {
    if (handle_ == 0) return;
    const std::u16string copy(value);
    SettingsRecord record = settingsRecord(key, kSettingsText, handle_);
    record.value.text = const_cast<char16_t*>(copy.c_str());
    record.length = static_cast<int32_t>(copy.size());
    host_.call(u"JOX/Settings/Set", &record);
    remember(key);
}

void SettingsStore::setInt(const char16_t* key, int32_t value) {
    if (handle_ == 0) return;
    SettingsRecord record = settingsRecord(key, kSettingsInt, handle_);
    record.value.integer = value;
    host_.call(u"JOX/Settings/Set", &record);
    remember(key);
}

void SettingsStore::close() {
    if (handle_ == 0) return;
    host_.call(u"JOX/Settings/Destroy", static_cast<uintptr_t>(handle_), moduleHandle_);
    handle_ = 0;
}

}  // namespace postrix
