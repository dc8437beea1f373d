// Winsock first: it must come before any other Windows header.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "FaultSupport.h"

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace e2e::fault {

namespace {

using Clock = std::chrono::steady_clock;

Millis since(Clock::time_point start) { return std::chrono::duration_cast<Millis>(Clock::now() - start); }

}  // namespace

// ---------------------------------------------------------------------------
// Liveness

std::optional<Millis> slowestAnswer(HWND window, Millis period, Millis patience) {
  Millis slowest{0};
  const auto start = Clock::now();
  do {
    const auto asked = Clock::now();
    if (!sendWithTimeout(window, WM_NULL, 0, 0, patience)) return std::nullopt;
    slowest = std::max(slowest, since(asked));
    Sleep(50);
  } while (since(start) < period);
  return slowest;
}

std::string hintRewrittenWithin(HWND hint, Millis within) {
  const std::wstring marker = L"marker put in by the test";
  // The marker must be seen in the line before the wait counts: a tick that falls
  // between writing and reading it would otherwise make the wait prove nothing.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!sendWithTimeout(hint, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(marker.c_str()))) {
      return "the hint line did not answer WM_SETTEXT";
    }
    if (windowText(hint) != marker) continue;
    std::wstring text;
    if (pollUntil([&] { return (text = windowText(hint)) == commands::kHintText; }, within)) return "";
    return "the hint line still reads \"" + toUtf8(text.substr(0, 80)) + "\" after " +
           std::to_string(within.count()) + " ms";
  }
  return "the marker never stayed in the hint line long enough to be read back";
}

std::string warningOpensAndCloses(AppProcess& app, HWND parseButton) {
  postButtonClick(parseButton);
  HWND box = nullptr;
  try {
    box = app.waitForMessageBox(kActionTimeout);
  } catch (const DriverError& e) {
    return std::string("no warning: ") + e.what();
  }
  const MessageBoxInfo info = describeMessageBox(box);
  if (info.caption != commands::kWarningCaption || info.text != commands::kWarningText) {
    return "a box \"" + toUtf8(info.caption) + "\" saying \"" + toUtf8(info.text) + "\" opened";
  }
  if (IsWindowEnabled(app.mainWindow())) return "the main window stayed enabled under the warning";
  const HWND ok = GetDlgItem(box, IDOK);
  if (!ok) return "the warning has no OK button";
  postButtonClick(ok);
  if (!pollUntil([&] { return !app.findMessageBox().has_value(); }, kActionTimeout)) {
    return "OK did not close the warning";
  }
  if (!pollUntil([&] { return IsWindowEnabled(app.mainWindow()) != FALSE; }, kActionTimeout)) {
    return "the main window stayed disabled after OK";
  }
  return "";
}

std::string closeAndDescribeEnd(HWND main, HANDLE process) {
  DWORD code = 0;
  if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process, &code);
    return "it had ended already with exit code " + std::to_string(static_cast<long>(code));
  }
  postClose(main);
  if (WaitForSingleObject(process, static_cast<DWORD>(kExitTimeout.count())) != WAIT_OBJECT_0) {
    return "still runs " + std::to_string(kExitTimeout.count()) + " ms after WM_CLOSE";
  }
  GetExitCodeProcess(process, &code);
  return "exit code " + std::to_string(static_cast<long>(code));
}

// ---------------------------------------------------------------------------
// Resources

namespace {

// Entries in use in a process's GDI handle table, read through its PEB. The table
// holds 0x10000 entries of 24 bytes (64-bit layout); an entry is in use when its
// type byte is not 0.
std::optional<DWORD> gdiTableEntriesInUse(HANDLE process) {
  struct Entry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 user;
  };
  static_assert(sizeof(Entry) == 24);
  const BYTE* peb = processEnvironmentBlock(process);
  PVOID table = nullptr;
  if (!peb || !readProcessMemory(process, peb + 0xF8, &table, sizeof table) || !table) return std::nullopt;
  std::vector<Entry> entries(0x10000);
  if (!readProcessMemory(process, table, entries.data(), entries.size() * sizeof(Entry))) return std::nullopt;
  return static_cast<DWORD>(std::count_if(entries.begin(), entries.end(), [](const Entry& e) { return e.type != 0; }));
}

