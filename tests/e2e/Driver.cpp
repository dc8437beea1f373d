#include "Driver.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <thread>

#ifndef VPARSE_EXE_PATH
#define VPARSE_EXE_PATH ""
#endif

namespace e2e {

namespace {

constexpr UINT kMessageTimeoutMs = 2000;

std::string lastErrorText(const char* what, DWORD error = GetLastError()) {
  return std::string(what) + " failed, error " + std::to_string(error);
}

bool startsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool equalNoCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool lessNoCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
}

bool isExtendedKey(UINT vk) {
  switch (vk) {
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN:
    case VK_INSERT: case VK_DELETE: case VK_HOME: case VK_END:
    case VK_PRIOR: case VK_NEXT: case VK_RCONTROL: case VK_RMENU:
    case VK_DIVIDE: case VK_NUMLOCK: case VK_LWIN: case VK_RWIN: case VK_APPS:
      return true;
    default:
      return false;
  }
}

INPUT keyInput(UINT vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = static_cast<WORD>(vk);
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0u) | (isExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0u);
  return in;
}

}  // namespace

// ---------------------------------------------------------------------------
// Text

std::wstring fromUtf8(std::string_view text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string toUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::string describeHandle(HWND hwnd) {
  char num[32];
  std::snprintf(num, sizeof num, "%p", static_cast<void*>(hwnd));
  if (!hwnd) return "(null window)";
  if (!IsWindow(hwnd)) return std::string(num) + " (no longer a window)";
  return std::string(num) + " '" + toUtf8(windowClass(hwnd)) + "' id " +
         std::to_string(GetDlgCtrlID(hwnd)) + " \"" + toUtf8(windowText(hwnd)) + "\"";
}

// ---------------------------------------------------------------------------
// Waiting

bool pollUntil(const std::function<bool()>& condition, Millis timeout, Millis step) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(step);
  }
}

// ---------------------------------------------------------------------------
// Handles

UniqueHandle& UniqueHandle::operator=(UniqueHandle&& other) noexcept {
  if (this != &other) reset(std::exchange(other.h_, nullptr));
  return *this;
}

void UniqueHandle::reset(HANDLE h) {
  if (h_) CloseHandle(h_);
  h_ = (h == INVALID_HANDLE_VALUE) ? nullptr : h;
}

UniqueRegKey::~UniqueRegKey() {
  if (k_) RegCloseKey(k_);
}

// ---------------------------------------------------------------------------
// Files

