// Driver for end-to-end tests: starts vparse.exe as a separate process and looks at
// and drives its windows from outside, the way a user or the shell would.
//
// Every wait has a deadline. A wait that runs out throws DriverError with a message
// that says what was awaited; GoogleTest reports it as a failure of the test, and the
// AppProcess destructor then terminates the program so nothing keeps running.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace e2e {

using Millis = std::chrono::milliseconds;

// Deadlines used by the tests. Wine starts a GUI program in well under a second
// with a warm wineserver; the margins cover a cold one.
inline constexpr Millis kStartTimeout{20000};
inline constexpr Millis kActionTimeout{5000};
inline constexpr Millis kExitTimeout{10000};

// The main window's caption, also used to find it.
inline constexpr wchar_t kMainTitle[] = L"墨舟制作_视频解析工具";

class DriverError : public std::runtime_error {
 public:
  explicit DriverError(const std::string& what) : std::runtime_error(what) {}
};

// ---------------------------------------------------------------------------
// Text helpers

std::wstring fromUtf8(std::string_view text);
std::string toUtf8(std::wstring_view text);
// "0x1234 'Button' \"天气\"" for messages.
std::string describeHandle(HWND hwnd);

// ---------------------------------------------------------------------------
// Waiting

// Polls `condition` until it yields true or `timeout` has passed; true if it did.
// The condition is always tried once more at the deadline.
bool pollUntil(const std::function<bool()>& condition, Millis timeout, Millis step = Millis{15});

// ---------------------------------------------------------------------------
// Handles

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept;
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void reset(HANDLE h = nullptr);

 private:
  HANDLE h_ = nullptr;
};

class UniqueRegKey {
 public:
  UniqueRegKey() = default;
  explicit UniqueRegKey(HKEY k) : k_(k) {}
  UniqueRegKey(UniqueRegKey&& other) noexcept : k_(std::exchange(other.k_, nullptr)) {}
  UniqueRegKey& operator=(UniqueRegKey&&) = delete;
  UniqueRegKey(const UniqueRegKey&) = delete;
  UniqueRegKey& operator=(const UniqueRegKey&) = delete;
  ~UniqueRegKey();
  HKEY get() const { return k_; }
  explicit operator bool() const { return k_ != nullptr; }

 private:
  HKEY k_ = nullptr;
};

// ---------------------------------------------------------------------------
// Files

// The product under test: the VPARSE_E2E_EXE environment variable when set, else the
// path compiled in as VPARSE_EXE_PATH; forward slashes become backslashes.
std::wstring productExePath();

// A fresh, empty folder under the temp folder, deleted with everything in it at the end.
// `name` may hold any characters a folder name may, Chinese ones included.
class TempDir {
 public:
  explicit TempDir(std::wstring_view name = L"vparse-e2e");
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// "\\?\" form of an absolute path (no change if it has one), for paths past MAX_PATH.
std::wstring extendedPath(const std::wstring& path);
// Creates `dir` and every missing parent (long paths allowed).
void createDirectories(const std::wstring& dir);
// Copies `source` to `dir`\`fileName`, creating `dir`; returns the new file's path
// (without the \\?\ prefix).
std::wstring copyFileTo(const std::wstring& source, const std::wstring& dir, const std::wstring& fileName);
// Deletes a folder tree (long paths allowed); best effort.
void removeTree(const std::wstring& dir);
// The part after the last backslash or slash.
std::wstring fileNameOf(const std::wstring& path);

// ---------------------------------------------------------------------------
// Windows of another process

struct WindowInfo {
  HWND hwnd = nullptr;
  std::wstring className;
  std::wstring text;
  LONG_PTR style = 0;
  LONG_PTR exStyle = 0;
  int id = 0;
  RECT rect{};  // children: in the parent's client coordinates; top-level: screen
  bool visible = false;  // own WS_VISIBLE bit
  bool enabled = false;

