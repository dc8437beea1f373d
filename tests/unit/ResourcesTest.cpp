// Resources and headers of the built executables (64-bit and 32-bit vparse.exe):
// version block, program icon, application manifest, PE machine and subsystem.
//
// The executables are found through the compile definitions VPARSE_EXE_PATH and
// VPARSE_WIN32_EXE_PATH (narrow literals, "Z:/.../vparse.exe"); a test whose
// executable is not defined is skipped. Both files are only read or mapped as data,
// never run, so the 32-bit one is inspected from this 64-bit process as well.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <ostream>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// The executables under test.

struct ExeCase {
  const char* label;       // test-name suffix
  const char* macro;       // the definition that names the file
  const char* path;        // nullptr when the definition is missing
  WORD machine;            // IMAGE_FILE_HEADER.Machine
  WORD optionalMagic;      // PE32 or PE32+
  const char* arch;        // processorArchitecture in the manifest
};

const ExeCase kExes[] = {
#ifdef VPARSE_EXE_PATH
    {"Win64", "VPARSE_EXE_PATH", VPARSE_EXE_PATH, IMAGE_FILE_MACHINE_AMD64,
     IMAGE_NT_OPTIONAL_HDR64_MAGIC, "amd64"},
#else
    {"Win64", "VPARSE_EXE_PATH", nullptr, IMAGE_FILE_MACHINE_AMD64,
     IMAGE_NT_OPTIONAL_HDR64_MAGIC, "amd64"},
#endif
#ifdef VPARSE_WIN32_EXE_PATH
    {"Win32", "VPARSE_WIN32_EXE_PATH", VPARSE_WIN32_EXE_PATH, IMAGE_FILE_MACHINE_I386,
     IMAGE_NT_OPTIONAL_HDR32_MAGIC, "x86"},
#else
    {"Win32", "VPARSE_WIN32_EXE_PATH", nullptr, IMAGE_FILE_MACHINE_I386,
     IMAGE_NT_OPTIONAL_HDR32_MAGIC, "x86"},
#endif
};

// gtest prints a failing case's parameter through this.
void PrintTo(const ExeCase& c, std::ostream* os) { *os << c.label << " (" << c.macro << ")"; }

std::wstring widen(const char* utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), n);
  return out;
}

std::string narrow(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
}

// The text table of the version block, in the order the block must hold it.
struct VersionString {
  const wchar_t* key;
  const wchar_t* value;
};
const VersionString kVersionStrings[] = {
    {L"FileVersion", L"1.0.0.0"},
    {L"FileDescription", L"闲着没是做的爱咋的炸的"},
    {L"ProductName", L"墨舟制作_视频解析工具"},
    {L"ProductVersion", L"1.0.0.0"},
    {L"CompanyName", L"墨舟"},
    {L"Comments", L"工具免费"},
};
constexpr WORD kLangChinesePrc = 0x0804;
constexpr WORD kCodePageUtf16 = 1200;

// ---------------------------------------------------------------------------
// version.dll, resolved at run time so the test executable needs no extra
// import library.

class VersionApi {
 public:
  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

  VersionApi() {
    module_ = LoadLibraryW(L"version.dll");
    if (!module_) return;
    size = resolve<SizeFn>("GetFileVersionInfoSizeW");
    info = resolve<InfoFn>("GetFileVersionInfoW");
    query = resolve<QueryFn>("VerQueryValueW");
  }
  ~VersionApi() {
    if (module_) FreeLibrary(module_);
  }
  VersionApi(const VersionApi&) = delete;
  VersionApi& operator=(const VersionApi&) = delete;

  bool ok() const { return size && info && query; }

  SizeFn size = nullptr;
  InfoFn info = nullptr;
  QueryFn query = nullptr;

 private:
  template <typename Fn>
  Fn resolve(const char* name) {
    // Through the generic function-pointer type: a cast between unrelated
    // function types directly would draw -Wcast-function-type.
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
  }
  HMODULE module_ = nullptr;
};

// ---------------------------------------------------------------------------
// Raw version block (VS_VERSIONINFO and its children).

struct VersionNode {
  std::wstring key;
  WORD type = 0;              // 1 text, 0 binary
  std::vector<BYTE> value;    // exactly the bytes the header announces
  std::vector<VersionNode> children;
};

