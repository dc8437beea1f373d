// The browser box with a stand-in component (support/StandInComponentHost.h): the
// calls it makes on the component, its settings, the events it turns the component's
// events into, its window behaviour and its teardown. The stand-in records every
// IWebBrowser2 call and raises the DWebBrowserEvents2 events that the platform's
// component raises only with a rendered page.

#include "browser/BrowserBox.h"
#include "support/RecordingEventTarget.h"
#include "support/StandInComponentHost.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Freed-block watch. The box may be deleted by a handler while it reports an event;
// afterwards it must not touch its own memory. While armed for one object, this
// test program's sized operator delete keeps that object's block instead of freeing
// it and fills it with a pattern; the test then checks that the pattern is intact
// (nothing wrote into the deleted box) and frees the block. Every other block is
// freed as usual.
namespace {

struct FreedBlockWatch {
    static inline const void* armedFor = nullptr;
    static inline void* kept = nullptr;
    static inline std::size_t keptSize = 0;
    static constexpr unsigned char pattern = 0xDD;

    static bool untouched() {
        if (!kept) return false;
        const auto* bytes = static_cast<const unsigned char*>(kept);
        for (std::size_t i = 0; i < keptSize; ++i) {
            if (bytes[i] != pattern) return false;
        }
        return true;
    }
    static void release() {
        armedFor = nullptr;
        std::free(kept);
        kept = nullptr;
        keptSize = 0;
    }
};

}  // namespace

void operator delete(void* block) noexcept { std::free(block); }

void operator delete(void* block, std::size_t size) noexcept {
    if (block && block == FreedBlockWatch::armedFor) {
        std::memset(block, FreedBlockWatch::pattern, size);
        FreedBlockWatch::kept = block;
        FreedBlockWatch::keptSize = size;
        FreedBlockWatch::armedFor = nullptr;
        return;
    }
    std::free(block);
}

namespace vparse {
namespace {

using testing::BrowserCall;
using testing::RecordingBrowser;
using testing::RecordingEventTarget;
using testing::ReportedEvent;
using testing::StandInComponent;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint32_t kWindowNumber = 1375797249;
constexpr std::uint32_t kControlNumber = 1375797260;
constexpr int kChildId = 1001;
constexpr int kLeft = 10, kTop = 20, kWidth = 640, kHeight = 320;

const char* const kNavigateArguments =
    "Flags=VT_I4 0;TargetFrameName=VT_BSTR null;PostData=VT_EMPTY;Headers=VT_BSTR null";

// GBK texts and their UTF-16 forms.
const char* const kGbkInk = "\xC4\xAB\xD6\xDB";  // 墨舟
const wchar_t* const kWideInk = L"\u58A8\u821F";
const char* const kGbkPage = "\xD2\xB3\xC3\xE6";  // 页面
const wchar_t* const kWidePage = L"\u9875\u9762";
const char* const kGbkNewTitle = "\xD0\xC2\xB1\xEA\xCC\xE2";  // 新标题
const wchar_t* const kWideNewTitle = L"\u65B0\u6807\u9898";
const char* const kGbkConnecting = "\xD5\xFD\xD4\xDA\xC1\xAC\xBD\xD3";  // 正在连接
const wchar_t* const kWideConnecting = L"\u6B63\u5728\u8FDE\u63A5";

HWND createParentWindow() {
    return testing::createPlainParent(L"VparseTestBrowserBoxParent", 800, 600);
}

Value number(std::int32_t value) { return Value(value); }
Value text(const std::string& value) { return Value(Text(value)); }

// The calls as (method, arguments) pairs, for readable comparisons.
std::vector<std::pair<std::string, std::string>> callList(const std::vector<BrowserCall>& calls) {
    std::vector<std::pair<std::string, std::string>> list;
    for (const BrowserCall& call : calls) list.emplace_back(call.method, call.arguments);
    return list;
}

class BrowserBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, OleInitialize(nullptr));
        oleInitialised_ = true;
        parent_ = createParentWindow();
        ASSERT_NE(nullptr, parent_);
        StandInComponent::current = &component_;
        setComponentHostFactory(&testing::makeStandInHost);
    }

    void TearDown() override {
        target_.control.reset();
        if (parent_ && IsWindow(parent_)) DestroyWindow(parent_);
        setComponentHostFactory(nullptr);
        StandInComponent::current = nullptr;
        component_.browser.Reset();
        FreedBlockWatch::release();
        if (oleInitialised_) OleUninitialize();
    }

    CreateContext context() {
        CreateContext c;
        c.baseStyle = WS_TABSTOP;
        c.parent = parent_;
        c.childId = kChildId;
        c.left = kLeft;
        c.top = kTop;
        c.width = kWidth;
        c.height = kHeight;
        c.windowNumber = kWindowNumber;
        c.controlNumber = kControlNumber;
        c.events = &target_;
        return c;
    }

    // Creates the box (owned by the target, as the main window owns its controls).
    BrowserBox* createBox(const BrowserBoxSettings& settings = {}) {
        target_.control = BrowserBox::create(settings, context());
        return target_.control.get();
    }
    // Creates the box and forgets the calls made at creation.
    BrowserBox& readyBox(const BrowserBoxSettings& settings = {}) {
        BrowserBox* box = createBox(settings);
        if (!box) throw std::runtime_error("the browser box was not created");
        browser().calls.clear();
        return *box;
    }

    RecordingBrowser& browser() { return *component_.browser.Get(); }
    BrowserBox* box() { return target_.control.get(); }

    StandInComponent component_;
    RecordingEventTarget<BrowserBox> target_;
    HWND parent_ = nullptr;
    bool oleInitialised_ = false;
};

