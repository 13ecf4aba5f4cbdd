// UTF-8 and UTF-16 for the Windows sides of the platform seams: portable code
// keeps every text, path and name in UTF-8; Windows' own calls take and give
// UTF-16. Header-only, because each of the library, the board, the programs
// and the tests is a binary of its own.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace wide_text {

inline std::wstring widen(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

inline std::string narrow(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string narrow_text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow_text.data(), length, nullptr,
                        nullptr);
    return narrow_text;
}

}  // namespace wide_text