size_t align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

// Parses the node at `offset` of `block`; offsets are from the start of the block,
// which is where the 32-bit alignment of the format is counted from.
std::optional<VersionNode> parseVersionNode(const std::vector<BYTE>& block, size_t offset,
                                            std::string& error) {
  auto word = [&](size_t at) {
    WORD w;
    std::memcpy(&w, block.data() + at, sizeof w);
    return w;
  };
  if (offset + 6 > block.size()) {
    error = "node header past the end at offset " + std::to_string(offset);
    return std::nullopt;
  }
  const size_t length = word(offset);
  const size_t valueLength = word(offset + 2);
  VersionNode node;
  node.type = word(offset + 4);
  const size_t end = offset + length;
  if (length < 6 || end > block.size()) {
    error = "node length " + std::to_string(length) + " at offset " + std::to_string(offset) +
            " runs past its parent";
    return std::nullopt;
  }
  size_t at = offset + 6;
  for (;;) {
    if (at + 2 > end) {
      error = "unterminated key at offset " + std::to_string(offset);
      return std::nullopt;
    }
    WORD c = word(at);
    at += 2;
    if (c == 0) break;
    node.key.push_back(static_cast<wchar_t>(c));
  }
  at = align4(at);
  const size_t valueBytes = node.type == 1 ? valueLength * 2 : valueLength;
  if (at + valueBytes > end) {
    error = "value of \"" + narrow(node.key) + "\" runs past its node";
    return std::nullopt;
  }
  node.value.assign(block.begin() + at, block.begin() + at + valueBytes);
  at = align4(at + valueBytes);
  while (at < end) {
    auto child = parseVersionNode(block, at, error);
    if (!child) return std::nullopt;
    const size_t childLength = word(at);
    node.children.push_back(std::move(*child));
    at = align4(at + childLength);
  }
  return node;
}

std::vector<std::wstring> keysOf(const VersionNode& node) {
  std::vector<std::wstring> keys;
  for (const auto& c : node.children) keys.push_back(c.key);
  return keys;
}

std::wstring textOf(const VersionNode& node) {
  std::wstring s(node.value.size() / 2, L'\0');
  std::memcpy(s.data(), node.value.data(), s.size() * 2);
  return s;
}

// ---------------------------------------------------------------------------
// An executable mapped as data: its resources can be read, nothing of it runs.

class ResourceImage {
 public:
  explicit ResourceImage(const std::wstring& path)
      : module_(LoadLibraryExW(path.c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~ResourceImage() {
    if (module_) FreeLibrary(module_);
  }
  ResourceImage(const ResourceImage&) = delete;
  ResourceImage& operator=(const ResourceImage&) = delete;

  HMODULE module() const { return module_; }

  // Bytes of one resource, in the given language or, with lang -1, in any.
  std::optional<std::vector<BYTE>> bytes(LPCWSTR type, LPCWSTR name, int lang = -1) const {
    HRSRC info = lang < 0 ? FindResourceW(module_, name, type)
                          : FindResourceExW(module_, type, name, static_cast<WORD>(lang));
    if (!info) return std::nullopt;
    HGLOBAL loaded = LoadResource(module_, info);
    const DWORD size = SizeofResource(module_, info);
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!data) return std::nullopt;
    return std::vector<BYTE>(data, data + size);
  }

  // Names of the resources of one type, in enumeration order; numbers as "#n".
  std::vector<std::wstring> names(LPCWSTR type) const {
    std::vector<std::wstring> out;
    EnumResourceNamesW(module_, type, &ResourceImage::onName, reinterpret_cast<LONG_PTR>(&out));
    return out;
  }

  std::vector<WORD> languages(LPCWSTR type, LPCWSTR name) const {
    std::vector<WORD> out;
    EnumResourceLanguagesW(module_, type, name, &ResourceImage::onLanguage,
                           reinterpret_cast<LONG_PTR>(&out));
    return out;
  }

 private:
  static BOOL CALLBACK onName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    auto* out = reinterpret_cast<std::vector<std::wstring>*>(param);
    if (IS_INTRESOURCE(name))
      out->push_back(L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)));
    else
      out->push_back(name);
    return TRUE;
  }
  static BOOL CALLBACK onLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(lang);
    return TRUE;
  }

  HMODULE module_;
};