std::wstring productExePath() {
  std::wstring path;
  wchar_t buf[4096];
  DWORD n = GetEnvironmentVariableW(L"VPARSE_E2E_EXE", buf, static_cast<DWORD>(std::size(buf)));
  if (n > 0 && n < std::size(buf)) {
    path.assign(buf, n);
  } else {
    path = fromUtf8(VPARSE_EXE_PATH);
  }
  if (path.empty()) {
    throw DriverError("no path to vparse.exe: set the compile definition VPARSE_EXE_PATH or the environment variable VPARSE_E2E_EXE");
  }
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

std::wstring extendedPath(const std::wstring& path) {
  std::wstring p = path;
  std::replace(p.begin(), p.end(), L'/', L'\\');
  if (startsWith(p, L"\\\\?\\")) return p;
  if (startsWith(p, L"\\\\")) return L"\\\\?\\UNC\\" + p.substr(2);
  return L"\\\\?\\" + p;
}

std::wstring fileNameOf(const std::wstring& path) {
  size_t pos = path.find_last_of(L"\\/");
  return pos == std::wstring::npos ? path : path.substr(pos + 1);
}

void createDirectories(const std::wstring& dir) {
  const std::wstring ext = extendedPath(dir);
  // Skip the "\\?\C:\" (or "\\?\UNC\server\share\") root before creating parts.
  size_t start = 4;
  if (startsWith(ext, L"\\\\?\\UNC\\")) {
    start = ext.find(L'\\', 8);
    start = start == std::wstring::npos ? ext.size() : ext.find(L'\\', start + 1);
  } else {
    start = ext.find(L'\\', 4);
  }
  while (start != std::wstring::npos && start < ext.size()) {
    size_t next = ext.find(L'\\', start + 1);
    std::wstring part = ext.substr(0, next);
    if (!CreateDirectoryW(part.c_str(), nullptr)) {
      DWORD err = GetLastError();
      if (err != ERROR_ALREADY_EXISTS) {
        throw DriverError(lastErrorText(("CreateDirectoryW " + toUtf8(part)).c_str(), err));
      }
    }
    start = next;
  }
}

std::wstring copyFileTo(const std::wstring& source, const std::wstring& dir, const std::wstring& fileName) {
  createDirectories(dir);
  std::wstring target = dir;
  if (!target.empty() && target.back() != L'\\') target += L'\\';
  target += fileName;
  if (!CopyFileW(extendedPath(source).c_str(), extendedPath(target).c_str(), FALSE)) {
    throw DriverError(lastErrorText(("CopyFileW to " + toUtf8(target)).c_str()));
  }
  return target;
}

void removeTree(const std::wstring& dir) {
  const std::wstring ext = extendedPath(dir);
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((ext + L"\\*").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = ext + L"\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        // A program just terminated may hold its image a moment longer.
        pollUntil([&] { return DeleteFileW(child.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; },
                  Millis{2000}, Millis{50});
      }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  RemoveDirectoryW(ext.c_str());
}

TempDir::TempDir(std::wstring_view name) {
  static std::atomic<unsigned> counter{0};
  wchar_t base[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH) throw DriverError(lastErrorText("GetTempPathW"));
  std::wstring root(base, n);
  if (root.back() != L'\\') root += L'\\';
  path_ = root + std::wstring(name) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(counter++);
  createDirectories(path_);
}

TempDir::~TempDir() { removeTree(path_); }

// ---------------------------------------------------------------------------
// Windows

std::wstring windowClass(HWND hwnd) {
  wchar_t buf[256];
  int n = GetClassNameW(hwnd, buf, static_cast<int>(std::size(buf)));
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::optional<LRESULT> sendWithTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, Millis timeout) {
  DWORD_PTR result = 0;
  SetLastError(ERROR_SUCCESS);
  if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, static_cast<UINT>(timeout.count()),
                           &result) &&
      GetLastError() != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(result);
}

std::wstring windowText(HWND hwnd) {
  // The length is only a first guess at the buffer's size: the window's thread may
  // lengthen the text (a timer rewrites the hint line) between the two questions. A
  // copy that stops short of the buffer's end is the whole text; one that fills the
  // buffer may be cut, so it is asked for again with twice the room.
  constexpr size_t kMaxChars = size_t{1} << 25;
  const Millis timeout{kMessageTimeoutMs};
  auto len = sendWithTimeout(hwnd, WM_GETTEXTLENGTH, 0, 0, timeout);
  if (!len) return {};
  size_t size = std::max<size_t>(static_cast<size_t>(std::max<LRESULT>(*len, 0)) * 2 + 2, 256);
  for (;;) {
    std::wstring buf(size, L'\0');
    auto copied = sendWithTimeout(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), timeout);
    if (!copied || *copied <= 0) return {};
    const size_t n = std::min<size_t>(static_cast<size_t>(*copied), size - 1);
    buf.resize(n);
    if (n + 1 < size || size >= kMaxChars) return buf;
    size *= 2;
  }
}

RECT windowRect(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

WindowInfo describeWindow(HWND hwnd) {
  WindowInfo info;
  info.hwnd = hwnd;
  info.className = windowClass(hwnd);
  info.text = windowText(hwnd);
  info.style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  info.exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  info.id = GetDlgCtrlID(hwnd);
  info.rect = windowRect(hwnd);
  HWND parent = GetAncestor(hwnd, GA_PARENT);
  if (parent && parent != GetDesktopWindow()) {
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&info.rect), 2);
  }
  info.visible = (info.style & WS_VISIBLE) != 0;
  info.enabled = IsWindowEnabled(hwnd) != FALSE;
  return info;
}

std::vector<HWND> childWindows(HWND parent) {
  std::vector<HWND> out;
  for (HWND h = GetWindow(parent, GW_CHILD); h && out.size() < 10000; h = GetWindow(h, GW_HWNDNEXT)) {
    out.push_back(h);
  }
  return out;
}

