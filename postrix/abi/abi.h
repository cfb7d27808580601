/* The host ABI: the one contract between a JOX host and a plug-in.
 *
 * Identical on Linux and Windows x86-64. Every host text is a zero-terminated
 * UTF-16 string (char16_t, never wchar_t). Every handler the plug-in hands the
 * host has the JoxHandler signature and gets back the context it was given.
 * joxhost and the tests' fake host include this header and the records_*.h
 * headers beside it; nothing else of the plug-in. */
#ifndef POSTRIX_PLUGIN_ABI_H
#define POSTRIX_PLUGIN_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#else
#include <uchar.h>
#endif

typedef int64_t (*JoxHandler)(uintptr_t wParam, uintptr_t lParam, uintptr_t context);

/* The add-item function handed to "JOX/OnMenuRebuild" hooks. */
typedef int64_t (*JoxMenuAddItem)(uintptr_t menu, const char16_t* itemId);

typedef struct HostTable {                                                            /* 8 bytes per slot */
    int64_t (*createService)(const char16_t* name, JoxHandler handler, uintptr_t context); /* 0 */
    int64_t (*destroyService)(int64_t handle);                                          /* 1 */
    int64_t (*callService)(const char16_t* name, uintptr_t wParam, uintptr_t lParam);   /* 2 */
    int64_t (*serviceExists)(const char16_t* name);                                     /* 3 */
    void* unused[4];                                                                    /* 4..7 */
    int64_t (*hookEvent)(const char16_t* event, JoxHandler handler, uintptr_t context); /* 8 */
    int64_t (*unhookEvent)(int64_t hook);                                               /* 9 */
} HostTable;

#ifdef _WIN32
#define JOX_EXPORT __declspec(dllexport)
#else
#define JOX_EXPORT __attribute__((visibility("default")))
#endif

/* The three entry points a plug-in exports. */
typedef const void* (*JoxQueryPlugInfo)(uintptr_t unused);
typedef int32_t (*JoxPluginLoad)(uintptr_t unused, HostTable* host);
typedef int32_t (*JoxPluginUnload)(uintptr_t unused);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(void*) == 8, "the host ABI is 64-bit only");
static_assert(sizeof(char16_t) == 2);
static_assert(offsetof(HostTable, createService) == 0 * 8);
static_assert(offsetof(HostTable, destroyService) == 1 * 8);
static_assert(offsetof(HostTable, callService) == 2 * 8);
static_assert(offsetof(HostTable, serviceExists) == 3 * 8);
static_assert(offsetof(HostTable, hookEvent) == 8 * 8);
static_assert(offsetof(HostTable, unhookEvent) == 9 * 8);
static_assert(sizeof(HostTable) == 10 * 8);
#endif

#endif
