/* The Linux desktop bridge: how an embedding process shows the plug-in's
 * dialogs, message boxes, menus and file picker to a user.
 *
 * The process exports a C function named "joxDesktop" (JoxDesktopFunction);
 * the plug-in looks it up at load with dlsym(RTLD_DEFAULT, "joxDesktop") and
 * keeps the table it returns until unload. A null table, or no such
 * function, means no desktop: modal dialogs end as cancelled, the file picker
 * picks nothing, message boxes go to stderr and to the log.
 *
 * In return the plug-in hands the desktop a JoxDialogOps table with each
 * dialog, to read and operate its controls. Every text is zero-terminated
 * UTF-16 except file paths and addresses, which are bytes in the system's
 * code page (UTF-8). Every call happens on the thread that called the
 * plug-in; nothing here is thread-safe.
 *
 * Part of the host-facing ABI: joxhost includes this header. */
#ifndef POSTRIX_PLUGIN_DESKTOP_ABI_H
#define POSTRIX_PLUGIN_DESKTOP_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#else
#include <uchar.h>
#endif

#define JOX_DESKTOP_VERSION 1

/* One dialog of the plug-in, opaque to the desktop. */
typedef uintptr_t JoxWindow;

enum {
    JOX_CONTROL_LABEL = 1,
    JOX_CONTROL_EDIT = 2,
    JOX_CONTROL_BUTTON = 3,
    JOX_CONTROL_CHECKBOX = 4,
    JOX_CONTROL_COMBO = 5,
    JOX_CONTROL_PICTURE = 6
};

/* JoxControlInfo.style bits. */
enum {
    JOX_STYLE_PASSWORD = 1 << 0,
    JOX_STYLE_READ_ONLY = 1 << 1,
    JOX_STYLE_MULTI_LINE = 1 << 2,
    JOX_STYLE_DEFAULT_BUTTON = 1 << 3,
    JOX_STYLE_TAB_STOP = 1 << 4,
    JOX_STYLE_WANT_RETURN = 1 << 5
};

/* Keys for JoxDialogOps.pressKey. */
enum { JOX_KEY_RETURN = 13, JOX_KEY_ESCAPE = 27 };

/* The template ids of the dialogs a desktop meets. */
enum { JOX_DIALOG_OPTIONS_PAGE = 101, JOX_DIALOG_SEND_MAIL = 102 };

typedef struct JoxControlInfo {
    int32_t id;                    /* -1 for controls without an id */
    int32_t kind;                  /* JOX_CONTROL_* */
    int32_t visible;               /* 0 or 1 */
    int32_t checked;               /* check box: 0 or 1 */
    int32_t x, y, width, height;   /* pixels, client coordinates */
    int32_t style;                 /* JOX_STYLE_* bits */
    int32_t itemCount;             /* combo box entries */
    int32_t selection;             /* combo box: -1 = none */
    int32_t whiteBackground;       /* the dialog paints it white */
    const char16_t* text;          /* valid until the next call into the plug-in */
} JoxControlInfo;

typedef struct JoxWindowInfo {
    int32_t templateId;            /* JOX_DIALOG_* */
    int32_t visible;
    int32_t modal;
    int32_t ended;                 /* a modal dialog has ended */
    int32_t x, y;                  /* window position: pixels, parent's client coordinates */
    int32_t width, height;         /* whole window, frame included */
    int32_t clientWidth, clientHeight;
    int32_t minimumWidth, minimumHeight; /* smallest window size, 0 = none */
    int32_t controlCount;
    int32_t whiteBackground;
    const char16_t* caption;       /* valid until the next call into the plug-in */
} JoxWindowInfo;

/* What the plug-in offers the desktop to read and operate one of its
 * dialogs. Operations return 1 when done and 0 when refused (no such window
 * or control, a control of another kind, an ended dialog). */
