// The program started from folders whose names hold Chinese characters and from
// paths longer than the classic MAX_PATH, under the ANSI code pages 936 and 1252:
// the window comes up, the current directory becomes the executable's folder, and
// a click writes the emulation value under the exact file name (no other name) and
// navigates.
//
// Wine 8 measured (64-bit, this machine's build):
//   - CreateProcessW with a full image path of MAX_PATH (260) characters or more
//     fails in every form: plain (error 123), with "\\?\" (2), as the command line
//     with no application name (3); ShellExecuteExW fails (3), and "cmd /c start"
//     starts cmd but no program. A path of 259 characters starts.
//   - CreateProcessW with a relative image name does start a longer path when the
//     caller's current directory is the folder and that folder has at most 258
//     characters; the program then sees its full path (GetModuleFileNameW,
//     QueryFullProcessImageNameW). With a current directory of 259 characters or more
//     it fails (998, 123) or corrupts the caller's heap.
//   - NtCreateUserProcess takes any length, a folder past MAX_PATH included, and so
//     does SetCurrentDirectoryW inside the started program.
#include "FaultSupport.h"
#include "ProgramFacts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <ostream>
#include <set>
#include <string>

namespace e2e {
namespace {

using namespace fault;
using commands::kLevelBytes;


enum class Start {
  FullPath,            // CreateProcessW with the full path
  RelativeFromFolder,  // CreateProcessW with the file name, our current directory the folder
  Native,              // NtCreateUserProcess with the full path
};

struct PathCase {
  const char* name;
  size_t folderLength;  // whole length of the folder's path; 0: one folder 视频工具 under the temp one
  size_t pathLength;    // whole length of the executable's path; 0: as the file name makes it
  std::wstring fileName;
  Start start;
};

void PrintTo(const PathCase& c, std::ostream* out) { *out << c.name; }

// `folder` lengthened by folders named in Chinese to exactly `length` characters.
std::wstring deepFolder(std::wstring folder, size_t length) {
  for (int i = 0; folder.size() + 8 < length; ++i) folder += L"\\视频工具目录" + std::to_wstring(i % 10);
  if (folder.size() + 1 < length) folder += L'\\';
  folder.append(length - folder.size(), L'p');
  return folder;
}

// `name`, padded before its extension so that `folder`\name is `pathLength` long
// (unchanged when `pathLength` is 0).
std::wstring fileNameFor(const std::wstring& folder, const std::wstring& name, size_t pathLength) {
  if (pathLength == 0) return name;
  const size_t dot = name.rfind(L'.');
  std::wstring stem = name.substr(0, dot);
  const std::wstring extension = name.substr(dot);
  const size_t used = folder.size() + 1 + stem.size() + extension.size();
  if (used < pathLength) stem.append(pathLength - used, L'n');
  return stem + extension;
}

size_t gbkBytes(const std::wstring& text) {
  return static_cast<size_t>(
      WideCharToMultiByte(936, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr));
}

std::set<std::wstring> emulationValueNames() {
  std::set<std::wstring> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kEmulationKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  std::wstring name(16384, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    if (RegEnumValueW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace(name.data(), length);
  }
  RegCloseKey(key);
  return names;
}

bool samePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Our own current directory set to a folder for a while.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::wstring& folder) {
    saved_.resize(GetCurrentDirectoryW(0, nullptr));
    saved_.resize(GetCurrentDirectoryW(static_cast<DWORD>(saved_.size()), saved_.data()));
    if (!SetCurrentDirectoryW(folder.c_str())) {
      throw DriverError("SetCurrentDirectoryW " + toUtf8(folder) + " failed, error " + std::to_string(GetLastError()));
    }
  }
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;
  ~CurrentDirectory() { SetCurrentDirectoryW(saved_.c_str()); }

 private:
  std::wstring saved_;
};

// The program however it was started.
struct Started {
  std::optional<AppProcess> app;
  std::optional<NativeProcess> native;

