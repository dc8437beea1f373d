// The browser emulation registration against the real registry of the current user:
// writeRegistryValue (GBK and UTF-16 paths), registerBrowserEmulation, and a
// registry that refuses the key. Everything this file writes lies below
// HKCU\Software\vparse-tests, or is the emulation value of this test executable,
// which is put back as it was.
#include "app/MainWindow.h"
#include "app/WindowDefinition.h"
#include "commands/CommandTexts.h"
#include "commands/Emulation.h"
#include "commands/Handlers.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr wchar_t kTestRoot[] = L"Software\\vparse-tests";
constexpr wchar_t kEmulationKey[] =
    L"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
const std::vector<BYTE> kLevelBytes = {0xF9, 0x2A, 0x00, 0x00};  // 11001, little-endian

struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

std::optional<StoredValue> readValue(const std::wstring& key, const std::wstring& name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    StoredValue value;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(handle, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = RegQueryValueExW(handle, name.c_str(), nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

void writeRawValue(const std::wstring& key, const std::wstring& name, DWORD type,
                   const std::vector<BYTE>& data) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(handle, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

bool keyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

void deleteValue(const std::wstring& key, const std::wstring& name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS) return;
    RegDeleteValueW(handle, name.c_str());
    RegCloseKey(handle);
}

std::wstring ownFileName() {
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    const std::wstring full(path, length);
    return full.substr(full.find_last_of(L'\\') + 1);
}

// The test folder below HKCU, removed before and after each test.
class RegistryWrite : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot); }
};

// A value is written through the GBK overload or the UTF-16 one, as the case says.
struct PathCase {
    const char* what;
    std::string gbkPath;    // used when not empty
    std::wstring widePath;  // used otherwise
    std::wstring key;       // where the value must land
    std::wstring name;
};

const std::vector<PathCase> pathCases = {
    {"GBK path, missing parent keys", "Software\\vparse-tests\\a\\b\\c\\vparse.exe", {},
     L"Software\\vparse-tests\\a\\b\\c", L"vparse.exe"},
    {"UTF-16 path, missing parent keys", {}, L"Software\\vparse-tests\\a\\b\\c\\vparse.exe",
     L"Software\\vparse-tests\\a\\b\\c", L"vparse.exe"},
    // "视频解析工具乗.exe" in GBK; 乗 is 81 5C, so the name must not be cut after 81.
    {"GBK path with 0x5C trail bytes in key and name",
     "Software\\vparse-tests\\\x81\x5C\\\xCA\xD3\xC6\xB5\xBD\xE2\xCE\xF6\xB9\xA4\xBE\xDF\x81\x5C.exe", {},
     L"Software\\vparse-tests\\乗", L"视频解析工具乗.exe"},
    {"UTF-16 path with characters outside GBK", {}, L"Software\\vparse-tests\\乗\\\U0001F600\U00020000.exe",
     L"Software\\vparse-tests\\乗", L"\U0001F600\U00020000.exe"},
    // Without any backslash the key path is empty: the value lands in HKCU itself.
    // (Not run: it would write into the root of the user's registry.)
};

TEST_F(RegistryWrite, WritesDwordCreatingMissingKeys) {
    for (const PathCase& c : pathCases) {
        SCOPED_TRACE(c.what);
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
        ASSERT_FALSE(keyExists(c.key));
        const bool written = c.gbkPath.empty()
                                 ? vparse::writeRegistryValue(HKEY_CURRENT_USER, std::wstring_view(c.widePath),
                                                              vparse::emulationLevel)
                                 : vparse::writeRegistryValue(HKEY_CURRENT_USER, std::string_view(c.gbkPath),
                                                              vparse::emulationLevel);
        EXPECT_TRUE(written);
        const auto value = readValue(c.key, c.name);
        ASSERT_TRUE(value.has_value()) << "no value under the exact name";
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(value->data, kLevelBytes);
    }
}