DWORD windowsOfProcess(DWORD processId) {
  size_t count = 0;
  for (HWND top : topLevelWindows(processId, nullptr, false)) count += 1 + descendantWindows(top).size();
  return static_cast<DWORD>(count);
}

}  // namespace

ResourceUse resourceUse(HANDLE process, DWORD processId, std::string* how) {
  ResourceUse use;
  std::string sources;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
    throw DriverError("GetProcessMemoryInfo failed, error " + std::to_string(GetLastError()));
  }
  use.privateBytes = memory.PrivateUsage;
  sources += "private bytes from PrivateUsage";
  if (use.privateBytes == 0) {
    use.privateBytes = memory.PagefileUsage;
    sources += " (0, so PagefileUsage)";
  }

  use.gdiObjects = GetGuiResources(process, GR_GDIOBJECTS);
  if (use.gdiObjects != 0) {
    sources += ", GDI from GetGuiResources";
  } else if (auto inTable = gdiTableEntriesInUse(process)) {
    use.gdiObjects = *inTable;
    sources += ", GDI from the handle table";
  } else {
    throw DriverError("neither GetGuiResources nor the GDI handle table tell the GDI objects");
  }
  use.userObjects = GetGuiResources(process, GR_USEROBJECTS);
  if (use.userObjects != 0) {
    sources += ", USER from GetGuiResources";
  } else {
    use.userObjects = windowsOfProcess(processId);
    sources += ", USER as the count of windows";
  }
  if (how) *how = sources;
  return use;
}

// ---------------------------------------------------------------------------
// Dead-end servers

const char* deadEndName(DeadEnd kind) {
  switch (kind) {
    case DeadEnd::Refuses: return "Refuses";
    case DeadEnd::NeverAnswers: return "NeverAnswers";
    case DeadEnd::ClosesAtOnce: return "ClosesAtOnce";
  }
  return "?";
}

DeadEndServer::DeadEndServer(DeadEnd kind) : kind_(kind), listener_(INVALID_SOCKET) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) throw DriverError("WSAStartup failed");
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof addr;
  // Refuses keeps the port bound without listening: nobody else can take it, and a
  // connection to it is refused.
  if (listener_ == INVALID_SOCKET || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      (kind_ != DeadEnd::Refuses && listen(listener_, SOMAXCONN) != 0) ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    const int err = WSAGetLastError();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    WSACleanup();
    throw DriverError("dead-end server on 127.0.0.1 failed: " + std::to_string(err));
  }
  port_ = ntohs(addr.sin_port);
  if (kind_ != DeadEnd::Refuses) thread_ = std::thread([this] { serve(); });
}

DeadEndServer::~DeadEndServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(heldMutex_);
  for (std::uintptr_t s : held_) closesocket(s);
  closesocket(listener_);
  WSACleanup();
}

std::wstring DeadEndServer::address() const { return L"127.0.0.1:" + std::to_wstring(port_); }

void DeadEndServer::serve() {
  while (!stop_) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener_, &readable);
    timeval tick{0, 50 * 1000};
    if (select(0, &readable, nullptr, nullptr, &tick) <= 0) continue;
    SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    ++accepted_;
    if (kind_ == DeadEnd::ClosesAtOnce) {
      // An abortive close: the client sees its connection reset before any answer.
      linger abort{1, 0};
      setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
      closesocket(client);
    } else {
      // Held open and never read from or written to until the server goes.
      std::lock_guard lock(heldMutex_);
      held_.push_back(client);
    }
  }
}

// ---------------------------------------------------------------------------
// Native start

namespace {

struct UnicodeString {
  USHORT length;
  USHORT maximumLength;
  PWSTR buffer;
};

UnicodeString unicodeString(const std::wstring& text) {
  const auto bytes = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  return {bytes, bytes, const_cast<PWSTR>(text.c_str())};
}

struct PsAttribute {
  ULONG_PTR attribute;
  SIZE_T size;
  PVOID value;
  PSIZE_T returnLength;
};

struct PsAttributeList {
  SIZE_T totalLength;
  PsAttribute attributes[1];
};

// PS_CREATE_INFO: its size, a state, and a union the call fills in (88 bytes in all).
struct PsCreateInfo {
  SIZE_T size;
  ULONG state;
  BYTE rest[76];
};
static_assert(sizeof(PsCreateInfo) == 88);

constexpr ULONG_PTR kPsAttributeImageName = 0x20005;
constexpr ULONG kParamsNormalized = 0x01;

}  // namespace