  int width() const { return rect.right - rect.left; }
  int height() const { return rect.bottom - rect.top; }
};

std::wstring windowClass(HWND hwnd);
// SendMessageTimeoutW: the result, or nullopt when the window did not answer in time.
// (Wine returns the message's result rather than success from SendMessageTimeoutW, so
// success is told by the error code.)
std::optional<LRESULT> sendWithTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       Millis timeout = Millis{2000});
// The whole text through WM_GETTEXT with a timeout, so a hung window does not hang
// the test; asks again with more room while a copy fills the buffer, so a text that
// grows between the length and the copy is not cut. Empty when the window does not
// answer.
std::wstring windowText(HWND hwnd);
WindowInfo describeWindow(HWND hwnd);
// Direct children, top of the z-order first (GW_CHILD, then GW_HWNDNEXT).
std::vector<HWND> childWindows(HWND parent);
std::vector<WindowInfo> describeChildren(HWND parent);
// Every descendant, depth first.
std::vector<HWND> descendantWindows(HWND parent);
// True when `hwnd` is `ancestor` or lies inside it.
bool isSameOrDescendant(HWND ancestor, HWND hwnd);
// Visible top-level windows of a process, optionally only of one class.
std::vector<HWND> topLevelWindows(DWORD processId, const wchar_t* className = nullptr, bool visibleOnly = true);
// Outer rectangle in screen coordinates.
RECT windowRect(HWND hwnd);

// ---------------------------------------------------------------------------
// Input

// Gives `hwnd` the keyboard focus from outside its thread (AttachThreadInput and
// SetFocus), as a click would; true when it then has the focus.
bool setFocusFromOutside(HWND hwnd);

// Whoever has the keyboard focus in the given GUI thread (GetGUIThreadInfo), or null.
HWND focusedWindow(DWORD threadId);
HWND activeWindow(DWORD threadId);
// Waits until `hwnd` is the foreground window, where real input goes; true if so.
bool waitForForeground(HWND hwnd, Millis timeout = kActionTimeout);

// lParam of a keyboard message: repeat count 1, scan code, extended bit for the keys
// that have one, context bit for Alt, previous-state and transition bits for key-up.
LPARAM keyLParam(UINT vk, bool keyUp, bool altDown);

// Posts WM_KEYDOWN and WM_KEYUP (WM_SYSKEYDOWN/UP with the context bit when `alt`)
// to `target`. The receiving thread's key state is not changed: for Shift and Ctrl
// chords use sendChord.
void postKey(HWND target, UINT vk, bool alt = false);
// Alt+F4 as the system delivers it: WM_SYSKEYDOWN VK_F4 with the context bit.
void postAltF4(HWND target);

// Real keyboard input with SendInput: presses the modifiers in order, taps `vk`,
// releases the modifiers in reverse. Goes to the foreground window's focus.
void sendChord(std::initializer_list<UINT> modifiers, UINT vk);
inline void sendKey(UINT vk) { sendChord({}, vk); }

// Posts a left click (button down, up) at a point of `hwnd`'s client area.
void postClick(HWND hwnd, POINT client);
// Real mouse click with SendInput at a point on the screen.
void sendClickAt(POINT screen);
// BM_CLICK, posted so that a modal box it opens does not block the test.
void postButtonClick(HWND button);
void postSysCommand(HWND hwnd, WPARAM command);
void postClose(HWND hwnd);

// ---------------------------------------------------------------------------
// Message boxes

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::wstring caption;
  std::wstring text;                 // the Static with id 0xFFFF
  std::vector<WindowInfo> buttons;   // every "Button" child, z-order
  HWND iconStatic = nullptr;         // the Static with SS_ICON, if any
};

MessageBoxInfo describeMessageBox(HWND dialog);