std::vector<WindowInfo> describeChildren(HWND parent) {
  std::vector<WindowInfo> out;
  for (HWND h : childWindows(parent)) out.push_back(describeWindow(h));
  return out;
}

std::vector<HWND> descendantWindows(HWND parent) {
  std::vector<HWND> out;
  for (HWND h : childWindows(parent)) {
    out.push_back(h);
    auto sub = descendantWindows(h);
    out.insert(out.end(), sub.begin(), sub.end());
  }
  return out;
}

bool isSameOrDescendant(HWND ancestor, HWND hwnd) {
  return hwnd && ancestor && (hwnd == ancestor || IsChild(ancestor, hwnd));
}

std::vector<HWND> topLevelWindows(DWORD processId, const wchar_t* className, bool visibleOnly) {
  struct Query {
    DWORD pid;
    const wchar_t* cls;
    bool visibleOnly;
    std::vector<HWND> found;
  } q{processId, className, visibleOnly, {}};
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* q = reinterpret_cast<Query*>(lp);
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid != q->pid) return TRUE;
        if (q->visibleOnly && !IsWindowVisible(h)) return TRUE;
        if (q->cls && windowClass(h) != q->cls) return TRUE;
        q->found.push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&q));
  return q.found;
}

// ---------------------------------------------------------------------------
// Input

bool setFocusFromOutside(HWND hwnd) {
  const DWORD target = GetWindowThreadProcessId(hwnd, nullptr);
  const DWORD self = GetCurrentThreadId();
  if (!target || !AttachThreadInput(self, target, TRUE)) return false;
  SetFocus(hwnd);
  const bool ok = GetFocus() == hwnd;
  AttachThreadInput(self, target, FALSE);
  return ok || focusedWindow(target) == hwnd;
}

HWND focusedWindow(DWORD threadId) {
  GUITHREADINFO gti{};
  gti.cbSize = sizeof gti;
  if (!GetGUIThreadInfo(threadId, &gti)) return nullptr;
  return gti.hwndFocus;
}

HWND activeWindow(DWORD threadId) {
  GUITHREADINFO gti{};
  gti.cbSize = sizeof gti;
  if (!GetGUIThreadInfo(threadId, &gti)) return nullptr;
  return gti.hwndActive;
}

bool waitForForeground(HWND hwnd, Millis timeout) {
  return pollUntil([&] { return GetForegroundWindow() == hwnd; }, timeout);
}

LPARAM keyLParam(UINT vk, bool keyUp, bool altDown) {
  LPARAM lp = 1;  // repeat count
  lp |= static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) & 0xFF) << 16;
  if (isExtendedKey(vk)) lp |= LPARAM{1} << 24;
  if (altDown) lp |= LPARAM{1} << 29;
  if (keyUp) lp |= (LPARAM{1} << 30) | (LPARAM{1} << 31);
  // Keep the message's lParam a 32-bit pattern on 64-bit builds too.
  return static_cast<LPARAM>(static_cast<DWORD>(lp));
}

void postKey(HWND target, UINT vk, bool alt) {
  if (!target) throw DriverError("postKey: no target window (nothing has the focus?)");
  const UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
  const UINT up = alt ? WM_SYSKEYUP : WM_KEYUP;
  if (!PostMessageW(target, down, vk, keyLParam(vk, false, alt)) ||
      !PostMessageW(target, up, vk, keyLParam(vk, true, alt))) {
    throw DriverError(lastErrorText("PostMessageW key"));
  }
}

void postAltF4(HWND target) {
  if (!target) throw DriverError("postAltF4: no target window");
  PostMessageW(target, WM_SYSKEYDOWN, VK_MENU, keyLParam(VK_MENU, false, true));
  PostMessageW(target, WM_SYSKEYDOWN, VK_F4, keyLParam(VK_F4, false, true));
  PostMessageW(target, WM_SYSKEYUP, VK_F4, keyLParam(VK_F4, true, true));
  PostMessageW(target, WM_KEYUP, VK_MENU, keyLParam(VK_MENU, true, false));
}

