// Records in the current user's registry that the web-browser component hosted by
// this executable renders at the newest document mode.
#pragma once

#include <windows.h>

#include <string_view>

namespace vparse {

// "SOFTWARE\Microsoft\Internet Explorer\Main\FeatureControl\FEATURE_BROWSER_EMULATION\"
inline constexpr wchar_t emulationKeyPrefix[] =
    L"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION\\";
inline constexpr DWORD emulationLevel = 11001;

// Writes the emulation level under the executable's file name. Failures are silent.
void registerBrowserEmulation();

// Writes `value` as a REG_DWORD at `path` (key path, backslash, value name) under
// `root`, opening the key for writing or else creating it. True when the value was set.
bool writeRegistryValue(HKEY root, std::wstring_view path, DWORD value);
// The same for a GBK path, split by the double-byte rule.
bool writeRegistryValue(HKEY root, std::string_view path, DWORD value);

}  // namespace vparse
