// Records of the message-send protocol function and of the message archive.
#pragma once

#include <cstdint>

#include "abi/abi.h"
#include "abi/record_check.h"

namespace postrix {

// wParam of an account's "MAIL/<id>/PFMessageSend" service. Only the named
// fields are read; the rest belongs to the host.
struct MessageSendRecord {
    int32_t size;  // 80
    int32_t padding;
    uint64_t reserved8[2];
    const char16_t* contactId;  // the recipient's e-mail address
    const char16_t* netClass;
    uint64_t reserved40[3];
    const char16_t* subject;  // may be null
    const char16_t* text;
};
POSTRIX_RECORD_SIZE(MessageSendRecord, 80);
POSTRIX_FIELD_AT(MessageSendRecord, contactId, 24);
POSTRIX_FIELD_AT(MessageSendRecord, netClass, 32);
POSTRIX_FIELD_AT(MessageSendRecord, subject, 64);
POSTRIX_FIELD_AT(MessageSendRecord, text, 72);

// The invalid-argument code widened with its sign.
inline constexpr int64_t kInvalidArgument = static_cast<int64_t>(0xFFFFFFFF80070057ull);

// The flags of a sent mail's archive entry. Their meaning belongs to the
// host; the plug-in passes them unchanged.
inline constexpr int32_t kArchiveSentMailFlags = 0x10000002;

// "Ar/WriteMessage".
struct ArchiveRecord {
    int32_t size;  // 144
    int32_t direction;  // -1
    uint64_t reserved8[4];
    const char16_t* contact;  // the recipients joined with ", "
    const char16_t* netClass;
    int32_t accountId;
    int32_t padding;
    uint64_t reserved64[2];
    const char16_t* subject;
    const char16_t* body;
    int32_t flags;  // kArchiveSentMailFlags
    int32_t padding2;
    int64_t time;  // seconds since 1970-01-01 00:00 UTC
    uint64_t reserved112[4];
};
POSTRIX_RECORD_SIZE(ArchiveRecord, 144);
POSTRIX_FIELD_AT(ArchiveRecord, direction, 4);
POSTRIX_FIELD_AT(ArchiveRecord, contact, 40);
POSTRIX_FIELD_AT(ArchiveRecord, netClass, 48);
POSTRIX_FIELD_AT(ArchiveRecord, accountId, 56);
POSTRIX_FIELD_AT(ArchiveRecord, subject, 80);
POSTRIX_FIELD_AT(ArchiveRecord, body, 88);
POSTRIX_FIELD_AT(ArchiveRecord, flags, 96);
POSTRIX_FIELD_AT(ArchiveRecord, time, 104);

}  // namespace postrix