void sendChord(std::initializer_list<UINT> modifiers, UINT vk) {
  std::vector<INPUT> inputs;
  for (UINT m : modifiers) inputs.push_back(keyInput(m, false));
  inputs.push_back(keyInput(vk, false));
  inputs.push_back(keyInput(vk, true));
  for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) inputs.push_back(keyInput(*it, true));
  UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size()) throw DriverError(lastErrorText("SendInput keys"));
}

void postClick(HWND hwnd, POINT client) {
  const LPARAM at = MAKELPARAM(client.x, client.y);
  PostMessageW(hwnd, WM_MOUSEMOVE, 0, at);
  PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
}

void sendClickAt(POINT screen) {
  // Put the pointer there first and let the display catch up: a warp still on its way
  // through the X server can otherwise move the pointer back under the click.
  if (!SetCursorPos(screen.x, screen.y)) throw DriverError(lastErrorText("SetCursorPos"));
  std::this_thread::sleep_for(Millis{100});
  // Then give the place with every event, in primary-screen units of 1/65536.
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  const LONG dx = static_cast<LONG>((static_cast<long long>(screen.x) * 65536 + width / 2) / width);
  const LONG dy = static_cast<LONG>((static_cast<long long>(screen.y) * 65536 + height / 2) / height);
  INPUT in[3]{};
  const DWORD flags[3] = {MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
  for (int i = 0; i < 3; ++i) {
    in[i].type = INPUT_MOUSE;
    in[i].mi.dx = dx;
    in[i].mi.dy = dy;
    in[i].mi.dwFlags = flags[i] | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  }
  if (SendInput(3, in, sizeof(INPUT)) != 3) throw DriverError(lastErrorText("SendInput mouse"));
}

void postButtonClick(HWND button) {
  if (!PostMessageW(button, BM_CLICK, 0, 0)) throw DriverError(lastErrorText("PostMessageW BM_CLICK"));
}

void postSysCommand(HWND hwnd, WPARAM command) {
  if (!PostMessageW(hwnd, WM_SYSCOMMAND, command, 0)) throw DriverError(lastErrorText("PostMessageW WM_SYSCOMMAND"));
}

void postClose(HWND hwnd) {
  if (!PostMessageW(hwnd, WM_CLOSE, 0, 0)) throw DriverError(lastErrorText("PostMessageW WM_CLOSE"));
}

// ---------------------------------------------------------------------------
// Message boxes

MessageBoxInfo describeMessageBox(HWND dialog) {
  MessageBoxInfo box;
  box.hwnd = dialog;
  box.caption = windowText(dialog);
  for (const WindowInfo& child : describeChildren(dialog)) {
    const bool isStatic = equalNoCase(child.className, L"Static");
    if (isStatic && (child.id & 0xFFFF) == 0xFFFF) box.text = child.text;
    if (isStatic && (child.style & SS_TYPEMASK) == SS_ICON) box.iconStatic = child.hwnd;
    if (equalNoCase(child.className, L"Button")) box.buttons.push_back(child);
  }
  return box;
}

const char* stockIconName(StockIcon icon) {
  switch (icon) {
    case StockIcon::Error: return "error";
    case StockIcon::Warning: return "warning";
    case StockIcon::Information: return "information";
    case StockIcon::Question: return "question";
  }
  return "?";
}

namespace {

// 32-bit top-down DIB section with its own memory DC.
class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bmp_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bmp_);
    DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  HDC dc() const { return dc_; }
  void fill(COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    RECT r{0, 0, w_, h_};
    FillRect(dc_, &r, b);
    DeleteObject(b);
    GdiFlush();
  }
  DWORD at(int x, int y) const { return bits_[y * w_ + x] & 0xFFFFFF; }

 private:
  int w_, h_;
  HDC dc_ = nullptr;
  HBITMAP bmp_ = nullptr;
  HGDIOBJ old_ = nullptr;
  DWORD* bits_ = nullptr;
};

int channelDiff(DWORD a, DWORD b) {
  int d = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    d += std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
  }
  return d;
}

}  // namespace

