#include "app/Text.h"

#include <windows.h>

#include <climits>

namespace vparse {

std::wstring toWide(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(textCodePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(textCodePage, 0, text.data(), length, wide.data(), needed);
    return wide;
}

Text fromWide(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(textCodePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    Text narrow(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(textCodePage, 0, text.data(), length, narrow.data(), needed, nullptr,
                        nullptr);
    return narrow;
}

}  // namespace vparse
