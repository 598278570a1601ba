#pragma once
// Texts between the core (UTF-8, or 8-bit product texts) and Windows (UTF-16).

#include <string>
#include <string_view>

namespace torvane::win32ui {

// A text from the system or the product as Windows text: UTF-8 when the
// bytes are valid UTF-8 (device paths, port and adapter names), else one
// character per byte, so that an 8-bit product text never turns into
// replacement marks.
std::wstring WideOf(std::string_view text);

// Windows text as UTF-8.
std::string Utf8Of(std::wstring_view text);

}  // namespace torvane::win32ui