namespace {

// Mean difference between a screen shot and `icon` over the icon's opaque pixels
// (those that come out the same drawn on black and on white); nullopt when the icon
// has too few of them to judge.
std::optional<double> iconMismatch(const Canvas& shot, HICON icon, int size) {
  Canvas onBlack(size, size), onWhite(size, size);
  onBlack.fill(RGB(0, 0, 0));
  onWhite.fill(RGB(255, 255, 255));
  DrawIconEx(onBlack.dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  DrawIconEx(onWhite.dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  GdiFlush();
  long long total = 0;
  int counted = 0;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      if (onBlack.at(x, y) != onWhite.at(x, y)) continue;
      total += channelDiff(onBlack.at(x, y), shot.at(x, y));
      ++counted;
    }
  }
  if (counted < size * size / 8) return std::nullopt;
  return static_cast<double>(total) / counted;
}

void captureScreen(Canvas& into, POINT topLeft, int size) {
  HDC screen = GetDC(nullptr);
  BitBlt(into.dc(), 0, 0, size, size, screen, topLeft.x, topLeft.y, SRCCOPY);
  ReleaseDC(nullptr, screen);
  GdiFlush();
}

}  // namespace

UniqueIcon loadIconResource(const std::wstring& exePath, const wchar_t* name, int size) {
  HMODULE module = LoadLibraryExW(extendedPath(exePath).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) throw DriverError(lastErrorText(("LoadLibraryExW " + toUtf8(exePath)).c_str()));
  HICON icon = static_cast<HICON>(LoadImageW(module, name, IMAGE_ICON, size, size, 0));
  DWORD error = GetLastError();
  FreeLibrary(module);
  if (!icon) throw DriverError(lastErrorText(("LoadImageW " + toUtf8(name)).c_str(), error));
  return UniqueIcon(icon);
}

double iconMismatchOnScreen(POINT topLeft, HICON icon, int size) {
  Canvas shot(size, size);
  captureScreen(shot, topLeft, size);
  return iconMismatch(shot, icon, size).value_or(765.0);
}

double bestIconMismatchNear(POINT topLeft, HICON icon, int size, int radius) {
  double best = 765.0;
  for (int dy = -radius; dy <= radius; ++dy) {
    for (int dx = -radius; dx <= radius; ++dx) {
      best = std::min(best, iconMismatchOnScreen({topLeft.x + dx, topLeft.y + dy}, icon, size));
    }
  }
  return best;
}

std::optional<StockIcon> identifyMessageBoxIcon(const MessageBoxInfo& box) {
  if (!box.iconStatic) return std::nullopt;
  const int size = GetSystemMetrics(SM_CXICON);
  const RECT r = windowRect(box.iconStatic);
  Canvas shot(size, size);
  captureScreen(shot, {r.left, r.top}, size);

  const std::pair<StockIcon, WORD> candidates[] = {
      {StockIcon::Error, 32513 /* IDI_HAND */},
      {StockIcon::Warning, 32515 /* IDI_EXCLAMATION */},
      {StockIcon::Information, 32516 /* IDI_ASTERISK */},
      {StockIcon::Question, 32514 /* IDI_QUESTION */},
  };
  std::optional<StockIcon> best;
  double bestScore = 1e9;
  for (auto [kind, id] : candidates) {
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(id));
    if (!icon) continue;
    auto score = iconMismatch(shot, icon, size);
    if (score && *score < bestScore) {
      bestScore = *score;
      best = kind;
    }
  }
  // Mean difference over three channels; an exact blit gives 0.
  if (bestScore > 24.0) return std::nullopt;
  return best;
}

// ---------------------------------------------------------------------------
// Registry

std::optional<DWORD> RegValue::asDword() const {
  if (type != REG_DWORD || data.size() != sizeof(DWORD)) return std::nullopt;
  DWORD v;
  std::memcpy(&v, data.data(), sizeof v);
  return v;
}