enum class StockIcon { Error, Warning, Information, Question };
const char* stockIconName(StockIcon icon);
// Which system icon is drawn in the message box's icon Static, judged from the screen
// pixels against each stock icon drawn here; nullopt when the area matches none.
std::optional<StockIcon> identifyMessageBoxIcon(const MessageBoxInfo& box);

// ---------------------------------------------------------------------------
// Icons on the screen

class UniqueIcon {
 public:
  explicit UniqueIcon(HICON icon = nullptr) : icon_(icon) {}
  UniqueIcon(UniqueIcon&& other) noexcept : icon_(std::exchange(other.icon_, nullptr)) {}
  UniqueIcon& operator=(UniqueIcon&&) = delete;
  UniqueIcon(const UniqueIcon&) = delete;
  UniqueIcon& operator=(const UniqueIcon&) = delete;
  ~UniqueIcon() {
    if (icon_) DestroyIcon(icon_);
  }
  HICON get() const { return icon_; }

 private:
  HICON icon_;
};

// The icon resource `name` of an executable file, loaded at size x size as the
// program itself would load it.
UniqueIcon loadIconResource(const std::wstring& exePath, const wchar_t* name, int size);
// Mean difference per pixel (sum over the three channels, 0 to 765) between the
// screen at `topLeft` and `icon` drawn at size x size, over the icon's opaque pixels.
double iconMismatchOnScreen(POINT topLeft, HICON icon, int size);
// The smallest iconMismatchOnScreen within `radius` pixels of `topLeft`.
double bestIconMismatchNear(POINT topLeft, HICON icon, int size, int radius);

// ---------------------------------------------------------------------------
// Registry: the per-program browser emulation values of the current user.

inline constexpr wchar_t kEmulationKey[] =
    L"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

struct RegValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  std::optional<DWORD> asDword() const;
};
std::optional<RegValue> readUserValue(const wchar_t* key, const std::wstring& valueName);
// True when the value existed and was deleted, false when it did not exist.
bool deleteUserValue(const wchar_t* key, const std::wstring& valueName);
void writeUserDword(const wchar_t* key, const std::wstring& valueName, DWORD value);
void writeUserString(const wchar_t* key, const std::wstring& valueName, const std::wstring& value);
inline std::optional<RegValue> readEmulationValue(const std::wstring& exeName) {
  return readUserValue(kEmulationKey, exeName);
}
inline bool deleteEmulationValue(const std::wstring& exeName) {
  return deleteUserValue(kEmulationKey, exeName);
}

// Deletes a key of the current user with its subkeys; false if it did not exist.
bool deleteUserKey(const std::wstring& key);

// Wine's per-program DLL override (HKCU\Software\Wine\AppDefaults\<exe>\DllOverrides),
// removed again at the end. An empty mode disables the DLL. Wine takes WINEDLLOVERRIDES
// from the environment of the Unix process only, not from the environment block that
// CreateProcessW passes, so a test cannot change it per child; this can.
class WineDllOverride {
 public:
  WineDllOverride(std::wstring exeName, const std::wstring& dll, const std::wstring& mode);
  WineDllOverride(const WineDllOverride&) = delete;
  WineDllOverride& operator=(const WineDllOverride&) = delete;
  ~WineDllOverride();

 private:
  std::wstring appKey_;
};

// Restores a user registry value to what it was when this object was made.
class UserValueGuard {
 public:
  UserValueGuard(const wchar_t* key, std::wstring valueName);
  UserValueGuard(const UserValueGuard&) = delete;
  UserValueGuard& operator=(const UserValueGuard&) = delete;
  ~UserValueGuard();

 private:
  std::wstring key_;
  std::wstring name_;
  std::optional<RegValue> saved_;
};

// ---------------------------------------------------------------------------
// The program under test