std::optional<std::vector<BYTE>> readFile(const std::wstring& path) {
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return std::nullopt;
  std::vector<BYTE> data;
  BYTE chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + n);
  std::fclose(f);
  return data;
}

#pragma pack(push, 2)
struct GroupIconHeader {
  WORD reserved;
  WORD type;
  WORD count;
};
struct GroupIconEntry {
  BYTE width;
  BYTE height;
  BYTE colorCount;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytesInRes;
  WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconHeader) == 6 && sizeof(GroupIconEntry) == 14);

// Attributes of every <assemblyIdentity> element of a manifest, in document order.
std::vector<std::map<std::string, std::string>> assemblyIdentities(const std::string& xml) {
  std::vector<std::map<std::string, std::string>> out;
  static const std::regex element(R"(<assemblyIdentity\b([^>]*)>)");
  static const std::regex attribute(R"(([A-Za-z_:][\w:.-]*)\s*=\s*\"([^\"]*)\")");
  for (std::sregex_iterator e(xml.begin(), xml.end(), element), end; e != end; ++e) {
    std::map<std::string, std::string> attrs;
    const std::string body = (*e)[1];
    for (std::sregex_iterator a(body.begin(), body.end(), attribute); a != end; ++a)
      attrs[(*a)[1]] = (*a)[2];
    out.push_back(std::move(attrs));
  }
  return out;
}

// ---------------------------------------------------------------------------

class ExeResources : public ::testing::TestWithParam<ExeCase> {
 protected:
  void SetUp() override {
    if (!GetParam().path) GTEST_SKIP() << GetParam().macro << " is not defined for this build";
    path_ = widen(GetParam().path);
    ASSERT_NE(GetFileAttributesW(path_.c_str()), INVALID_FILE_ATTRIBUTES)
        << GetParam().path << " does not exist";
  }
  std::wstring path_;
};

// --- PE headers ------------------------------------------------------------