std::optional<RegValue> readUserValue(const wchar_t* key, const std::wstring& valueName) {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) return std::nullopt;
  UniqueRegKey k(raw);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(k.get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  RegValue v;
  v.type = type;
  v.data.resize(size);
  if (RegQueryValueExW(k.get(), valueName.c_str(), nullptr, &type, v.data.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  v.data.resize(size);
  return v;
}

bool deleteUserKey(const std::wstring& key) {
  LSTATUS st = RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  if (st == ERROR_FILE_NOT_FOUND) return false;
  if (st != ERROR_SUCCESS) throw DriverError(lastErrorText("RegDeleteTreeW", static_cast<DWORD>(st)));
  RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
  return true;
}

bool deleteUserValue(const wchar_t* key, const std::wstring& valueName) {
  HKEY raw = nullptr;
  LSTATUS st = RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_SET_VALUE, &raw);
  if (st == ERROR_FILE_NOT_FOUND) return false;
  if (st != ERROR_SUCCESS) throw DriverError(lastErrorText("RegOpenKeyExW", static_cast<DWORD>(st)));
  UniqueRegKey k(raw);
  st = RegDeleteValueW(k.get(), valueName.c_str());
  if (st == ERROR_FILE_NOT_FOUND) return false;
  if (st != ERROR_SUCCESS) throw DriverError(lastErrorText("RegDeleteValueW", static_cast<DWORD>(st)));
  return true;
}

namespace {
void writeUserValue(const wchar_t* key, const std::wstring& valueName, DWORD type, const void* data, DWORD size) {
  HKEY raw = nullptr;
  LSTATUS st = RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr);
  if (st != ERROR_SUCCESS) throw DriverError(lastErrorText("RegCreateKeyExW", static_cast<DWORD>(st)));
  UniqueRegKey k(raw);
  st = RegSetValueExW(k.get(), valueName.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  if (st != ERROR_SUCCESS) throw DriverError(lastErrorText("RegSetValueExW", static_cast<DWORD>(st)));
}
}  // namespace

void writeUserDword(const wchar_t* key, const std::wstring& valueName, DWORD value) {
  writeUserValue(key, valueName, REG_DWORD, &value, sizeof value);
}

void writeUserString(const wchar_t* key, const std::wstring& valueName, const std::wstring& value) {
  writeUserValue(key, valueName, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

WineDllOverride::WineDllOverride(std::wstring exeName, const std::wstring& dll, const std::wstring& mode)
    : appKey_(L"Software\\Wine\\AppDefaults\\" + std::move(exeName)) {
  writeUserString((appKey_ + L"\\DllOverrides").c_str(), dll, mode);
}

WineDllOverride::~WineDllOverride() {
  try {
    deleteUserKey(appKey_);
  } catch (const DriverError&) {
    // Best effort in a destructor.
  }
}

UserValueGuard::UserValueGuard(const wchar_t* key, std::wstring valueName)
    : key_(key), name_(std::move(valueName)), saved_(readUserValue(key, name_)) {}

UserValueGuard::~UserValueGuard() {
  try {
    if (saved_) {
      writeUserValue(key_.c_str(), name_, saved_->type, saved_->data.data(), static_cast<DWORD>(saved_->data.size()));
    } else {
      deleteUserValue(key_.c_str(), name_);
    }
  } catch (const DriverError&) {
    // Best effort in a destructor.
  }
}

// ---------------------------------------------------------------------------
// Launching

const BYTE* processEnvironmentBlock(HANDLE process) {
  static_assert(sizeof(void*) == 8, "the layout below is that of 64-bit processes");
  // PROCESS_BASIC_INFORMATION.
  struct BasicInfo {
    LONG_PTR exitStatus;
    PVOID pebBaseAddress;
    ULONG_PTR affinityMask;
    LONG_PTR basePriority;
    ULONG_PTR uniqueProcessId;
    ULONG_PTR parentProcessId;
  };
  using Query = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  BasicInfo info{};
  if (!query || query(process, 0 /* ProcessBasicInformation */, &info, sizeof info, nullptr) != 0) return nullptr;
  return static_cast<const BYTE*>(info.pebBaseAddress);
}

bool readProcessMemory(HANDLE process, const void* at, void* into, size_t size) {
  SIZE_T got = 0;
  return ReadProcessMemory(process, at, into, size, &got) && got == size;
}

std::optional<std::wstring> processCurrentDirectory(HANDLE process) {
  // The offsets of the 64-bit layout: PEB.ProcessParameters at 0x20, and in the
  // parameters CurrentDirectory.DosPath (a UNICODE_STRING) at 0x38.
  struct UnicodeString {
    USHORT length;
    USHORT maximumLength;
    PWSTR buffer;
  };
  const BYTE* peb = processEnvironmentBlock(process);
  PVOID params = nullptr;
  UnicodeString dir{};
  if (!peb || !readProcessMemory(process, peb + 0x20, &params, sizeof params) || !params ||
      !readProcessMemory(process, static_cast<const BYTE*>(params) + 0x38, &dir, sizeof dir) || !dir.buffer) {
    return std::nullopt;
  }
  std::wstring text(dir.length / sizeof(wchar_t), L'\0');
  if (!text.empty() && !readProcessMemory(process, dir.buffer, text.data(), text.size() * sizeof(wchar_t))) {
    return std::nullopt;
  }
  return text;
}

std::wstring folderOf(const std::wstring& path) {
  size_t pos = path.find_last_of(L"\\/");
  return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos + 1);
}

std::wstring buildEnvironmentBlock(const std::vector<EnvChange>& changes) {
  std::vector<std::pair<std::wstring, std::wstring>> vars;  // name, whole "name=value"
  if (LPWCH env = GetEnvironmentStringsW()) {
    for (const wchar_t* p = env; *p; p += std::wcslen(p) + 1) {
      std::wstring entry = p;
      // Names may begin with '=' (per-drive current folders): look for '=' after it.
      size_t eq = entry.find(L'=', 1);
      vars.emplace_back(eq == std::wstring::npos ? entry : entry.substr(0, eq), entry);
    }
    FreeEnvironmentStringsW(env);
  }
  for (const EnvChange& change : changes) {
    std::erase_if(vars, [&](const auto& v) { return equalNoCase(v.first, change.name); });
    if (change.value) vars.emplace_back(change.name, change.name + L"=" + *change.value);
  }
  std::stable_sort(vars.begin(), vars.end(), [](const auto& a, const auto& b) { return lessNoCase(a.first, b.first); });
  std::wstring block;
  for (const auto& v : vars) {
    block += v.second;
    block += L'\0';
  }
  block += L'\0';
  return block;
}

AppProcess AppProcess::launch(const LaunchOptions& options) {
  AppProcess app;
  app.exePath_ = options.exePath.empty() ? productExePath() : options.exePath;
  app.launchedPath_ = app.exePath_;
  std::wstring env = buildEnvironmentBlock(options.environment);

  auto start = [&](const std::wstring& path, PROCESS_INFORMATION& pi) {
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    return CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                          env.data(),
                          options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str(), &si,
                          &pi) != FALSE;
  };
  PROCESS_INFORMATION pi{};
  bool started = start(app.exePath_, pi);
  DWORD error = started ? 0 : GetLastError();
  if (!started && app.exePath_.size() >= MAX_PATH) {
    // Wine's CreateProcessW takes no image path of MAX_PATH or more, in any form;
    // the 8.3 form of the same file it does take, but only with its "\\?\" prefix.
    wchar_t shortPath[MAX_PATH];
    DWORD n = GetShortPathNameW(extendedPath(app.exePath_).c_str(), shortPath, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      app.launchedPath_ = shortPath;
      started = start(app.launchedPath_, pi);
      if (!started) error = GetLastError();
    }
  }
  if (!started) {
    throw DriverError(lastErrorText(("CreateProcessW " + toUtf8(app.launchedPath_)).c_str(), error));
  }
  app.process_.reset(pi.hProcess);
  app.thread_.reset(pi.hThread);
  app.pid_ = pi.dwProcessId;
  return app;
}

AppProcess AppProcess::launchCopy(const std::wstring& dir, const std::wstring& fileName, LaunchOptions options) {
  options.exePath = copyFileTo(productExePath(), dir, fileName);
  return launch(options);
}

AppProcess::~AppProcess() {
  if (process_ && running()) terminate();
}

bool AppProcess::running() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> AppProcess::waitForExit(Millis timeout) const {
  if (!process_) return std::nullopt;
  if (WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_.get(), &code)) return std::nullopt;
  return code;
}