// ---------------------------------------------------------------------------
// Creation

struct CreationCase {
    const char* name;
    BrowserBoxSettings settings;
    std::vector<std::pair<std::string, std::string>> calls;
    std::vector<std::wstring> navigations;
};

class BrowserBoxCreationTest : public BrowserBoxTest,
                               public ::testing::WithParamInterface<CreationCase> {};

TEST_P(BrowserBoxCreationTest, SendsTheSettingsToTheComponentInOrder) {
    const CreationCase& c = GetParam();
    ASSERT_NE(nullptr, createBox(c.settings));

    EXPECT_EQ(c.calls, callList(browser().calls));
    std::vector<std::wstring> urls;
    for (const BrowserCall& call : browser().callsOf("Navigate")) {
        urls.push_back(call.url);
        EXPECT_EQ(kNavigateArguments, call.arguments);
    }
    EXPECT_EQ(c.navigations, urls);
}

const CreationCase kCreationCases[] = {
    {"Defaults",
     {},
     {{"put_Offline", "0"}, {"put_Silent", "0"}, {"ExecWB", "19,2,VT_I4 2,none"}},
     {}},
    {"EveryOwnSetting",
     {3, true, true, "http://start.test/"},
     {{"put_Offline", "-1"},
      {"put_Silent", "-1"},
      {"ExecWB", "19,2,VT_I4 3,none"},
      {"Navigate", kNavigateArguments}},
     {L"http://start.test/"}},
    {"ZoomAboveRangeIsClamped",
     {12, false, false, ""},
     {{"put_Offline", "0"}, {"put_Silent", "0"}, {"ExecWB", "19,2,VT_I4 4,none"}},
     {}},
    {"ZoomBelowRangeIsClamped",
     {-5, false, false, ""},
     {{"put_Offline", "0"}, {"put_Silent", "0"}, {"ExecWB", "19,2,VT_I4 0,none"}},
     {}},
};

