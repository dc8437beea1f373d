// What the end-to-end tests of the browsing commands and the hint line share: the
// program started behind a loopback proxy, its controls found by class and caption,
// the hint wordings, and request counting.
#pragma once

#include "Driver.h"
#include "Proxy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace e2e::commands {

// The hint line's first wording (two blanks, curly quotation marks) and the one the
// timer writes (one blank, "!", lenticular brackets, closing "!").
inline const std::wstring kFirstHint = L"  点击“地址”点击“视频解析”在屏幕中的编辑框输入先看的视频地址";
inline const std::wstring kHintText = L" !点击【地址】点击【视频解析】在屏幕中的编辑框输入先看的视频地址!";

inline const std::wstring kWarningText = L"请选择地址再进行播放";
inline const std::wstring kWarningCaption = L"duva提醒你的毛病";

// REG_DWORD 11001 as stored: little-endian.
inline const std::vector<BYTE> kLevelBytes = {0xF9, 0x2A, 0x00, 0x00};

// How often `line` was recorded by the proxy.
inline size_t countLine(const HttpProxy& proxy, const std::string& line) {
  const auto lines = proxy.requestLines();
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

inline std::string joinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += "\n  " + line;
  return lines.empty() ? "(none)" : out;
}

// A window's whole text read in one WM_GETTEXT. (Asking for the length first and
// then for the text can cut a text that the timer lengthened in between.)
inline std::wstring wholeText(HWND window) {
  std::wstring buffer(4096, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                           SMTO_ABORTIFHUNG, 2000, &copied)) {
    throw DriverError("WM_GETTEXT to " + describeHandle(window) + " got no answer");
  }
  buffer.resize(std::min<size_t>(copied, buffer.size() - 1));
  return buffer;
}

// The program, started with its HTTP traffic sent to a proxy of the test's own.
class ProxiedApp {
 public:
  // `copyDir`/`copyName`: start a copy of the product under that name instead.
  explicit ProxiedApp(const std::wstring& copyDir = {}, const std::wstring& copyName = {}) {
    LaunchOptions options;
    options.environment = {{L"http_proxy", proxy_.address()}, {L"no_proxy", std::nullopt}};
    app_.emplace(copyName.empty() ? AppProcess::launch(options) : AppProcess::launchCopy(copyDir, copyName, options));
    main_ = app_->waitForMainWindow();
  }

  HttpProxy& proxy() { return proxy_; }
  AppProcess& app() { return *app_; }
  HWND main() const { return main_; }

  // The child of the main window of that class (and caption, when given).
  HWND child(const wchar_t* className, const wchar_t* caption = nullptr) const {
    for (const WindowInfo& info : describeChildren(main_)) {
      if (_wcsicmp(info.className.c_str(), className) == 0 && (!caption || info.text == caption)) return info.hwnd;
    }
    throw DriverError("no " + toUtf8(className) + " child" + (caption ? " \"" + toUtf8(caption) + "\"" : ""));
  }
  HWND hintLine() const { return child(L"Edit"); }
  HWND button(const wchar_t* caption) const { return child(L"Button", caption); }

  // Clicks a radio button and waits until it shows as checked.
  void checkRadio(const wchar_t* caption) const {
    HWND radio = button(caption);
    postButtonClick(radio);
    if (!pollUntil([&] { return SendMessageW(radio, BM_GETCHECK, 0, 0) == BST_CHECKED; }, kActionTimeout)) {
      throw DriverError("radio button \"" + toUtf8(caption) + "\" did not become checked");
    }
  }

 private:
  HttpProxy proxy_;
  std::optional<AppProcess> app_;
  HWND main_ = nullptr;
};

}  // namespace e2e::commands
