// Records of the plug-in frame: plug-in information, menu items, timers,
// the log and the settings service.
#pragma once

#include <cstdint>

#include "abi/abi.h"
#include "abi/record_check.h"

namespace postrix {

struct PluginInfo {
    int32_t size;  // 128
    int32_t padding;
    const char16_t* name;
    const char16_t* description;
    const char16_t* copyright;
    const char16_t* author;
    const char16_t* authorEmail;
    const char16_t* homepage;
    const char16_t* extra;  // empty text
    uint64_t version;       // four 16-bit numbers, most significant first
    uint64_t apiVersion;
    int64_t flags;  // 1
    int64_t reserved;
    const char16_t* guid;
    uint8_t reserved2[24];
};
POSTRIX_RECORD_SIZE(PluginInfo, 128);
POSTRIX_FIELD_AT(PluginInfo, name, 8);
POSTRIX_FIELD_AT(PluginInfo, extra, 56);
POSTRIX_FIELD_AT(PluginInfo, version, 64);
POSTRIX_FIELD_AT(PluginInfo, apiVersion, 72);
POSTRIX_FIELD_AT(PluginInfo, flags, 80);
POSTRIX_FIELD_AT(PluginInfo, guid, 96);
POSTRIX_FIELD_AT(PluginInfo, reserved2, 104);

// "JOX/Menu/Add" and "JOX/Menu/Remove".
struct MenuItemRecord {
    int32_t size;  // 96
    int32_t padding;
    const char16_t* itemId;
    const char16_t* parentId;
    const char16_t* caption;
    uint64_t reserved32[2];
    const char16_t* iconId;
    JoxHandler onClick;
    uint64_t reserved64[4];
};
POSTRIX_RECORD_SIZE(MenuItemRecord, 96);
POSTRIX_FIELD_AT(MenuItemRecord, itemId, 8);
POSTRIX_FIELD_AT(MenuItemRecord, parentId, 16);
POSTRIX_FIELD_AT(MenuItemRecord, caption, 24);
POSTRIX_FIELD_AT(MenuItemRecord, iconId, 48);
POSTRIX_FIELD_AT(MenuItemRecord, onClick, 56);

// "JOX/Timer/Create"; "JOX/Timer/Destroy" takes the id text alone.
struct TimerRecord {
    int32_t size;  // 48
    int32_t padding;
    const char16_t* timerId;
    int32_t intervalMs;
    int32_t padding2;
    JoxHandler handler;
    uintptr_t context;
    uint64_t reserved;
};
POSTRIX_RECORD_SIZE(TimerRecord, 48);
POSTRIX_FIELD_AT(TimerRecord, timerId, 8);
POSTRIX_FIELD_AT(TimerRecord, intervalMs, 16);
POSTRIX_FIELD_AT(TimerRecord, handler, 24);
POSTRIX_FIELD_AT(TimerRecord, context, 32);

// What a timer handler receives as wParam. The plug-in reads only the code.
struct TimerEventRecord {
    int32_t size;  // 24
    int32_t padding;
    const char16_t* timerId;
    int32_t code;  // 3 drives the timeout sweep; 1 and 3 drive mail checks
    int32_t padding2;
};
POSTRIX_RECORD_SIZE(TimerEventRecord, 24);
POSTRIX_FIELD_AT(TimerEventRecord, code, 16);

// "JOX/Log".
struct LogRecord {
    int32_t size;  // 40
    int32_t level;
    const char16_t* source;
    const char16_t* text;
    uint64_t reserved[2];
};
POSTRIX_RECORD_SIZE(LogRecord, 40);
POSTRIX_FIELD_AT(LogRecord, level, 4);
POSTRIX_FIELD_AT(LogRecord, source, 8);
POSTRIX_FIELD_AT(LogRecord, text, 16);

// "JOX/GetDirectoryLocation": the host fills buffer with the directory of
// the plug-in's configuration files.
struct DirectoryRecord {
    int32_t size;  // 40
    int32_t kind;  // 1
    int32_t scope;  // 1
    int32_t padding;
    uint64_t reserved;
    char16_t* buffer;
    int32_t capacity;  // characters, 260
    int32_t padding2;
};
POSTRIX_RECORD_SIZE(DirectoryRecord, 40);
POSTRIX_FIELD_AT(DirectoryRecord, kind, 4);
POSTRIX_FIELD_AT(DirectoryRecord, scope, 8);
POSTRIX_FIELD_AT(DirectoryRecord, buffer, 24);
POSTRIX_FIELD_AT(DirectoryRecord, capacity, 32);

enum SettingsType : int32_t { kSettingsInt = 1, kSettingsText = 3 };

// "JOX/Settings/Get" and "JOX/Settings/Set".
struct SettingsRecord {
    int32_t size;  // 48
    int32_t padding;
    const char16_t* key;
    int32_t type;  // SettingsType
    int32_t padding2;
    union {
        int64_t integer;  // written sign-extended, read as its low 32 bits
        char16_t* text;
    } value;
    int32_t length;  // text read: buffer capacity; text write: characters; int: 0
    int32_t padding3;
    int64_t handle;
};
POSTRIX_RECORD_SIZE(SettingsRecord, 48);
POSTRIX_FIELD_AT(SettingsRecord, key, 8);
POSTRIX_FIELD_AT(SettingsRecord, type, 16);
POSTRIX_FIELD_AT(SettingsRecord, value, 24);
POSTRIX_FIELD_AT(SettingsRecord, length, 32);
POSTRIX_FIELD_AT(SettingsRecord, handle, 40);

}  // namespace postrix
