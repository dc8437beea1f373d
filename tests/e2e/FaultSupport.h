// What the fault tests share: checks that the program still answers, still rewrites
// its hint line and still warns; its use of memory, GDI and USER objects read from
// outside; loopback servers that refuse, swallow or drop connections; and a
// start through the native process call for paths the Win32 call refuses.
#pragma once

#include "CommandsSupport.h"
#include "Driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace e2e::fault {

// ---------------------------------------------------------------------------
// Liveness

// The slowest answer to WM_NULL over `period`, asked every 50 ms, each with a
// deadline of `patience`; nullopt as soon as one is not answered in time.
std::optional<Millis> slowestAnswer(HWND window, Millis period, Millis patience = Millis{1000});

// Puts a marker text into the hint line and waits up to `within` for the timer to
// write its wording back. Returns "" on success, else what went wrong.
std::string hintRewrittenWithin(HWND hint, Millis within);

// 视频解析 with no address chosen: the warning opens, says its text, and OK closes
// it and enables the main window again. Returns "" on success, else what went wrong.
std::string warningOpensAndCloses(AppProcess& app, HWND parseButton);

// Closes the main window with WM_CLOSE and returns what the process ended with
// ("exit code 0", "still runs after ...").
std::string closeAndDescribeEnd(HWND main, HANDLE process);
inline std::string closeAndDescribeEnd(AppProcess& app) { return closeAndDescribeEnd(app.mainWindow(), app.handle()); }

// ---------------------------------------------------------------------------
// Resources of another process

struct ResourceUse {
  SIZE_T privateBytes = 0;  // PrivateUsage, or PagefileUsage where that stays 0 (Wine)
  DWORD gdiObjects = 0;
  DWORD userObjects = 0;
};

// Reads the use of a process opened with PROCESS_QUERY_INFORMATION | PROCESS_VM_READ.
// GetGuiResources answers ERROR_CALL_NOT_IMPLEMENTED under Wine; there the GDI count
// is taken from the process's GDI handle table (PEB.GdiSharedHandleTable, which Wine
// keeps per process) and the USER count is the number of its windows. `how` (if
// given) receives which sources were used.
ResourceUse resourceUse(HANDLE process, DWORD processId, std::string* how = nullptr);

// ---------------------------------------------------------------------------
// Loopback servers that never answer like a proxy

enum class DeadEnd {
  Refuses,         // the port is taken but nobody listens: connections are refused
  NeverAnswers,    // accepts, reads, and keeps the connection open without a word
  ClosesAtOnce,    // accepts and resets the connection at once
};

const char* deadEndName(DeadEnd kind);
inline void PrintTo(DeadEnd kind, std::ostream* out) { *out << deadEndName(kind); }

class DeadEndServer {
 public:
  explicit DeadEndServer(DeadEnd kind);
  DeadEndServer(const DeadEndServer&) = delete;
  DeadEndServer& operator=(const DeadEndServer&) = delete;
  ~DeadEndServer();

  std::wstring address() const;  // "127.0.0.1:<port>"
  // Connections accepted so far (always 0 for Refuses).
  int accepted() const { return accepted_.load(); }

 private:
  void serve();

  DeadEnd kind_;
  std::uintptr_t listener_;
  unsigned short port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::mutex heldMutex_;
  std::vector<std::uintptr_t> held_;  // connections of NeverAnswers, closed at the end
  std::thread thread_;
};

// ---------------------------------------------------------------------------
// Starting through the native call

// A process started with NtCreateUserProcess, which takes an image path of any
// length, in a folder of any length. (Wine's CreateProcessW takes no full image path
// of MAX_PATH characters or more, and a relative one only from a current directory
// shorter than MAX_PATH; see FaultPathTest.cpp.) Terminated when destroyed if it runs.
class NativeProcess {
 public:
  // Starts `exePath` with the command line "\"exePath\"", the current directory
  // `workingDirectory` and our environment changed by `environment`; throws
  // DriverError with the status when the call fails.
  NativeProcess(const std::wstring& exePath, const std::wstring& workingDirectory,
                const std::vector<EnvChange>& environment);
  NativeProcess(const NativeProcess&) = delete;
  NativeProcess& operator=(const NativeProcess&) = delete;
  ~NativeProcess();

  HANDLE handle() const { return process_.get(); }
  DWORD processId() const { return GetProcessId(process_.get()); }
  // The visible main window with its eleven children; throws on timeout.
  HWND waitForMainWindow(Millis timeout = kStartTimeout) const;
  std::optional<DWORD> waitForExit(Millis timeout = kExitTimeout) const;

 private:
  UniqueHandle process_;
  UniqueHandle thread_;
};

// The image path the system holds for a process (QueryFullProcessImageNameW).
std::wstring processImagePath(HANDLE process);

}  // namespace e2e::fault
