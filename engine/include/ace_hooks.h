/*
 * ace_hooks.h - services a host process installs into the client engine.
 *
 * The engine has no user interface of its own. Functions that need one (AdsImageToClipboard)
 * go through a writer the host registers here; the host's own toolkit does the work. These
 * functions are for hosts, not for the components, and are not part of ace.h.
 */
#ifndef ACE_HOOKS_H
#define ACE_HOOKS_H

#include "ace.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Puts ulLength bytes on the system clipboard as data of the MIME type pcMimeType:
 * "text/plain;charset=utf-8" for memo text (converted to UTF-8 by the engine), "image/png",
 * "image/jpeg", "image/gif" or "image/bmp" for image fields whose bytes start like such a file,
 * "application/octet-stream" for any other binary value. Answers 0 on success, else an engine
 * error code (the engine then reports AE_GENERAL with the writer's code in the text). Called
 * on the thread that called AdsImageToClipboard; the writer is responsible for reaching the
 * toolkit's own thread. */
typedef UNSIGNED32 (*ADS_CLIPBOARD_WRITER)(const char* pcMimeType, const UNSIGNED8* pucData, UNSIGNED32 ulLength);

/* Installs the clipboard writer (null removes it); the last registration wins. */
ACE_API UNSIGNED32 AdsRegisterClipboardWriter(ADS_CLIPBOARD_WRITER pfnWriter);

/* The name a host looks the registration up by (dlsym), for hosts that do not link the engine
 * but run in a process that has loaded it. */
#define ADS_REGISTER_CLIPBOARD_WRITER_SYMBOL "AdsRegisterClipboardWriter"

#ifdef __cplusplus
}
#endif

#endif /* ACE_HOOKS_H */
