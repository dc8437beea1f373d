#include "commands/Emulation.h"

#include "app/Scoped.h"
#include "app/Text.h"
#include "commands/TextHelpers.h"

#include <string>

namespace vparse {

namespace {

bool writeDword(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                DWORD value) {
    ScopedKey key;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_WRITE, key.put()) != ERROR_SUCCESS) {
        // Creates missing parent keys too, and opens the key.
        if (RegCreateKeyW(root, keyPath.c_str(), key.put()) != ERROR_SUCCESS) return false;
    }
    const BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                          static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    return RegSetValueExW(key.get(), valueName.c_str(), 0, REG_DWORD, data, sizeof data) ==
           ERROR_SUCCESS;
}

}  // namespace

void registerBrowserEmulation() {
    // The name travels as UTF-16 from the platform to the registry, so a file name
    // with characters outside the ANSI code page is written exactly as it is.
    const std::optional<std::wstring> name = executableFileName();
    const std::wstring path = concatTexts({emulationKeyPrefix, name ? name->c_str() : nullptr});
    writeRegistryValue(HKEY_CURRENT_USER, path, emulationLevel);
}

bool writeRegistryValue(HKEY root, std::wstring_view path, DWORD value) {
    const SplitPath<wchar_t> split = splitAtLastBackslash(path);
    return writeDword(root, std::wstring(split.keyPath), std::wstring(split.valueName), value);
}

bool writeRegistryValue(HKEY root, std::string_view path, DWORD value) {
    const SplitPath<char> split = splitAtLastBackslash(path);
    return writeDword(root, toWide(split.keyPath), toWide(split.valueName), value);
}

}  // namespace vparse
