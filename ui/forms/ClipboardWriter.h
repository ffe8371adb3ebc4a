// The Qt clipboard writer of the client engine's AdsImageToClipboard. The engine has no window
// toolkit: it hands the field's bytes to a writer the process registers
// (engine/include/ace_hooks.h); this one puts them on QGuiApplication's clipboard.
#pragma once

#include <cstdint>

// Registers QtClipboardWriter with the engine when the engine is loaded in the process (looked
// up by name, so the window library does not link the engine). TApplication::Initialize calls
// it; calling it again is harmless. Answers whether the engine took the writer.
bool InstallEngineClipboardWriter();

// The writer: "text/plain;charset=utf-8" becomes the clipboard's text; an image type is decoded
// and put on the clipboard as image together with its bytes under its type (bytes that do not
// decode go as data only); any other type goes as data of that type. Runs the clipboard work on
// the application's thread (blocking the caller meanwhile). Answers 0, or 5007 when there is
// no graphical application.
uint32_t QtClipboardWriter(const char* mime_type, const uint8_t* data, uint32_t length);