// Where the PEB of another (64-bit) process lies in that process; nullptr if it
// cannot be had.
const BYTE* processEnvironmentBlock(HANDLE process);
// Reads `size` bytes at `at` in another process; true when all of them were read.
bool readProcessMemory(HANDLE process, const void* at, void* into, size_t size);
// The current directory of another (64-bit) process, read from its process
// parameters, e.g. "C:\\folder\\" with the trailing backslash; nullopt if unreadable.
std::optional<std::wstring> processCurrentDirectory(HANDLE process);
// The folder part of a path, with a trailing backslash.
std::wstring folderOf(const std::wstring& path);

struct EnvChange {
  std::wstring name;
  std::optional<std::wstring> value;  // nullopt removes the variable
};

struct LaunchOptions {
  std::wstring exePath;           // empty: productExePath()
  std::wstring workingDirectory;  // empty: the test's own
  // Changes to the program's Windows environment. Wine reads http_proxy from there;
  // what its own Unix side reads (WINEDLLOVERRIDES, WINEDEBUG, LC_ALL and so the code
  // page) comes from the test process's Unix environment whatever this says.
  std::vector<EnvChange> environment;
};

// Our environment with `changes` applied (names compared without case), as the
// sorted, double-NUL-terminated block CreateProcessW takes.
std::wstring buildEnvironmentBlock(const std::vector<EnvChange>& changes);

class AppProcess {
 public:
  // Starts the program; throws DriverError when CreateProcessW fails.
  static AppProcess launch(const LaunchOptions& options = {});
  // Starts a copy of the product named `fileName` in the folder `dir`.
  static AppProcess launchCopy(const std::wstring& dir, const std::wstring& fileName,
                               LaunchOptions options = {});

  AppProcess(AppProcess&&) = default;
  AppProcess& operator=(AppProcess&&) = delete;
  AppProcess(const AppProcess&) = delete;
  AppProcess& operator=(const AppProcess&) = delete;
  // Terminates the program if it still runs.
  ~AppProcess();

  DWORD processId() const { return pid_; }
  HANDLE handle() const { return process_.get(); }
  const std::wstring& exePath() const { return exePath_; }
  // The path handed to CreateProcessW: exePath(), or its 8.3 form when exePath() is
  // MAX_PATH or longer (Wine starts no image by a longer path; see launch).
  const std::wstring& launchedPath() const { return launchedPath_; }

  bool running() const;
  // Exit code once the process has ended within `timeout`, else nullopt.
  std::optional<DWORD> waitForExit(Millis timeout = kExitTimeout) const;
  // Like waitForExit, but throws when it does not end in time.
  DWORD exitCode(Millis timeout = kExitTimeout) const;
  void terminate();

  // The top-level window titled kMainTitle, once visible and holding at least
  // `minChildren` children; throws on timeout or when the process ends first.
  HWND waitForMainWindow(Millis timeout = kStartTimeout, size_t minChildren = 11);
  // The main window found last (null before waitForMainWindow).
  HWND mainWindow() const { return main_; }
  DWORD guiThreadId() const;

  std::optional<HWND> findMessageBox() const;
  HWND waitForMessageBox(Millis timeout = kStartTimeout) const;

  // The focused window of the program's GUI thread.
  HWND focus() const { return focusedWindow(guiThreadId()); }
  // Posts a key press (postKey) to whichever window has the focus; asks again if that
  // window goes away meanwhile. Throws, saying whether the program still runs, when no
  // window of it takes the key within `timeout`.
  void postKeyToFocus(UINT vk, bool alt = false, Millis timeout = kActionTimeout) const;
  // "still runs" or "ended with exit code N", for messages.
  std::string stateText() const;
  // Waits until `condition(focus())` holds; returns the final focus either way.
  HWND waitForFocus(const std::function<bool(HWND)>& condition, Millis timeout = kActionTimeout) const;

 private:
  AppProcess() = default;
  UniqueHandle process_;
  UniqueHandle thread_;
  DWORD pid_ = 0;
  std::wstring exePath_;
  std::wstring launchedPath_;
  HWND main_ = nullptr;
};

}  // namespace e2e
