#include "commands/TextHelpers.h"

#include "app/Application.h"
#include "app/FrameTexts.h"

#include <cstdio>

namespace vparse {

void allocationFailed(std::size_t bytes) {
    // The message holds the byte count in place of its "%d".
    const std::string pattern = texts::allocationFailedText;
    const std::size_t at = pattern.find("%d");
    std::string message = pattern.substr(0, at) + std::to_string(bytes) + pattern.substr(at + 2);
    fatalError(message, 0);
}

SplitPath<char> splitAtLastBackslash(std::string_view path) {
    std::size_t last = std::string_view::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (byte == 0) break;
        if (byte >= 0x80) {
            // The next byte belongs to this character; a terminating zero ends the search.
            if (i + 1 >= path.size() || path[i + 1] == '\0') break;
            ++i;
        } else if (byte == '\\') {
            last = i;
        }
    }
    if (last == std::string_view::npos) return {{}, path};
    return {path.substr(0, last), path.substr(last + 1)};
}

SplitPath<wchar_t> splitAtLastBackslash(std::wstring_view path) {
    const std::size_t last = path.rfind(L'\\');
    if (last == std::wstring_view::npos) return {{}, path};
    return {path.substr(0, last), path.substr(last + 1)};
}

std::optional<std::wstring> executableFileName() {
    const std::wstring& name = executableLocation().fileName;
    if (name.empty()) return std::nullopt;
    return name;
}

}  // namespace vparse