INSTANTIATE_TEST_SUITE_P(Settings, BrowserBoxCreationTest, ::testing::ValuesIn(kCreationCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BrowserBoxTest, CreatesTheComponentInsideItsWindow) {
    BrowserBox* created = createBox();
    ASSERT_NE(nullptr, created);
    HWND wrapper = created->window();
    ASSERT_TRUE(IsWindow(wrapper));

    EXPECT_EQ(parent_, GetParent(wrapper));
    EXPECT_EQ(kChildId, GetDlgCtrlID(wrapper));
    wchar_t className[64] = {};
    GetClassNameW(wrapper, className, 64);
    EXPECT_STREQ(BrowserBox::className, className);
    const LONG_PTR style = GetWindowLongPtrW(wrapper, GWL_STYLE);
    EXPECT_EQ(WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP,
              style & (WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | WS_VISIBLE));
    RECT placed{};
    GetWindowRect(wrapper, &placed);
    MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(kLeft, placed.left);
    EXPECT_EQ(kTop, placed.top);
    EXPECT_EQ(kWidth, placed.right - placed.left);
    EXPECT_EQ(kHeight, placed.bottom - placed.top);

    // The host was asked to fill the wrapper's client rectangle.
    EXPECT_EQ(1, component_.creates);
    EXPECT_EQ(wrapper, component_.parent);
    EXPECT_EQ(0, component_.area.left);
    EXPECT_EQ(0, component_.area.top);
    EXPECT_EQ(kWidth, component_.area.right);
    EXPECT_EQ(kHeight, component_.area.bottom);
    EXPECT_EQ(component_.window, created->componentWindow());
    EXPECT_EQ(wrapper, GetParent(created->componentWindow()));
    // The box holds one reference besides the test's and the host's.
    EXPECT_EQ(3, browser().references());
    EXPECT_NE(nullptr, browser().connectedEvents());
}

struct FailureCase {
    const char* name;
    HRESULT createAnswer;
    bool handsOutBrowser;
};

class BrowserBoxCreationFailureTest : public BrowserBoxTest,
                                      public ::testing::WithParamInterface<FailureCase> {};

TEST_P(BrowserBoxCreationFailureTest, AnswersNothingAndLeavesNoWindow) {
    component_.createAnswer = GetParam().createAnswer;
    component_.handsOutBrowser = GetParam().handsOutBrowser;

    EXPECT_EQ(nullptr, createBox());

    EXPECT_EQ(1, component_.creates);
    EXPECT_EQ(nullptr, FindWindowExW(parent_, nullptr, BrowserBox::className, nullptr));
    EXPECT_EQ(nullptr, GetWindow(parent_, GW_CHILD));
    if (component_.window) {
        EXPECT_FALSE(IsWindow(component_.window));
    }
    EXPECT_EQ(1, component_.hostsDeleted);
    EXPECT_EQ(1, browser().references());
    EXPECT_THAT(browser().calls, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Host, BrowserBoxCreationFailureTest,
    ::testing::Values(FailureCase{"ComponentNotCreated", REGDB_E_CLASSNOTREG, true},
                      FailureCase{"NoWebBrowserInterface", S_OK, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Writing settings

TEST_F(BrowserBoxTest, ZoomWriteIsClampedStoredAndSent) {
    BrowserBox& box = readyBox();
    const struct {
        std::int32_t written;
        std::int32_t level;
    } cases[] = {{-3, 0}, {9, 4}, {2, 2}, {0, 0}, {4, 4}, {-1, 0}, {5, 4}, {INT32_MIN, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        browser().calls.clear();
        EXPECT_FALSE(box.writeSetting(BrowserBox::zoomLevel, number(c.written)));
        EXPECT_THAT(callList(browser().calls),
                    ElementsAre(std::pair<std::string, std::string>(
                        "ExecWB", "19,2,VT_I4 " + std::to_string(c.level) + ",none")));
        EXPECT_EQ(number(c.level), box.readSetting(BrowserBox::zoomLevel));
    }
}

TEST_F(BrowserBoxTest, OfflineAndSilentWritesReachTheComponent) {
    BrowserBox& box = readyBox();
    const struct {
        int index;
        std::int32_t value;
        const char* method;
        const char* argument;
    } cases[] = {
        {BrowserBox::offline, 1, "put_Offline", "-1"},
        {BrowserBox::offline, 0, "put_Offline", "0"},
        {BrowserBox::silent, 1, "put_Silent", "-1"},
        {BrowserBox::silent, 0, "put_Silent", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + std::to_string(c.value));
        browser().calls.clear();
        EXPECT_FALSE(box.writeSetting(c.index, number(c.value)));
        EXPECT_THAT(callList(browser().calls),
                    ElementsAre(std::pair<std::string, std::string>(c.method, c.argument)));
    }
}

TEST_F(BrowserBoxTest, AddressWriteNavigatesToTheTextAsItStands) {
    BrowserBox& box = readyBox();
    const struct {
        const char* label;
        std::string written;
        std::wstring url;
    } cases[] = {
        {"GBK text", std::string("http://") + kGbkInk + ".test/" + kGbkPage,
         std::wstring(L"http://") + kWideInk + L".test/" + kWidePage},
        {"leading blank", " http://host.test/", L" http://host.test/"},
        {"trailing blank", "http://host.test/ ", L"http://host.test/ "},
        {"no scheme", "www.host.test", L"www.host.test"},
        {"empty", "", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        browser().calls.clear();
        EXPECT_FALSE(box.writeSetting(BrowserBox::address, text(c.written)));
        ASSERT_EQ(1u, browser().calls.size());
        const BrowserCall& call = browser().calls[0];
        EXPECT_EQ("Navigate", call.method);
        EXPECT_EQ(c.url, call.url);
        EXPECT_EQ(kNavigateArguments, call.arguments);
    }
}

TEST_F(BrowserBoxTest, SameAddressTwiceNavigatesTwice) {
    BrowserBox& box = readyBox({2, false, false, "http://same.test/"});
    box.writeSetting(BrowserBox::address, text("http://same.test/"));
    box.writeSetting(BrowserBox::address, text("http://same.test/"));

    const auto navigations = browser().callsOf("Navigate");
    ASSERT_EQ(2u, navigations.size());
    EXPECT_EQ(L"http://same.test/", navigations[0].url);
    EXPECT_EQ(L"http://same.test/", navigations[1].url);
}

TEST_F(BrowserBoxTest, WritesOfReadOnlySettingsChangeNothing) {
    BrowserBox& box = readyBox();
    browser().locationName = L"title";
    const struct {
        int index;
        Value value;
        Value readBack;
    } cases[] = {
        {BrowserBox::statusText, text("written status"), text("")},
        {BrowserBox::pageTitle, text("written title"), text("title")},
        {BrowserBox::designPreview, number(1), number(0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        browser().calls.clear();
        EXPECT_FALSE(box.writeSetting(c.index, c.value));
        EXPECT_THAT(browser().calls, IsEmpty());
        EXPECT_EQ(c.readBack, box.readSetting(c.index));
    }
}

// ---------------------------------------------------------------------------
// Reading settings

TEST_F(BrowserBoxTest, ZoomReadAnswersTheStoredLevelWithoutAskingTheComponent) {
    BrowserBox& box = readyBox({3, false, false, {}});
    EXPECT_EQ(number(3), box.readSetting(BrowserBox::zoomLevel));
    EXPECT_THAT(browser().calls, IsEmpty());
}

TEST_F(BrowserBoxTest, OfflineAndSilentReadsAskTheComponent) {
    BrowserBox& box = readyBox();
    const struct {
        int index;
        VARIANT_BOOL RecordingBrowser::*property;
        VARIANT_BOOL state;
        std::int32_t read;
        const char* method;
    } cases[] = {
        {BrowserBox::offline, &RecordingBrowser::offline, VARIANT_TRUE, 1, "get_Offline"},
        {BrowserBox::offline, &RecordingBrowser::offline, VARIANT_FALSE, 0, "get_Offline"},
        {BrowserBox::silent, &RecordingBrowser::silent, VARIANT_TRUE, 1, "get_Silent"},
        {BrowserBox::silent, &RecordingBrowser::silent, VARIANT_FALSE, 0, "get_Silent"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + std::to_string(c.state));
        // The component changed its state by itself: the box must ask, not remember.
        browser().calls.clear();
        browser().*c.property = c.state;
        EXPECT_EQ(number(c.read), box.readSetting(c.index));
        EXPECT_EQ(std::vector<std::string>{c.method}, browser().methods());
    }
}

TEST_F(BrowserBoxTest, AddressReadOutsideEventsAnswersTheComponentsLocation) {
    BrowserBox& box = readyBox();
    box.writeSetting(BrowserBox::address, text("http://written.test/"));
    browser().locationUrl = std::wstring(L"http://shown.test/") + kWidePage;
    browser().calls.clear();

    EXPECT_EQ(text(std::string("http://shown.test/") + kGbkPage),
              box.readSetting(BrowserBox::address));
    EXPECT_EQ(std::vector<std::string>{"get_LocationURL"}, browser().methods());

    // The location replaced the stored address: when the component cannot answer,
    // the box answers the location it read last, not the text written before.
    browser().locationUrl.reset();
    EXPECT_EQ(text(std::string("http://shown.test/") + kGbkPage),
              box.readSetting(BrowserBox::address));
}

TEST_F(BrowserBoxTest, TextReadsAnswerStatusAndTitle) {
    BrowserBox& box = readyBox();
    EXPECT_EQ(text(""), box.readSetting(BrowserBox::statusText));
    EXPECT_THAT(browser().calls, IsEmpty());

    browser().locationName = kWideNewTitle;
    EXPECT_EQ(text(kGbkNewTitle), box.readSetting(BrowserBox::pageTitle));
    EXPECT_EQ(std::vector<std::string>{"get_LocationName"}, browser().methods());
}

TEST_F(BrowserBoxTest, DesignPreviewReadsZeroAndUnknownIndexesFail) {
    BrowserBox& box = readyBox();
    EXPECT_EQ(number(0), box.readSetting(BrowserBox::designPreview));
    for (int index : {-1, 0, 5, 7, 15, 16, 100}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(std::nullopt, box.readSetting(index));
    }
}

// ---------------------------------------------------------------------------
// Events

TEST_F(BrowserBoxTest, EachComponentEventIsReportedAsItsBoxEvent) {
    readyBox();
    const struct {
        const char* label;
        std::function<void(RecordingBrowser&)> raise;
        std::optional<int> event;  // nullopt: not reported
        std::vector<std::int32_t> arguments;
    } cases[] = {
        {"BeforeNavigate2", [](auto& b) { b.raiseBeforeNavigate2(L"http://a.test/"); },
         BrowserBox::beforeNavigate, {}},
        {"NavigateComplete2", [](auto& b) { b.raiseNavigateComplete2(L"http://a.test/"); },
         BrowserBox::navigateComplete, {}},
        {"DownloadBegin", [](auto& b) { b.raiseWithoutArguments(DISPID_DOWNLOADBEGIN); },
         BrowserBox::downloadBegin, {}},
        {"ProgressChange max 0", [](auto& b) { b.raiseProgressChange(10, 0); },
         BrowserBox::progressChange, {100}},
        {"ProgressChange 50/200", [](auto& b) { b.raiseProgressChange(50, 200); },
         BrowserBox::progressChange, {25}},
        {"ProgressChange 2/3 rounds", [](auto& b) { b.raiseProgressChange(2, 3); },
         BrowserBox::progressChange, {67}},
        {"ProgressChange done", [](auto& b) { b.raiseProgressChange(300, 300); },
         BrowserBox::progressChange, {100}},
        {"DownloadComplete", [](auto& b) { b.raiseWithoutArguments(DISPID_DOWNLOADCOMPLETE); },
         BrowserBox::downloadComplete, {}},
        {"DocumentComplete", [](auto& b) { b.raiseDocumentComplete(L"http://a.test/"); },
         BrowserBox::documentComplete, {}},
        {"StatusTextChange", [](auto& b) { b.raiseStatusTextChange(L"status"); },
         BrowserBox::statusTextChange, {}},
        {"TitleChange", [](auto& b) { b.raiseTitleChange(L"title"); }, BrowserBox::titleChange,
         {}},
        {"CommandStateChange forward on",
         [](auto& b) { b.raiseCommandStateChange(CSC_NAVIGATEFORWARD, VARIANT_TRUE); },
         BrowserBox::commandStateChange, {0, 1}},
        {"CommandStateChange forward off",
         [](auto& b) { b.raiseCommandStateChange(CSC_NAVIGATEFORWARD, VARIANT_FALSE); },
         BrowserBox::commandStateChange, {0, 0}},
        {"CommandStateChange back on",
         [](auto& b) { b.raiseCommandStateChange(CSC_NAVIGATEBACK, VARIANT_TRUE); },
         BrowserBox::commandStateChange, {1, 1}},
        {"CommandStateChange back off",
         [](auto& b) { b.raiseCommandStateChange(CSC_NAVIGATEBACK, VARIANT_FALSE); },
         BrowserBox::commandStateChange, {1, 0}},
        {"CommandStateChange -1", [](auto& b) { b.raiseCommandStateChange(-1, VARIANT_TRUE); },
         std::nullopt, {}},
        {"NewWindow2", [](auto& b) { b.raiseNewWindow2(); }, BrowserBox::newWindow, {}},
        {"PropertyChange", [](auto& b) { b.raisePropertyChange(L"property"); }, std::nullopt, {}},
        {"OnQuit", [](auto& b) { b.raiseWithoutArguments(DISPID_ONQUIT); }, std::nullopt, {}},
        {"OnVisible", [](auto& b) { b.raiseOnVisible(VARIANT_TRUE); }, std::nullopt, {}},
        {"NavigateError", [](auto& b) { b.raiseWithoutArguments(DISPID_NAVIGATEERROR); },
         std::nullopt, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        target_.events.clear();
        c.raise(browser());
        if (!c.event) {
            EXPECT_THAT(target_.events, IsEmpty());
            continue;
        }
        ASSERT_EQ(1u, target_.events.size());
        const ReportedEvent& reported = target_.events[0];
        EXPECT_EQ(kWindowNumber, reported.windowNumber);
        EXPECT_EQ(kControlNumber, reported.controlNumber);
        EXPECT_EQ(*c.event, reported.event);
        EXPECT_EQ(c.arguments, reported.arguments);
    }
}

TEST_F(BrowserBoxTest, AddressReadsAsTheEventsAddressOnlyDuringAddressEvents) {
    BrowserBox& box = readyBox();
    browser().locationUrl = L"http://shown.test/";
    const std::wstring eventUrl = std::wstring(L"http://next.test/") + kWidePage;
    const Value eventAddress = text(std::string("http://next.test/") + kGbkPage);
    const struct {
        const char* label;
        std::function<void(RecordingBrowser&)> raise;
    } cases[] = {
        {"BeforeNavigate2", [&](auto& b) { b.raiseBeforeNavigate2(eventUrl); }},
        {"NavigateComplete2", [&](auto& b) { b.raiseNavigateComplete2(eventUrl); }},
        {"DocumentComplete", [&](auto& b) { b.raiseDocumentComplete(eventUrl); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::optional<Value> during;
        target_.during = [&](int) { during = box.readSetting(BrowserBox::address); };
        c.raise(browser());
        target_.during = nullptr;
        EXPECT_EQ(eventAddress, during);
        EXPECT_EQ(text("http://shown.test/"), box.readSetting(BrowserBox::address));
    }
}

TEST_F(BrowserBoxTest, OtherEventsLeaveTheAddressReadToTheComponent) {
    BrowserBox& box = readyBox();
    browser().locationUrl = L"http://shown.test/";
    std::optional<Value> during;
    target_.during = [&](int) { during = box.readSetting(BrowserBox::address); };
    browser().raiseTitleChange(L"title");
    EXPECT_EQ(text("http://shown.test/"), during);
}

TEST_F(BrowserBoxTest, TitleReadsAsTheNewTitleDuringTitleChange) {
    BrowserBox& box = readyBox();
    browser().locationName = L"old title";
    std::optional<Value> during;
    target_.during = [&](int) { during = box.readSetting(BrowserBox::pageTitle); };
    browser().raiseTitleChange(kWideNewTitle);
    target_.during = nullptr;

    EXPECT_EQ(text(kGbkNewTitle), during);
    EXPECT_EQ(text("old title"), box.readSetting(BrowserBox::pageTitle));
}

TEST_F(BrowserBoxTest, StatusTextIsStoredBeforeTheReportAndStays) {
    BrowserBox& box = readyBox();
    std::optional<Value> during;
    target_.during = [&](int) { during = box.readSetting(BrowserBox::statusText); };
    browser().raiseStatusTextChange(kWideConnecting);
    target_.during = nullptr;

    EXPECT_EQ(text(kGbkConnecting), during);
    EXPECT_EQ(text(kGbkConnecting), box.readSetting(BrowserBox::statusText));
    browser().raiseWithoutArguments(DISPID_DOWNLOADCOMPLETE);
    browser().raiseTitleChange(L"title");
    EXPECT_EQ(text(kGbkConnecting), box.readSetting(BrowserBox::statusText));
    browser().raiseStatusTextChange(L"done");
    EXPECT_EQ(text("done"), box.readSetting(BrowserBox::statusText));
}

TEST_F(BrowserBoxTest, CancelIsSetOnlyWhenAHandlerReturnedFalse) {
    readyBox();
    const struct {
        const char* label;
        EventAnswer answer;
        VARIANT_BOOL cancel;
    } answers[] = {
        {"no handler", {false, false, 0}, VARIANT_FALSE},
        {"handler returned 0", {true, true, 0}, VARIANT_TRUE},
        {"handler returned 1", {true, true, 1}, VARIANT_FALSE},
        {"handler returned nothing", {true, false, 0}, VARIANT_FALSE},
    };
    const struct {
        const char* label;
        std::function<VARIANT_BOOL(RecordingBrowser&, VARIANT_BOOL)> raise;
    } events[] = {
        {"BeforeNavigate2",
         [](auto& b, VARIANT_BOOL start) { return b.raiseBeforeNavigate2(L"http://a/", start); }},
        {"NewWindow2", [](auto& b, VARIANT_BOOL start) { return b.raiseNewWindow2(start); }},
    };
    for (const auto& e : events) {
        for (const auto& a : answers) {
            SCOPED_TRACE(std::string(e.label) + ", " + a.label);
            target_.answer = a.answer;
            // Cancel starts at the opposite value: the box must set it either way.
            const VARIANT_BOOL start = a.cancel == VARIANT_TRUE ? VARIANT_FALSE : VARIANT_TRUE;
            EXPECT_EQ(a.cancel, e.raise(browser(), start));
        }
    }
}

// A handler destroys the box during the report; the main window (here: the
// target's controlGone) deletes the box object at once. The box must touch
// nothing of itself afterwards: the watched block of the deleted box must keep
// its pattern, and nothing may crash.
TEST_F(BrowserBoxTest, HandlerThatDestroysTheBoxDuringAReport) {
    const struct {
        const char* label;
        std::function<void(RecordingBrowser&)> raise;
    } cases[] = {
        {"BeforeNavigate2", [](auto& b) { b.raiseBeforeNavigate2(L"http://a.test/"); }},
        {"NavigateComplete2", [](auto& b) { b.raiseNavigateComplete2(L"http://a.test/"); }},
        {"DocumentComplete", [](auto& b) { b.raiseDocumentComplete(L"http://a.test/"); }},
        {"TitleChange", [](auto& b) { b.raiseTitleChange(L"title"); }},
        {"StatusTextChange", [](auto& b) { b.raiseStatusTextChange(L"status"); }},
        {"DownloadBegin", [](auto& b) { b.raiseWithoutArguments(DISPID_DOWNLOADBEGIN); }},
        {"ProgressChange", [](auto& b) { b.raiseProgressChange(1, 2); }},
        {"NewWindow2", [](auto& b) { b.raiseNewWindow2(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        BrowserBox& box = readyBox();
        HWND wrapper = box.window();
        HWND componentWindow = box.componentWindow();
        target_.events.clear();
        target_.gone.clear();
        FreedBlockWatch::armedFor = &box;
        target_.during = [&](int) {
            DestroyWindow(wrapper);
            // The main window's controlGone has deleted the box by now.
            EXPECT_EQ(nullptr, target_.control);
        };
        c.raise(browser());
        target_.during = nullptr;

        EXPECT_EQ(1u, target_.events.size());
        EXPECT_EQ(1u, target_.gone.size());
        EXPECT_EQ(nullptr, target_.control);
        EXPECT_FALSE(IsWindow(wrapper));
        EXPECT_FALSE(IsWindow(componentWindow));
        EXPECT_TRUE(FreedBlockWatch::untouched()) << "the deleted box was written to";
        EXPECT_EQ(1, browser().references());
        EXPECT_EQ(nullptr, browser().connectedEvents());
        FreedBlockWatch::release();
    }
}

TEST_F(BrowserBoxTest, HandlerThatDestroysTheBoxStillDecidesCancel) {
    BrowserBox& box = readyBox();
    HWND wrapper = box.window();
    target_.answer = {true, true, 0};
    target_.during = [&](int) { DestroyWindow(wrapper); };
    EXPECT_EQ(VARIANT_TRUE, browser().raiseBeforeNavigate2(L"http://a.test/"));
    EXPECT_EQ(nullptr, target_.control);
}

TEST_F(BrowserBoxTest, EventArrivingAfterTheBoxIsGoneIsDropped) {
    BrowserBox& box = readyBox();
    // A component that still holds the box's receiver after the box has gone.
    Microsoft::WRL::ComPtr<IDispatch> receiver = browser().connectedEvents();
    ASSERT_NE(nullptr, receiver);
    DestroyWindow(box.window());
    ASSERT_EQ(nullptr, target_.control);
    target_.events.clear();

    browser().connect(receiver.Get());
    EXPECT_EQ(VARIANT_FALSE, browser().raiseBeforeNavigate2(L"http://late.test/"));
    browser().raiseStatusTextChange(L"late");
    browser().disconnect();

    EXPECT_THAT(target_.events, IsEmpty());
}

// ---------------------------------------------------------------------------
// Size, focus and destruction

TEST_F(BrowserBoxTest, SizeChangeFitsTheComponentWindowToTheClientArea) {
    BrowserBox& box = readyBox();
    const SIZE sizes[] = {{300, 200}, {1408, 688}, {1, 1}};
    for (const SIZE& size : sizes) {
        SCOPED_TRACE(std::to_string(size.cx) + "x" + std::to_string(size.cy));
        SetWindowPos(box.window(), nullptr, 5, 7, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
        RECT client{};
        GetClientRect(box.window(), &client);
        RECT component{};
        GetWindowRect(box.componentWindow(), &component);
        MapWindowPoints(nullptr, box.window(), reinterpret_cast<POINT*>(&component), 2);
        EXPECT_EQ(0, component.left);
        EXPECT_EQ(0, component.top);
        EXPECT_EQ(client.right, component.right);
        EXPECT_EQ(client.bottom, component.bottom);
    }
}

TEST_F(BrowserBoxTest, FocusOnTheBoxGoesOnToTheComponentWindow) {
    BrowserBox& box = readyBox();
    ShowWindow(parent_, SW_SHOW);
    ShowWindow(box.window(), SW_SHOW);
    SetForegroundWindow(parent_);
    SetFocus(nullptr);

    SetFocus(box.window());

    EXPECT_EQ(box.componentWindow(), GetFocus());
}

TEST_F(BrowserBoxTest, DestructionReleasesTheComponent) {
    const struct {
        const char* label;
        bool windowFirst;  // the main window destroys its children / the object is deleted
    } cases[] = {{"parent window destroyed", true}, {"box object deleted", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        if (!parent_) parent_ = createParentWindow();
        BrowserBox& box = readyBox();
        HWND wrapper = box.window();
        HWND componentWindow = box.componentWindow();
        component_.destroys = 0;
        component_.hostsDeleted = 0;
        component_.browserReferencesAtFirstDestroy = -1;
        target_.gone.clear();
        ASSERT_EQ(3, browser().references());
        // The box's event receiver, held here too: it must end with this reference.
        Microsoft::WRL::ComPtr<IDispatch> receiver = browser().connectedEvents();
        ASSERT_NE(nullptr, receiver);

        if (c.windowFirst) {
            DestroyWindow(parent_);
            parent_ = nullptr;
            // As the main window does: the control's object goes with its window.
            EXPECT_EQ(nullptr, target_.control);
            EXPECT_THAT(target_.gone, ElementsAre(std::pair(kWindowNumber, kControlNumber)));
        } else {
            target_.control.reset();
        }

        // The box let go of its reference before the host closed the component.
        EXPECT_EQ(2, component_.browserReferencesAtFirstDestroy);
        EXPECT_GE(component_.destroys, 1);
        EXPECT_EQ(1, component_.hostsDeleted);
        EXPECT_EQ(1, browser().references());
        EXPECT_EQ(nullptr, browser().connectedEvents());
        EXPECT_FALSE(IsWindow(wrapper));
        EXPECT_FALSE(IsWindow(componentWindow));
        EXPECT_EQ(0u, receiver.Detach()->Release()) << "the event receiver was not released";
    }
}

}  // namespace
}  // namespace vparse