DWORD AppProcess::exitCode(Millis timeout) const {
  auto code = waitForExit(timeout);
  if (!code) {
    throw DriverError("vparse did not exit within " + std::to_string(timeout.count()) + " ms");
  }
  return *code;
}

void AppProcess::terminate() {
  if (!process_) return;
  TerminateProcess(process_.get(), 0xDEAD);
  WaitForSingleObject(process_.get(), 5000);
}

DWORD AppProcess::guiThreadId() const {
  if (main_ && IsWindow(main_)) return GetWindowThreadProcessId(main_, nullptr);
  return thread_ ? GetThreadId(thread_.get()) : 0;
}

HWND AppProcess::waitForMainWindow(Millis timeout, size_t minChildren) {
  HWND found = nullptr;
  size_t children = 0;
  bool visible = false;
  bool exited = false;
  pollUntil(
      [&] {
        found = nullptr;
        for (HWND h : topLevelWindows(pid_, nullptr, false)) {
          if (windowText(h) == kMainTitle) {
            found = h;
            break;
          }
        }
        if (!found) {
          exited = !running();
          return exited;
        }
        visible = IsWindowVisible(found) != FALSE;
        children = childWindows(found).size();
        return visible && children >= minChildren;
      },
      timeout);
  if (found && visible && children >= minChildren) {
    main_ = found;
    return found;
  }
  std::string why;
  if (exited) {
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    why = "the process ended first with exit code " + std::to_string(static_cast<long>(code));
  } else if (!found) {
    why = "no top-level window with that title";
    if (auto box = findMessageBox()) {
      MessageBoxInfo info = describeMessageBox(*box);
      why += "; a message box \"" + toUtf8(info.caption) + "\" says \"" + toUtf8(info.text) + "\"";
    }
  } else {
    why = std::string("found ") + describeHandle(found) + (visible ? " visible" : " not visible") + " with " +
          std::to_string(children) + " children (want " + std::to_string(minChildren) + ")";
  }
  throw DriverError("main window of " + toUtf8(exePath_) + " not ready within " + std::to_string(timeout.count()) +
                    " ms: " + why);
}

