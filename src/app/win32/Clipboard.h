#pragma once

#include <windows.h>

#include <string>

namespace velmaris {

// Replaces the clipboard's contents, in every format, by the text as CF_UNICODETEXT (Windows
// derives the 8-bit formats from it). Another program may hold the clipboard open for a moment,
// so opening it is retried briefly; if it stays busy the clipboard is left as it was and a
// Failure is raised.
void PutTextOnClipboard(HWND owner, const std::wstring& text);

}  // namespace velmaris