TEST_F(RegistryWrite, ReplacesValueOfAnotherTypeOrNumber) {
    const std::wstring key = L"Software\\vparse-tests\\FeatureControl";
    struct Earlier {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
    };
    const std::vector<Earlier> earlier = {
        {"REG_SZ", REG_SZ, {'1', 0, '1', 0, '0', 0, '0', 0, '1', 0, 0, 0}},
        {"REG_BINARY", REG_BINARY, {0xF9, 0x2A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {"REG_DWORD of another number", REG_DWORD, {0x40, 0x1F, 0x00, 0x00}},
        {"REG_QWORD", REG_QWORD, {0xF9, 0x2A, 0, 0, 0, 0, 0, 0}},
        {"empty REG_BINARY", REG_BINARY, {}},
    };
    for (const Earlier& e : earlier) {
        SCOPED_TRACE(e.what);
        writeRawValue(key, L"vparse.exe", e.type, e.data);
        writeRawValue(key, L"other.exe", REG_DWORD, {1, 2, 3, 4});
        EXPECT_TRUE(vparse::writeRegistryValue(HKEY_CURRENT_USER, key + L"\\vparse.exe", vparse::emulationLevel));
        const auto value = readValue(key, L"vparse.exe");
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(value->data, kLevelBytes);
        // A neighbour in the same key is left alone.
        const auto neighbour = readValue(key, L"other.exe");
        ASSERT_TRUE(neighbour.has_value());
        EXPECT_EQ(neighbour->data, (std::vector<BYTE>{1, 2, 3, 4}));
    }
}

TEST_F(RegistryWrite, StoresTheNumberLittleEndian) {
    const struct {
        DWORD number;
        std::vector<BYTE> bytes;
    } cases[] = {
        {0, {0, 0, 0, 0}},
        {0xDEADBEEF, {0xEF, 0xBE, 0xAD, 0xDE}},
        {0x01020304, {0x04, 0x03, 0x02, 0x01}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_TRUE(vparse::writeRegistryValue(HKEY_CURRENT_USER, std::string_view("Software\\vparse-tests\\n"),
                                               c.number));
        const auto value = readValue(L"Software\\vparse-tests", L"n");
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(value->data, c.bytes);
    }
}

// ---------------------------------------------------------------------------
// registerBrowserEmulation writes under this executable's own file name.

// Puts the emulation value of this executable back as it was.
class EmulationValueGuard {
public:
    explicit EmulationValueGuard(std::wstring name) : name_(std::move(name)), saved_(readValue(kEmulationKey, name_)) {}
    ~EmulationValueGuard() {
        if (saved_) {
            writeRawValue(kEmulationKey, name_, saved_->type, saved_->data);
        } else {
            deleteValue(kEmulationKey, name_);
        }
    }
    EmulationValueGuard(const EmulationValueGuard&) = delete;
    EmulationValueGuard& operator=(const EmulationValueGuard&) = delete;

private:
    std::wstring name_;
    std::optional<StoredValue> saved_;
};

TEST(RegistryEmulation, RegisterWritesLevelUnderOwnFileNameEveryTime) {
    const std::wstring name = ownFileName();
    ASSERT_EQ(name, L"vparse_tests.exe");
    EmulationValueGuard guard(name);

    deleteValue(kEmulationKey, name);
    vparse::registerBrowserEmulation();
    auto value = readValue(kEmulationKey, name);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value->data, kLevelBytes);

    // Nothing checks whether the value is already there: a second call writes again.
    writeRawValue(kEmulationKey, name, REG_SZ, {'x', 0, 0, 0});
    vparse::registerBrowserEmulation();
    value = readValue(kEmulationKey, name);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value->data, kLevelBytes);
}

// ---------------------------------------------------------------------------
// A registry that refuses the key: HKEY_CURRENT_USER is redirected to a key that
// has been deleted while still open, below which nothing can be opened or created.

class RefusingRegistry {
public:
    RefusingRegistry() {
        const std::wstring doomed = std::wstring(kTestRoot) + L"\\refusing";
        if (RegCreateKeyExW(HKEY_CURRENT_USER, doomed.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle_,
                            nullptr) != ERROR_SUCCESS) {
            handle_ = nullptr;
            return;
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
        active_ = RegOverridePredefKey(HKEY_CURRENT_USER, handle_) == ERROR_SUCCESS;
    }
    ~RefusingRegistry() {
        if (active_) RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (handle_) RegCloseKey(handle_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    }
    RefusingRegistry(const RefusingRegistry&) = delete;
    RefusingRegistry& operator=(const RefusingRegistry&) = delete;

    bool active() const { return active_; }

    // Whether opening and creating below HKEY_CURRENT_USER really fail now.
    static bool refuses(const wchar_t* key) {
        HKEY handle = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_WRITE, &handle) == ERROR_SUCCESS) {
            RegCloseKey(handle);
            return false;
        }
        if (RegCreateKeyW(HKEY_CURRENT_USER, key, &handle) == ERROR_SUCCESS) {
            RegCloseKey(handle);
            return false;
        }
        return true;
    }

private:
    HKEY handle_ = nullptr;
    bool active_ = false;
};

// Watches this thread's top-level windows for a dialog box and closes each one it
// finds, so that a box opened by the code under test cannot hang the test.
class DialogWatcher {
public:
    DialogWatcher() : thread_(GetCurrentThreadId()), watcher_([this] { run(); }) {}
    ~DialogWatcher() {
        stop_ = true;
        watcher_.join();
    }
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    int seen() const { return seen_; }

private:
    void run() {
        while (!stop_) {
            EnumThreadWindows(
                thread_,
                [](HWND window, LPARAM self) -> BOOL {
                    wchar_t name[16] = {};
                    GetClassNameW(window, name, 16);
                    if (lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(window)) {
                        ++reinterpret_cast<DialogWatcher*>(self)->seen_;
                        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                        PostMessageW(window, WM_CLOSE, 0, 0);
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(this));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    DWORD thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    std::thread watcher_;
};

TEST(RegistryRefused, WriteAnswersFalseAndRegistrationShowsNothing) {
    const std::wstring name = ownFileName();
    EmulationValueGuard guard(name);
    deleteValue(kEmulationKey, name);
    {
        RefusingRegistry refusing;
        ASSERT_TRUE(refusing.active()) << "RegOverridePredefKey did not take";
        ASSERT_TRUE(RefusingRegistry::refuses(kEmulationKey)) << "the redirected registry still opens keys";
        ASSERT_TRUE(RefusingRegistry::refuses(L"Software\\vparse-tests\\x"));

        EXPECT_FALSE(vparse::writeRegistryValue(HKEY_CURRENT_USER, std::string_view("Software\\vparse-tests\\x\\v"),
                                                vparse::emulationLevel));
        EXPECT_FALSE(vparse::writeRegistryValue(HKEY_CURRENT_USER, std::wstring(kEmulationKey) + L"\\" + name,
                                                vparse::emulationLevel));

        DialogWatcher watcher;
        vparse::registerBrowserEmulation();  // returns: no box waits for a click
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(watcher.seen(), 0) << "a message box was shown";
    }
    // Back on the real registry: the refused write left nothing behind.
    EXPECT_FALSE(RefusingRegistry::refuses(kEmulationKey));
    EXPECT_FALSE(readValue(kEmulationKey, name).has_value());
    EXPECT_FALSE(keyExists(L"Software\\vparse-tests\\x"));
}

// ---------------------------------------------------------------------------
// The handlers in a window of this test's own: the browser box and the two address
// radio buttons of the program's definition, with a handler of the test bound to the
// box's beforeNavigate event. The real web-browser component raises BeforeNavigate2
// inside Navigate, so each navigation the handlers start is seen at once, with its
// address.

std::vector<vparse::Text> navigations;

void recordNavigation() {
    const vparse::Value address =
        vparse::readSetting(vparse::mainWindowNumber, vparse::controls::超文本浏览框1, vparse::BrowserBox::address);
    navigations.push_back(std::get<vparse::Text>(address));
}

vparse::WindowDefinition browserOnlyDefinition() {
    vparse::WindowDefinition definition = vparse::mainWindowDefinition();
    std::vector<vparse::ControlDefinition> kept;
    for (const vparse::ControlDefinition& control : definition.controls) {
        if (control.number == vparse::controls::超文本浏览框1 || control.number == vparse::controls::单选框1 ||
            control.number == vparse::controls::单选框2) {
            kept.push_back(control);
        }
    }
    definition.controls = kept;
    definition.bindings = {{vparse::controls::超文本浏览框1, vparse::BrowserBox::beforeNavigate, recordNavigation}};
    return definition;
}

class RegistryRefusedWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        oleReady_ = true;
        window_ = std::make_unique<vparse::MainWindow>(definition_);
        ASSERT_TRUE(window_->build());
        ASSERT_EQ(vparse::MainWindow::loaded(), window_.get());
        navigations.clear();
    }
    void TearDown() override {
        window_.reset();
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        if (oleReady_) OleUninitialize();
    }

    // The addresses navigated to by the handlers, in order. Before each handler the
    // radio button `checkRadio` is ticked and the other one cleared (0: neither).
    struct Step {
        void (*handler)();
        std::uint32_t checkRadio;
        bool navigates;
    };
    std::vector<vparse::Text> run(const std::vector<Step>& steps) {
        navigations.clear();
        for (const Step& step : steps) {
            for (std::uint32_t radio : {vparse::controls::单选框1, vparse::controls::单选框2}) {
                vparse::writeSetting(vparse::mainWindowNumber, radio, vparse::RadioButton::checked,
                                     vparse::Value(std::int32_t{radio == step.checkRadio}));
            }
            const size_t before = navigations.size();
            step.handler();
            if (step.navigates) {
                // The component may report a navigation later, from the message loop.
                pump([&] { return navigations.size() > before; }, std::chrono::milliseconds(3000));
            }
        }
        pump([] { return false; }, std::chrono::milliseconds(300));
        return navigations;
    }

    template <typename Done>
    static void pump(Done done, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        MSG message;
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }

    vparse::WindowDefinition definition_ = browserOnlyDefinition();
    std::unique_ptr<vparse::MainWindow> window_;
    bool oleReady_ = false;
};

TEST_F(RegistryRefusedWindow, HandlersStillNavigateWithoutMessage) {
    using vparse::controls::单选框1;
    using vparse::controls::单选框2;
    const std::vector<Step> steps = {
        {vparse::onWeatherClicked, 0, true},
        {vparse::onMapClicked, 0, true},
        {vparse::onParseClicked, 单选框1, true},
        {vparse::onParseClicked, 单选框2, true},
        {vparse::onParseClicked, 0, false},  // the warning, and no navigation
    };
    const std::vector<vparse::Text> expected = {
        vparse::texts::weatherPageAddress,
        vparse::texts::mapPageAddress,
        vparse::texts::parsePage1Address,
        vparse::texts::parsePage2Address,
    };
    const std::wstring name = ownFileName();
    EmulationValueGuard guard(name);

    // With the registry answering.
    int boxes = 0;
    {
        DialogWatcher watcher;
        EXPECT_EQ(run(steps), expected);
        boxes = watcher.seen();
    }
    EXPECT_EQ(boxes, 1) << "the parse command without an address warns once";
    ASSERT_TRUE(readValue(kEmulationKey, name).has_value());
    deleteValue(kEmulationKey, name);

    // With the registry refusing the key: the same navigations, the same one warning,
    // no further message and nothing written.
    {
        RefusingRegistry refusing;
        ASSERT_TRUE(refusing.active());
        ASSERT_TRUE(RefusingRegistry::refuses(kEmulationKey));
        DialogWatcher watcher;
        EXPECT_EQ(run(steps), expected);
        boxes = watcher.seen();
    }
    EXPECT_EQ(boxes, 1);
    EXPECT_FALSE(readValue(kEmulationKey, name).has_value());
}

}  // namespace
