// Records of the host's network connection service ("NetLib/...") and of the
// traffic report ("JOX/CallProtolHooks").
#pragma once

#include <cstdint>

#include "abi/abi.h"
#include "abi/record_check.h"

namespace postrix {

// The connection object: plug-in memory whose first member is the
// connection's id text. Its address is the handle of every NetLib call.
struct NetConnection {
    static constexpr int kMaxIdLength = 126;
    char16_t id[kMaxIdLength + 2];
};
POSTRIX_FIELD_AT(NetConnection, id, 0);

struct NetCreateRecord {
    int32_t size;  // 72
    int32_t padding;
    uint64_t reserved8[2];
    int32_t kind;  // 2
    int32_t padding2;
    JoxHandler handler;
    uintptr_t context;
    uint64_t reserved48;
    NetConnection* connection;
    uint64_t reserved64;
};
POSTRIX_RECORD_SIZE(NetCreateRecord, 72);
POSTRIX_FIELD_AT(NetCreateRecord, kind, 24);
POSTRIX_FIELD_AT(NetCreateRecord, handler, 32);
POSTRIX_FIELD_AT(NetCreateRecord, context, 40);
POSTRIX_FIELD_AT(NetCreateRecord, connection, 56);

struct NetConnectRecord {
    int32_t size;  // 72
    int32_t padding;
    NetConnection* connection;
    const char16_t* host;
    int32_t port;
    int32_t flags;  // 1
    uint64_t reserved[5];
};
POSTRIX_RECORD_SIZE(NetConnectRecord, 72);
POSTRIX_FIELD_AT(NetConnectRecord, connection, 8);
POSTRIX_FIELD_AT(NetConnectRecord, host, 16);
POSTRIX_FIELD_AT(NetConnectRecord, port, 24);
POSTRIX_FIELD_AT(NetConnectRecord, flags, 28);

struct NetSendRecord {
    int32_t size;  // 32
    int32_t padding;
    const char* bytes;
    int32_t count;
    int32_t padding2;
    NetConnection* connection;
};
POSTRIX_RECORD_SIZE(NetSendRecord, 32);
POSTRIX_FIELD_AT(NetSendRecord, bytes, 8);
POSTRIX_FIELD_AT(NetSendRecord, count, 16);
POSTRIX_FIELD_AT(NetSendRecord, connection, 24);

// "NetLib/InitSSL" takes the connection object and this value.
inline constexpr uintptr_t kInitSslFlags = 0xFF0000;

enum NetEventCode : int32_t {
    kNetConnected = 2,
    kNetClosed = 3,
    kNetData = 4,
    kNetTlsResult = 8,
    kNetError = 9,
};

// wParam of a connection event handler.
struct NetEventRecord {
    int32_t size;  // 16
    int32_t code;  // NetEventCode
    NetConnection* connection;
};
POSTRIX_RECORD_SIZE(NetEventRecord, 16);
POSTRIX_FIELD_AT(NetEventRecord, code, 4);

// lParam of a data event; a NUL follows the bytes.
struct NetDataEvent {
    int32_t size;  // 16
    int32_t count;
    const char* bytes;
};
POSTRIX_RECORD_SIZE(NetDataEvent, 16);
POSTRIX_FIELD_AT(NetDataEvent, count, 4);
POSTRIX_FIELD_AT(NetDataEvent, bytes, 8);

// lParam of a TLS result event. A connection error event (9) carries its
// int32 error code as lParam itself.
struct NetTlsEvent {
    int32_t size;    // 24
    int32_t status;  // 1 = success
    int32_t errorCode;
    int32_t padding;
    const char16_t* errorText;  // may be null
};
POSTRIX_RECORD_SIZE(NetTlsEvent, 24);
POSTRIX_FIELD_AT(NetTlsEvent, status, 4);
POSTRIX_FIELD_AT(NetTlsEvent, errorCode, 8);
POSTRIX_FIELD_AT(NetTlsEvent, errorText, 16);

enum TrafficDirection : int32_t { kTrafficReceived = 1, kTrafficSent = 2 };

// wParam of "JOX/CallProtolHooks".
struct TrafficHeaderRecord {
    int32_t size;  // 48
    int32_t zero;
    const char16_t* netClass;
    int32_t accountId;
    int32_t direction;  // TrafficDirection
    int32_t phase;      // 1, then 2
    uint8_t reserved[20];
};
POSTRIX_RECORD_SIZE(TrafficHeaderRecord, 48);
POSTRIX_FIELD_AT(TrafficHeaderRecord, netClass, 8);
POSTRIX_FIELD_AT(TrafficHeaderRecord, accountId, 16);
POSTRIX_FIELD_AT(TrafficHeaderRecord, direction, 20);
POSTRIX_FIELD_AT(TrafficHeaderRecord, phase, 24);

// lParam of "JOX/CallProtolHooks".
struct TrafficDataRecord {
    int32_t size;  // 24
    int32_t zero;
    const char* bytes;
    int32_t count;
    int32_t kind;  // 5
};
POSTRIX_RECORD_SIZE(TrafficDataRecord, 24);
POSTRIX_FIELD_AT(TrafficDataRecord, bytes, 8);
POSTRIX_FIELD_AT(TrafficDataRecord, count, 16);
POSTRIX_FIELD_AT(TrafficDataRecord, kind, 20);

}  // namespace postrix