std::optional<HWND> AppProcess::findMessageBox() const {
  auto boxes = topLevelWindows(pid_, L"#32770");
  if (boxes.empty()) return std::nullopt;
  return boxes.front();
}

HWND AppProcess::waitForMessageBox(Millis timeout) const {
  std::optional<HWND> box;
  pollUntil([&] { return (box = findMessageBox()).has_value() || !running(); }, timeout);
  if (!box) {
    throw DriverError(std::string("no message box appeared within ") + std::to_string(timeout.count()) + " ms" +
                      (running() ? "" : " (the process ended)"));
  }
  // Let it finish building its controls.
  pollUntil([&] { return !describeMessageBox(*box).buttons.empty(); }, Millis{2000});
  return *box;
}

void AppProcess::postKeyToFocus(UINT vk, bool alt, Millis timeout) const {
  HWND target = nullptr;
  DWORD error = 0;
  const bool posted = pollUntil(
      [&] {
        target = focus();
        if (!target) return false;
        const UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
        const UINT up = alt ? WM_SYSKEYUP : WM_KEYUP;
        if (!PostMessageW(target, down, vk, keyLParam(vk, false, alt))) {
          error = GetLastError();
          return false;
        }
        // The key-down may already have closed the window (Esc): then the key-up
        // has nowhere to go, and that is no failure.
        PostMessageW(target, up, vk, keyLParam(vk, true, alt));
        return true;
      },
      timeout);
  if (!posted) {
    throw DriverError("could not post key " + std::to_string(vk) + " to the focus " + describeHandle(target) +
                      " (error " + std::to_string(error) + "); vparse " + stateText());
  }
}

std::string AppProcess::stateText() const {
  if (running()) return "still runs";
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  char buf[64];
  std::snprintf(buf, sizeof buf, "ended with exit code 0x%08lX", static_cast<unsigned long>(code));
  return buf;
}

HWND AppProcess::waitForFocus(const std::function<bool(HWND)>& condition, Millis timeout) const {
  HWND last = nullptr;
  pollUntil([&] { return condition(last = focus()); }, timeout);
  return last;
}

}  // namespace e2e
