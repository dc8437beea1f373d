// Text helpers of the browsing commands.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <optional>
#include <string>
#include <string_view>

namespace vparse {

// Ends the program: a block of `bytes` bytes could not be had.
[[noreturn]] void allocationFailed(std::size_t bytes);

// One new text holding the given texts one after another; a missing (null) text
// counts as empty. The result is never missing.
template <typename Char>
std::basic_string<Char> concatTexts(std::initializer_list<const Char*> texts) {
    std::size_t length = 0;
    for (const Char* text : texts) {
        if (text) length += std::char_traits<Char>::length(text);
    }
    std::basic_string<Char> joined;
    try {
        joined.reserve(length);
    } catch (const std::bad_alloc&) {
        allocationFailed((length + 1) * sizeof(Char));
    } catch (const std::length_error&) {
        allocationFailed((length + 1) * sizeof(Char));
    }
    for (const Char* text : texts) {
        if (text) joined += text;
    }
    return joined;
}

// A full path split at its last backslash: the key path before it and the value
// name after it. Without a backslash the key path is empty.
template <typename Char>
struct SplitPath {
    std::basic_string_view<Char> keyPath;
    std::basic_string_view<Char> valueName;
};

// GBK text: a byte of 0x80 or above begins a double-byte character whose second
// byte is never taken for a backslash, even when it is 0x5C.
SplitPath<char> splitAtLastBackslash(std::string_view path);
// UTF-16 text: every backslash is a backslash.
SplitPath<wchar_t> splitAtLastBackslash(std::wstring_view path);

// The running executable's file name exactly as the platform stores it; nothing
// when that name is empty.
std::optional<std::wstring> executableFileName();

}  // namespace vparse
