// Records of notifications ("JOX/ShowStandardNotify") and news entries
// ("News/AddEntry").
#pragma once

#include <cstdint>

#include "abi/abi.h"
#include "abi/record_check.h"

namespace postrix {

struct NotifyRecord {
    int32_t size;  // 88
    int32_t padding;
    const char16_t* text;
    const char16_t* title;
    const char16_t* thirdText;
    const char16_t* iconId;
    int32_t value40;  // 3
    int32_t padding2;
    int32_t value48;  // 0, or 18 for the new-mail notice
    int32_t padding3;
    uint64_t reserved56;
    int32_t value64;  // 0, or 10 for the new-mail notice
    int32_t padding4;
    JoxHandler callback;  // called with a NotifyEventRecord
    uintptr_t context;
};
POSTRIX_RECORD_SIZE(NotifyRecord, 88);
POSTRIX_FIELD_AT(NotifyRecord, text, 8);
POSTRIX_FIELD_AT(NotifyRecord, title, 16);
POSTRIX_FIELD_AT(NotifyRecord, thirdText, 24);
POSTRIX_FIELD_AT(NotifyRecord, iconId, 32);
POSTRIX_FIELD_AT(NotifyRecord, value40, 40);
POSTRIX_FIELD_AT(NotifyRecord, value48, 48);
POSTRIX_FIELD_AT(NotifyRecord, value64, 64);
POSTRIX_FIELD_AT(NotifyRecord, callback, 72);
POSTRIX_FIELD_AT(NotifyRecord, context, 80);

enum NotifyEventKind : int32_t { kNotifyClicked = 1, kNotifyEnded = 4 };

// wParam of a notification callback.
struct NotifyEventRecord {
    int32_t size;  // 8
    int32_t kind;  // NotifyEventKind
};
POSTRIX_RECORD_SIZE(NotifyEventRecord, 8);
POSTRIX_FIELD_AT(NotifyEventRecord, kind, 4);

struct NewsEntryRecord {
    int32_t size;  // 112
    int32_t padding;
    const char16_t* firstText;  // address "-" sender "-" subject "-" date
    const char16_t* sender;
    const char16_t* subject;
    uint64_t reserved32;
    const char16_t* accountAddress;
    uint64_t reserved48;
    const char16_t* iconId;
    uint64_t reserved64[6];
};
POSTRIX_RECORD_SIZE(NewsEntryRecord, 112);
POSTRIX_FIELD_AT(NewsEntryRecord, firstText, 8);
POSTRIX_FIELD_AT(NewsEntryRecord, sender, 16);
POSTRIX_FIELD_AT(NewsEntryRecord, subject, 24);
POSTRIX_FIELD_AT(NewsEntryRecord, accountAddress, 40);
POSTRIX_FIELD_AT(NewsEntryRecord, iconId, 56);

}  // namespace postrix
