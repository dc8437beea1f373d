// The text helpers of the browsing commands: splitting a registry path at its last
// backslash (GBK and UTF-16) and joining texts of which some may be missing.
#include "commands/Emulation.h"
#include "commands/TextHelpers.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using vparse::concatTexts;
using vparse::splitAtLastBackslash;

// Bytes as "\xNN" escapes, so that a failure shows where a double-byte character was cut.
std::string escaped(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        }
    }
    return out;
}

struct NarrowSplitCase {
    const char* what;
    std::string path;
    std::string keyPath;
    std::string valueName;
};

// GBK: "乗" is 81 5C and "地" is B5 D8.
const std::vector<NarrowSplitCase> narrowSplitCases = {
    {"one backslash", "key\\value", "key", "value"},
    {"the last of several backslashes wins", "a\\b\\c.exe", "a\\b", "c.exe"},
    {"no backslash: all is the value name", "vparse.exe", "", "vparse.exe"},
    {"empty path", "", "", ""},
    {"leading backslash", "\\value", "", "value"},
    {"trailing backslash: empty value name", "key\\", "key", ""},
    {"doubled backslash", "key\\\\value", "key\\", "value"},
    {"0x5C trail byte alone is no backslash", "\x81\x5C", "", "\x81\x5C"},
    {"0x5C trail byte in the value name", "key\\\x81\x5C.exe", "key", "\x81\x5C.exe"},
    {"0x5C trail byte ends the value name", "key\\a\x81\x5C", "key", "a\x81\x5C"},
    {"0x5C trail byte in the key path", "k\x81\x5C\\value", "k\x81\x5C", "value"},
    {"0x5C trail bytes in a row", "\x81\x5C\x81\x5C\\\x81\x5C\x81\x5C", "\x81\x5C\x81\x5C",
     "\x81\x5C\x81\x5C"},
    {"real backslash right after a 0x5C trail byte", "\x81\x5C\\x", "\x81\x5C", "x"},
    {"lead byte 0x80 takes the next byte", "\x80\\x", "", "\x80\\x"},
    {"byte 0x7F is a single byte", "\x7F\\x", "\x7F", "x"},
    {"lead byte 0xFF takes the next byte", "a\\\xFF\\b", "a", "\xFF\\b"},
    {"ordinary double-byte characters", "\xB5\xD8\\\xB5\xD8.exe", "\xB5\xD8", "\xB5\xD8.exe"},
    {"trailing lead byte ends the search", "key\\value\x81", "key", "value\x81"},
    {"trailing lead byte alone", "\x81", "", "\x81"},
    {"the emulation key and a file name",
     "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION\\"
     "\xCA\xD3\xC6\xB5\xBD\xE2\xCE\xF6\xB9\xA4\xBE\xDF\x81\x5C.exe",
     "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION",
     "\xCA\xD3\xC6\xB5\xBD\xE2\xCE\xF6\xB9\xA4\xBE\xDF\x81\x5C.exe"},
};

TEST(CommandsSplitPath, GbkPathSplitsAtLastRealBackslash) {
    for (const NarrowSplitCase& c : narrowSplitCases) {
        SCOPED_TRACE(std::string(c.what) + ": " + escaped(c.path));
        const auto split = splitAtLastBackslash(std::string_view(c.path));
        EXPECT_EQ(escaped(split.keyPath), escaped(c.keyPath));
        EXPECT_EQ(escaped(split.valueName), escaped(c.valueName));
    }
}

struct WideSplitCase {
    const char* what;
    std::wstring path;
    std::wstring keyPath;
    std::wstring valueName;
};

const std::vector<WideSplitCase> wideSplitCases = {
    {"one backslash", L"key\\value", L"key", L"value"},
    {"the last of several backslashes wins", L"a\\b\\c.exe", L"a\\b", L"c.exe"},
    {"no backslash", L"vparse.exe", L"", L"vparse.exe"},
    {"empty path", L"", L"", L""},
    {"trailing backslash", L"key\\", L"key", L""},
    // UTF-16 has no trail bytes: "乗" (U+4E57) is one unit and no backslash.
    {"character whose GBK form ends in 0x5C", L"key\\乗.exe", L"key", L"乗.exe"},
    {"backslash right after it", L"乗\\乗", L"乗", L"乗"},
    {"character outside the BMP", L"key\\\U0001F600\U00020000.exe", L"key", L"\U0001F600\U00020000.exe"},
};

