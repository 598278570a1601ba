#include "win32ui/Win32Text.h"

#include <windows.h>

namespace torvane::win32ui {

std::wstring WideOf(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n > 0) {
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n);
        return wide;
    }
    std::wstring latin1;
    for (const char c : text) latin1.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return latin1;
}

std::string Utf8Of(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), n, nullptr, nullptr);
    return utf8;
}

}  // namespace torvane::win32ui