TEST_P(ExeResources, HeadersNameMachineAndGuiSubsystem) {
  auto file = readFile(path_);
  ASSERT_TRUE(file.has_value());
  const auto& d = *file;
  ASSERT_GE(d.size(), sizeof(IMAGE_DOS_HEADER));
  IMAGE_DOS_HEADER dos;
  std::memcpy(&dos, d.data(), sizeof dos);
  ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
  const size_t pe = static_cast<size_t>(dos.e_lfanew);
  ASSERT_LE(pe + 4 + sizeof(IMAGE_FILE_HEADER) + sizeof(IMAGE_OPTIONAL_HEADER32), d.size());
  DWORD signature;
  std::memcpy(&signature, d.data() + pe, 4);
  ASSERT_EQ(signature, IMAGE_NT_SIGNATURE);

  IMAGE_FILE_HEADER fh;
  std::memcpy(&fh, d.data() + pe + 4, sizeof fh);
  EXPECT_EQ(fh.Machine, GetParam().machine) << std::hex << "machine 0x" << fh.Machine;
  EXPECT_TRUE(fh.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE);
  EXPECT_FALSE(fh.Characteristics & IMAGE_FILE_DLL);

  const BYTE* opt = d.data() + pe + 4 + sizeof fh;
  WORD magic;
  std::memcpy(&magic, opt, 2);
  ASSERT_EQ(magic, GetParam().optionalMagic);
  WORD subsystem;
  if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    ASSERT_GE(fh.SizeOfOptionalHeader, sizeof(IMAGE_OPTIONAL_HEADER64));
    IMAGE_OPTIONAL_HEADER64 oh;
    std::memcpy(&oh, opt, sizeof oh);
    subsystem = oh.Subsystem;
  } else {
    ASSERT_GE(fh.SizeOfOptionalHeader, sizeof(IMAGE_OPTIONAL_HEADER32));
    IMAGE_OPTIONAL_HEADER32 oh;
    std::memcpy(&oh, opt, sizeof oh);
    subsystem = oh.Subsystem;
  }
  EXPECT_EQ(subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

// --- Version block through the version API --------------------------------

class ExeVersionInfo : public ExeResources {
 protected:
  void SetUp() override {
    ExeResources::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(api_.ok()) << "version.dll functions not found";
    DWORD ignored = 0;
    const DWORD size = api_.size(path_.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version block, error " << GetLastError();
    info_.resize(size);
    ASSERT_TRUE(api_.info(path_.c_str(), 0, size, info_.data()));
  }
  // The value under `sub` and its length as the API reports it.
  bool query(const std::wstring& sub, void** value, UINT* length) {
    return api_.query(info_.data(), sub.c_str(), value, length) != FALSE;
  }
  VersionApi api_;
  std::vector<BYTE> info_;
};

TEST_P(ExeVersionInfo, FixedPartIsVersion1000OfAWin32Application) {
  void* p = nullptr;
  UINT len = 0;
  ASSERT_TRUE(query(L"\\", &p, &len));
  ASSERT_EQ(len, sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO ffi;
  std::memcpy(&ffi, p, sizeof ffi);
  EXPECT_EQ(ffi.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(ffi.dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(ffi.dwFileVersionLS, 0u);
  EXPECT_EQ(ffi.dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(ffi.dwProductVersionLS, 0u);
  EXPECT_EQ(ffi.dwFileFlags, 0u);
  EXPECT_EQ(ffi.dwFileFlags & ffi.dwFileFlagsMask, 0u);
  EXPECT_EQ(ffi.dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  EXPECT_EQ(ffi.dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(ffi.dwFileSubtype, 0u);
}

TEST_P(ExeVersionInfo, EveryTextReadsBackExactly) {
  for (const auto& s : kVersionStrings) {
    SCOPED_TRACE(narrow(s.key));
    void* p = nullptr;
    UINT len = 0;
    ASSERT_TRUE(query(std::wstring(L"\\StringFileInfo\\080404B0\\") + s.key, &p, &len));
    const std::wstring got(static_cast<const wchar_t*>(p));
    EXPECT_EQ(got, s.value) << "read back: " << narrow(got);
  }
}

TEST_P(ExeVersionInfo, TranslationIsChinesePrcUnicodeAndNamesTheTextBlock) {
  void* p = nullptr;
  UINT len = 0;
  ASSERT_TRUE(query(L"\\VarFileInfo\\Translation", &p, &len));
  ASSERT_EQ(len, 4u) << "exactly one translation entry";
  WORD pair[2];
  std::memcpy(pair, p, sizeof pair);
  EXPECT_EQ(pair[0], kLangChinesePrc);
  EXPECT_EQ(pair[1], kCodePageUtf16);

  // A reader of the block looks the texts up under the name the translation gives.
  wchar_t sub[64];
  swprintf(sub, 64, L"\\StringFileInfo\\%04x%04x\\FileDescription", pair[0], pair[1]);
  ASSERT_TRUE(query(sub, &p, &len)) << narrow(sub);
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(p)), L"闲着没是做的爱咋的炸的");
}

// --- Resources of the image -----------------------------------------------

class ExeImage : public ExeResources {
 protected:
  void SetUp() override {
    ExeResources::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    image_.emplace(path_);
    ASSERT_NE(image_->module(), nullptr)
        << "cannot map " << GetParam().path << " as data, error " << GetLastError();
  }
  std::optional<ResourceImage> image_;
};

TEST_P(ExeImage, VersionBlockHoldsOneChineseTableWithTheTextsInOrder) {
  auto raw = image_->bytes(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO));
  ASSERT_TRUE(raw.has_value()) << "no RT_VERSION resource 1";
  std::string error;
  auto root = parseVersionNode(*raw, 0, error);
  ASSERT_TRUE(root.has_value()) << error;

  EXPECT_EQ(root->key, L"VS_VERSION_INFO");
  EXPECT_EQ(root->type, 0);
  EXPECT_EQ(root->value.size(), sizeof(VS_FIXEDFILEINFO));
  ASSERT_EQ(keysOf(*root), (std::vector<std::wstring>{L"StringFileInfo", L"VarFileInfo"}));

  const VersionNode& stringInfo = root->children[0];
  ASSERT_EQ(keysOf(stringInfo), std::vector<std::wstring>{L"080404B0"});
  const VersionNode& table = stringInfo.children[0];
  std::vector<std::wstring> expectedKeys;
  for (const auto& s : kVersionStrings) expectedKeys.push_back(s.key);
  ASSERT_EQ(keysOf(table), expectedKeys);
  for (size_t i = 0; i < table.children.size(); ++i) {
    const VersionNode& entry = table.children[i];
    SCOPED_TRACE(narrow(entry.key));
    EXPECT_EQ(entry.type, 1) << "stored as text";
    // The stored value is the text and its terminating NUL, nothing more.
    EXPECT_EQ(textOf(entry), std::wstring(kVersionStrings[i].value) + L'\0');
    EXPECT_TRUE(entry.children.empty());
  }

  const VersionNode& varInfo = root->children[1];
  ASSERT_EQ(keysOf(varInfo), std::vector<std::wstring>{L"Translation"});
  const VersionNode& translation = varInfo.children[0];
  EXPECT_EQ(translation.type, 0);
  EXPECT_EQ(translation.value, (std::vector<BYTE>{0x04, 0x08, 0xB0, 0x04}));
}

TEST_P(ExeImage, DefaultIconIsTheFirstIconGroupAndLanguageNeutral) {
  const auto groups = image_->names(RT_GROUP_ICON);
  ASSERT_FALSE(groups.empty()) << "no icon group";
  EXPECT_EQ(groups.front(), L"DEFAULT_ICON");
  EXPECT_EQ(image_->languages(RT_GROUP_ICON, L"DEFAULT_ICON"),
            std::vector<WORD>{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)});
}

TEST_P(ExeImage, DefaultIconHoldsOneOpaque32x32TrueColourPicture) {
  auto group = image_->bytes(RT_GROUP_ICON, L"DEFAULT_ICON",
                             MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  ASSERT_TRUE(group.has_value()) << "no language-neutral DEFAULT_ICON group";
  ASSERT_GE(group->size(), sizeof(GroupIconHeader));
  GroupIconHeader header;
  std::memcpy(&header, group->data(), sizeof header);
  EXPECT_EQ(header.reserved, 0);
  EXPECT_EQ(header.type, 1) << "icon, not cursor";
  ASSERT_EQ(header.count, 1) << "exactly one image";
  ASSERT_EQ(group->size(), sizeof(GroupIconHeader) + sizeof(GroupIconEntry));
  GroupIconEntry entry;
  std::memcpy(&entry, group->data() + sizeof header, sizeof entry);
  EXPECT_EQ(entry.width, 32);
  EXPECT_EQ(entry.height, 32);
  EXPECT_EQ(entry.colorCount, 0);
  EXPECT_EQ(entry.planes, 1);
  EXPECT_EQ(entry.bitCount, 32);

  auto image = image_->bytes(RT_ICON, MAKEINTRESOURCEW(entry.id));
  ASSERT_TRUE(image.has_value()) << "icon image " << entry.id << " missing";
  EXPECT_EQ(image->size(), entry.bytesInRes);
  ASSERT_GE(image->size(), sizeof(BITMAPINFOHEADER));
  BITMAPINFOHEADER bih;
  std::memcpy(&bih, image->data(), sizeof bih);
  ASSERT_EQ(bih.biSize, sizeof(BITMAPINFOHEADER)) << "a bitmap image, not PNG";
  EXPECT_EQ(bih.biWidth, 32);
  EXPECT_EQ(bih.biHeight, 64) << "colour rows plus mask rows";
  EXPECT_EQ(bih.biPlanes, 1);
  ASSERT_EQ(bih.biBitCount, 32);
  ASSERT_EQ(bih.biCompression, static_cast<DWORD>(BI_RGB));

  constexpr size_t kPixels = 32 * 32;
  constexpr size_t kMaskBytes = 32 * 4;  // 32 rows of 32 bits, DWORD-aligned
  ASSERT_EQ(image->size(), bih.biSize + kPixels * 4 + kMaskBytes);
  const BYTE* bgra = image->data() + bih.biSize;
  size_t translucent = 0;
  std::set<uint32_t> colours;
  for (size_t i = 0; i < kPixels; ++i) {
    if (bgra[i * 4 + 3] != 255) ++translucent;
    colours.insert(bgra[i * 4] | bgra[i * 4 + 1] << 8 | bgra[i * 4 + 2] << 16);
  }
  EXPECT_EQ(translucent, 0u) << "pixels with alpha below 255";
  const BYTE* mask = bgra + kPixels * 4;
  EXPECT_TRUE(std::all_of(mask, mask + kMaskBytes, [](BYTE b) { return b == 0; }))
      << "the AND mask hides pixels";
  // A picture, not a flat fill or a few-colour drawing.
  EXPECT_GE(colours.size(), 200u);
}

TEST_P(ExeImage, DefaultIconLoadsAtBothWindowIconSizes) {
  for (int size : {32, 16}) {
    SCOPED_TRACE(size);
    HICON icon = static_cast<HICON>(
        LoadImageW(image_->module(), L"DEFAULT_ICON", IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << "error " << GetLastError();
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm{};
    ASSERT_NE(GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm), 0);
    EXPECT_EQ(bm.bmWidth, size);
    EXPECT_EQ(bm.bmHeight, info.hbmColor ? size : 2 * size);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

TEST_P(ExeImage, ManifestAsksForCommonControls6OfItsOwnArchitectureAndNothingElse) {
  EXPECT_EQ(image_->names(RT_MANIFEST), std::vector<std::wstring>{L"#1"})
      << "one manifest, the process manifest";
  auto raw = image_->bytes(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID);
  ASSERT_TRUE(raw.has_value()) << "no RT_MANIFEST resource 1";
  const std::string xml(raw->begin(), raw->end());
  const std::string arch = GetParam().arch;

  // Only these elements, so no execution level, DPI setting or other request.
  static const std::regex tag(R"(<([A-Za-z][\w:.-]*))");
  std::set<std::string> elements;
  for (std::sregex_iterator t(xml.begin(), xml.end(), tag), end; t != end; ++t)
    elements.insert((*t)[1]);
  EXPECT_EQ(elements, (std::set<std::string>{"assembly", "assemblyIdentity", "dependency",
                                             "dependentAssembly"}));
  for (const char* absent : {"requestedExecutionLevel", "trustInfo", "dpiAware", "@"})
    EXPECT_EQ(xml.find(absent), std::string::npos) << absent;

  const auto ids = assemblyIdentities(xml);
  ASSERT_EQ(ids.size(), 2u) << xml;
  const std::map<std::string, std::string> self = ids[0];
  EXPECT_EQ(self.at("type"), "win32");
  EXPECT_FALSE(self.at("name").empty());
  EXPECT_EQ(self.at("version"), "5.2.0.0");
  EXPECT_EQ(self.at("processorArchitecture"), arch);

  const std::map<std::string, std::string> controls{
      {"type", "win32"},
      {"name", "Microsoft.Windows.Common-Controls"},
      {"version", "6.0.0.0"},
      {"processorArchitecture", arch},
      {"publicKeyToken", "6595b64144ccf1df"},
      {"language", "*"}};
  EXPECT_EQ(ids[1], controls);
  // The second identity is the dependency's, inside <dependency><dependentAssembly>.
  const size_t dep = xml.find("<dependency>");
  const size_t depAsm = xml.find("<dependentAssembly>");
  const size_t second = xml.find("<assemblyIdentity", xml.find("<assemblyIdentity") + 1);
  const size_t depEnd = xml.find("</dependency>");
  EXPECT_TRUE(dep < depAsm && depAsm < second && second < depEnd && depEnd != std::string::npos);

  EXPECT_EQ(image_->languages(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID),
            std::vector<WORD>{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)});
}

std::string caseName(const ::testing::TestParamInfo<ExeCase>& info) {
  return info.param.label;
}

INSTANTIATE_TEST_SUITE_P(Exe, ExeResources, ::testing::ValuesIn(kExes), caseName);
INSTANTIATE_TEST_SUITE_P(Exe, ExeVersionInfo, ::testing::ValuesIn(kExes), caseName);
INSTANTIATE_TEST_SUITE_P(Exe, ExeImage, ::testing::ValuesIn(kExes), caseName);

}  // namespace