typedef struct JoxDialogOps {
    int32_t size;                  /* sizeof(JoxDialogOps) */
    int32_t version;               /* JOX_DESKTOP_VERSION */
    int32_t (*window)(JoxWindow dialog, JoxWindowInfo* out);
    /* Controls in template order; index 0 .. controlCount-1. */
    int32_t (*control)(JoxWindow dialog, int32_t index, JoxControlInfo* out);
    /* The text of combo box entry `item` into buffer (terminated, cut to
     * capacity-1); its whole length, or -1 when there is no such entry. */
    int32_t (*itemText)(JoxWindow dialog, int32_t id, int32_t item, char16_t* buffer, int32_t capacity);
    /* Types into an edit (replacing its text); read-only edits refuse. */
    int32_t (*setText)(JoxWindow dialog, int32_t id, const char16_t* text);
    int32_t (*setChecked)(JoxWindow dialog, int32_t id, int32_t checked);
    /* Chooses combo box entry `item`. */
    int32_t (*select)(JoxWindow dialog, int32_t id, int32_t item);
    /* A click on a visible button, or a command id (menu choice, Esc = 2). */
    int32_t (*command)(JoxWindow dialog, int32_t id);
    /* A key pressed while control `id` has the focus: Return inserts a new
     * line in an edit that takes it and presses the default button elsewhere;
     * Esc cancels. */
    int32_t (*pressKey)(JoxWindow dialog, int32_t id, int32_t key);
    /* Drags the window frame to this whole-window size; the dialog keeps its
     * minimum. */
    int32_t (*resize)(JoxWindow dialog, int32_t width, int32_t height);
} JoxDialogOps;

/* JoxMenuEntry.flags bits. */
enum { JOX_MENU_SEPARATOR = 1 << 0, JOX_MENU_PICTURE = 1 << 1 };

typedef struct JoxMenuEntry {
    int32_t id;
    int32_t flags;                 /* JOX_MENU_* */
    const char16_t* text;          /* null for a separator */
} JoxMenuEntry;

/* JoxDesktop.messageBox kinds and answers. */
enum { JOX_BOX_OK = 0, JOX_BOX_ERROR = 1, JOX_BOX_WARNING = 2 };
enum { JOX_ANSWER_OK = 1 };

/* Receives one picked file: a full path. */
typedef void (*JoxFileSink)(void* sinkContext, const char* path);

typedef struct JoxDesktop {
    int32_t size;                  /* sizeof(JoxDesktop) */
    int32_t version;               /* JOX_DESKTOP_VERSION */
    uintptr_t context;             /* handed back to every callback */
    /* Shows a modal dialog and operates it through ops until it has ended,
     * then returns. If it returns earlier, the plug-in ends the dialog as
     * cancelled. */
    void (*runModal)(uintptr_t context, const JoxDialogOps* ops, JoxWindow dialog);
    /* A modeless page came into being or is going away. */
    void (*pageCreated)(uintptr_t context, const JoxDialogOps* ops, JoxWindow page);
    void (*pageDestroyed)(uintptr_t context, JoxWindow page);
    /* A modal message box; returns the answer (JOX_ANSWER_OK). owner is 0
     * for boxes without a dialog. */
    int32_t (*messageBox)(uintptr_t context, JoxWindow owner, const char16_t* title, const char16_t* text,
                          int32_t kind);
    /* The open-file dialog: hands each chosen file to sink and returns 1, or
     * returns 0 when the user cancelled. */
    int32_t (*pickFiles)(uintptr_t context, JoxWindow owner, const char* initialDirectory, JoxFileSink sink,
                         void* sinkContext);
    /* A pop-up menu; returns the chosen entry's id, 0 for none. */
    int32_t (*popupMenu)(uintptr_t context, JoxWindow owner, const JoxMenuEntry* entries, int32_t count);
    /* Opens an address (web page or document); nothing to wait for. */
    void (*openAddress)(uintptr_t context, const char* address);
} JoxDesktop;

/* The function the embedding process exports as "joxDesktop". */
typedef const JoxDesktop* (*JoxDesktopFunction)(void);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(JoxControlInfo) == 56);
static_assert(offsetof(JoxControlInfo, style) == 32);
static_assert(offsetof(JoxControlInfo, whiteBackground) == 44);
static_assert(offsetof(JoxControlInfo, text) == 48);
static_assert(sizeof(JoxWindowInfo) == 64);
static_assert(offsetof(JoxWindowInfo, caption) == 56);
static_assert(sizeof(JoxDialogOps) == 8 + 9 * 8);
static_assert(offsetof(JoxDialogOps, window) == 8);
static_assert(offsetof(JoxDialogOps, resize) == 8 + 8 * 8);
static_assert(sizeof(JoxMenuEntry) == 16);
static_assert(sizeof(JoxDesktop) == 16 + 7 * 8);
static_assert(offsetof(JoxDesktop, runModal) == 16);
static_assert(offsetof(JoxDesktop, openAddress) == 16 + 6 * 8);
#endif

#endif
