// Texts of the system: 8-bit GBK (code page 936) held in std::string. They become
// UTF-16 only where they are handed to the platform, through the functions below.
#pragma once

#include <string>
#include <string_view>

namespace vparse {

using Text = std::string;

inline constexpr unsigned textCodePage = 936;

// GBK bytes -> UTF-16. A byte sequence that is not valid GBK is converted the
// platform's usual way (replacement characters), never dropped silently.
std::wstring toWide(std::string_view text);

// UTF-16 -> GBK bytes. Characters outside GBK become "?".
Text fromWide(std::wstring_view text);

}  // namespace vparse