TEST(CommandsSplitPath, Utf16PathSplitsAtLastBackslash) {
    for (const WideSplitCase& c : wideSplitCases) {
        SCOPED_TRACE(c.what);
        const auto split = splitAtLastBackslash(std::wstring_view(c.path));
        EXPECT_EQ(std::wstring(split.keyPath), c.keyPath);
        EXPECT_EQ(std::wstring(split.valueName), c.valueName);
    }
}

struct NarrowConcatCase {
    const char* what;
    std::vector<const char*> texts;
    std::string joined;
};

const std::vector<NarrowConcatCase> narrowConcatCases = {
    {"one text", {"abc"}, "abc"},
    {"one missing text", {nullptr}, ""},
    {"one empty text", {""}, ""},
    {"two texts in order", {"ab", "cd"}, "abcd"},
    {"missing text in the middle", {"ab", nullptr, "cd"}, "abcd"},
    {"missing texts only", {nullptr, nullptr, nullptr}, ""},
    {"missing text first", {nullptr, "x"}, "x"},
    {"empty and missing texts around", {"", "x", nullptr, ""}, "x"},
    // Bytes are copied as they are: a lead byte at the end of one text meets the
    // first byte of the next one unchanged.
    {"lead byte at the end of a text", {"k\x81", "\x5C" "v"}, "k\x81\x5Cv"},
    {"double-byte texts", {"\xB5\xD8", "\xD6\xB7"}, "\xB5\xD8\xD6\xB7"},
    {"key prefix and file name",
     {"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION\\",
      "vparse.exe"},
     "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION\\"
     "vparse.exe"},
    {"key prefix and no file name",
     {"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION\\",
      nullptr},
     "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION\\"},
};

std::string joinNarrow(const std::vector<const char*>& texts) {
    // concatTexts takes an initializer list: spell out the counts the table uses.
    switch (texts.size()) {
    case 1: return concatTexts<char>({texts[0]});
    case 2: return concatTexts<char>({texts[0], texts[1]});
    case 3: return concatTexts<char>({texts[0], texts[1], texts[2]});
    case 4: return concatTexts<char>({texts[0], texts[1], texts[2], texts[3]});
    default: ADD_FAILURE() << "no join for " << texts.size() << " texts"; return {};
    }
}

TEST(CommandsConcatTexts, GbkTextsJoinInOrderAndMissingOnesCountAsEmpty) {
    for (const NarrowConcatCase& c : narrowConcatCases) {
        SCOPED_TRACE(c.what);
        const std::string joined = joinNarrow(c.texts);
        EXPECT_EQ(escaped(joined), escaped(c.joined));
    }
}

TEST(CommandsConcatTexts, Utf16TextsJoinInOrderAndMissingOnesCountAsEmpty) {
    EXPECT_EQ(concatTexts<wchar_t>({nullptr}), L"");
    EXPECT_EQ(concatTexts<wchar_t>({L"a", nullptr, L"乗"}), L"a乗");
    EXPECT_EQ(concatTexts<wchar_t>({vparse::emulationKeyPrefix, L"\U0001F600.exe"}),
              std::wstring(L"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
                           L"FEATURE_BROWSER_EMULATION\\\U0001F600.exe"));
}

TEST(CommandsConcatTexts, EmulationPrefixSplitsBackIntoKeyAndName) {
    // What registerBrowserEmulation builds splits into the emulation key and the name.
    const std::wstring path = concatTexts<wchar_t>({vparse::emulationKeyPrefix, L"a乗b.exe"});
    const auto split = splitAtLastBackslash(std::wstring_view(path));
    EXPECT_EQ(std::wstring(split.keyPath),
              L"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION");
    EXPECT_EQ(std::wstring(split.valueName), L"a乗b.exe");
    EXPECT_EQ(std::wstring_view(vparse::emulationKeyPrefix).size(), 83u);
}

}  // namespace