  HANDLE handle() const { return app ? app->handle() : native->handle(); }
  DWORD processId() const { return app ? app->processId() : native->processId(); }
  HWND waitForMainWindow() { return app ? app->waitForMainWindow() : native->waitForMainWindow(); }
};

void startsWritesExactNameAndNavigates(const PathCase& c) {
  TempDir root(L"vparse-fault-path");
  TempDir startFolder(L"vparse-fault-start");
  ASSERT_LT(root.path().size(), 100u) << "the temp folder is too long for the lengths of the cases";
  const std::wstring folder =
      c.folderLength ? deepFolder(root.path(), c.folderLength) : root.path() + L"\\视频工具";
  const std::wstring fileName = fileNameFor(folder, c.fileName, c.pathLength);
  const std::wstring path = copyFileTo(productExePath(), folder, fileName);
  if (c.pathLength) {
    ASSERT_EQ(path.size(), c.pathLength);
    // Past MAX_PATH as ANSI text: a 260-byte buffer of the code page 936 cuts it.
    ASSERT_GT(gbkBytes(path), static_cast<size_t>(MAX_PATH));
  }
  std::printf("[ e2e    ] %s: folder of %zu characters, path of %zu characters, %zu bytes in GBK, code page %u\n",
              c.name, folder.size(), path.size(), gbkBytes(path), GetACP());

  UserValueGuard guard(kEmulationKey, fileName);
  deleteEmulationValue(fileName);
  const std::set<std::wstring> namesBefore = emulationValueNames();

  HttpProxy proxy;
  const std::vector<EnvChange> environment = {{L"http_proxy", proxy.address()}, {L"no_proxy", std::nullopt}};
  Started started;
  switch (c.start) {
    case Start::FullPath:
    case Start::RelativeFromFolder: {
      LaunchOptions options;
      options.environment = environment;
      options.workingDirectory = startFolder.path();
      options.exePath = path;
      std::optional<CurrentDirectory> inFolder;
      if (c.start == Start::RelativeFromFolder) {
        inFolder.emplace(folder);
        options.exePath = fileName;
      }
      started.app.emplace(AppProcess::launch(options));
      break;
    }
    case Start::Native:
      started.native.emplace(path, startFolder.path(), environment);
      break;
  }
  const HWND main = started.waitForMainWindow();

  // The program runs from the path itself, not from a short form of it.
  ASSERT_EQ(processImagePath(started.handle()), path) << "the program does not see its long path";

  const auto current = processCurrentDirectory(started.handle());
  ASSERT_TRUE(current.has_value()) << "cannot read the program's current directory";
  EXPECT_TRUE(samePath(*current, folder + L"\\")) << "current directory " << toUtf8(*current);

  postButtonClick(GetDlgItem(main, kWeatherId));
  EXPECT_TRUE(proxy.waitForRequestLine(kWeatherRequest, kStartTimeout))
      << "no navigation; the proxy saw:" << commands::joinLines(proxy.requestLines());
  const auto value = readEmulationValue(fileName);
  ASSERT_TRUE(value.has_value()) << "no emulation value named \"" << toUtf8(fileName) << "\"";
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value->data, kLevelBytes);
  std::vector<std::wstring> added;
  for (const std::wstring& name : emulationValueNames()) {
    if (!namesBefore.count(name)) added.push_back(name);
  }
  EXPECT_EQ(added, std::vector<std::wstring>{fileName}) << "values added: " << added.size();

  EXPECT_EQ(closeAndDescribeEnd(main, started.handle()), "exit code 0");
}

const PathCase kPathCases[] = {
    {"ChineseFolder", 0, 0, L"vparse.exe", Start::FullPath},
    // 乗 is 81 5C in GBK: its second byte is a backslash.
    {"ChineseFolderAndName", 0, 0, L"视频乗解析乗.exe", Start::FullPath},
    // The longest path CreateProcessW takes; longer than 260 bytes in GBK.
    {"Path259Characters", 240, 259, L"视频解析工具.exe", Start::FullPath},
    {"Path300Characters", 240, 300, L"视频解析工具.exe", Start::RelativeFromFolder},
    {"FolderPastMaxPath", 300, 0, L"视频解析.exe", Start::Native},
};

class FaultPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(FaultPath, StartsWritesExactNameAndNavigates) { startsWritesExactNameAndNavigates(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Fault, FaultPath, ::testing::ValuesIn(kPathCases),
                         [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

// The same under the ANSI code page 1252, which has no Chinese characters at all.
class FaultPathCp1252 : public ::testing::TestWithParam<PathCase> {};

TEST_P(FaultPathCp1252, StartsWritesExactNameAndNavigates) {
  if (GetACP() != 1252) GTEST_SKIP() << "needs the ANSI code page 1252 (ctest runs *Cp1252 suites with LC_ALL=C.UTF-8)";
  startsWritesExactNameAndNavigates(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Fault, FaultPathCp1252, ::testing::ValuesIn(kPathCases),
                         [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