NativeProcess::NativeProcess(const std::wstring& exePath, const std::wstring& workingDirectory,
                             const std::vector<EnvChange>& environment) {
  using CreateParams = LONG(NTAPI*)(PVOID*, UnicodeString*, UnicodeString*, UnicodeString*, UnicodeString*, PVOID,
                                    UnicodeString*, UnicodeString*, UnicodeString*, UnicodeString*, ULONG);
  using DestroyParams = LONG(NTAPI*)(PVOID);
  using CreateUserProcess = LONG(NTAPI*)(PHANDLE, PHANDLE, ACCESS_MASK, ACCESS_MASK, PVOID, PVOID, ULONG, ULONG,
                                         PVOID, PsCreateInfo*, PsAttributeList*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto createParams = reinterpret_cast<CreateParams>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlCreateProcessParametersEx")));
  auto destroyParams = reinterpret_cast<DestroyParams>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlDestroyProcessParameters")));
  auto createUserProcess = reinterpret_cast<CreateUserProcess>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateUserProcess")));
  if (!createParams || !destroyParams || !createUserProcess) {
    throw DriverError("ntdll offers no NtCreateUserProcess / RtlCreateProcessParametersEx");
  }

  const std::wstring ntPath = L"\\??\\" + exePath;
  const std::wstring commandLine = L"\"" + exePath + L"\"";
  std::wstring folder = workingDirectory;
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  std::wstring env = buildEnvironmentBlock(environment);
  UnicodeString image = unicodeString(exePath);
  UnicodeString command = unicodeString(commandLine);
  UnicodeString current = unicodeString(folder);

  PVOID params = nullptr;
  LONG status = createParams(&params, &image, nullptr, &current, &command, env.data(), nullptr, nullptr, nullptr,
                             nullptr, kParamsNormalized);
  if (status != 0) throw DriverError("RtlCreateProcessParametersEx failed, status " + std::to_string(status));

  PsCreateInfo createInfo{};
  createInfo.size = sizeof createInfo;
  PsAttributeList attributes{};
  attributes.totalLength = sizeof attributes;
  attributes.attributes[0] = {kPsAttributeImageName, ntPath.size() * sizeof(wchar_t),
                              const_cast<PWSTR>(ntPath.c_str()), nullptr};
  HANDLE process = nullptr;
  HANDLE thread = nullptr;
  status = createUserProcess(&process, &thread, PROCESS_ALL_ACCESS, THREAD_ALL_ACCESS, nullptr, nullptr, 0, 0, params,
                             &createInfo, &attributes);
  destroyParams(params);
  if (status != 0) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(status));
    throw DriverError("NtCreateUserProcess " + toUtf8(exePath) + " failed, status " + hex);
  }
  process_.reset(process);
  thread_.reset(thread);
}

NativeProcess::~NativeProcess() {
  if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 0xDEAD);
    WaitForSingleObject(process_.get(), 5000);
  }
}

HWND NativeProcess::waitForMainWindow(Millis timeout) const {
  HWND found = nullptr;
  pollUntil(
      [&] {
        found = nullptr;
        for (HWND h : topLevelWindows(processId(), nullptr, false)) {
          if (windowText(h) == kMainTitle && IsWindowVisible(h) && childWindows(h).size() >= 11) found = h;
        }
        return found != nullptr || WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
      },
      timeout);
  if (!found) {
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(process_.get(), &code) && code != STILL_ACTIVE;
    throw DriverError("no main window within " + std::to_string(timeout.count()) + " ms" +
                      (ended ? "; the process ended with code " + std::to_string(static_cast<long>(code)) : ""));
  }
  return found;
}

std::optional<DWORD> NativeProcess::waitForExit(Millis timeout) const {
  if (WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_.get(), &code)) return std::nullopt;
  return code;
}

std::wstring processImagePath(HANDLE process) {
  std::wstring buffer(32768, L'\0');
  DWORD size = static_cast<DWORD>(buffer.size());
  if (!QueryFullProcessImageNameW(process, 0, buffer.data(), &size)) return {};
  buffer.resize(size);
  return buffer;
}

}  // namespace e2e::fault
