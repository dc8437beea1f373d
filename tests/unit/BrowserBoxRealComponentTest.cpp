// The browser box with the platform's WebBrowser component, as the program runs it.
// Pages never render here (no HTML engine is installed), but the component is
// created, takes Navigate, raises its first events and sends its HTTP requests.
//
// Navigations go to a loopback HTTP proxy of the test's own (tests/e2e/Proxy.h). The
// component's networking reads the http_proxy environment variable when the
// process's first navigation sets it up; a variable set after that is not seen. So
// when a BrowserBoxNetworkTest is to run, the proxy is started and the variable set
// before the first test of the process runs (other tests of the same process then
// reach the proxy as well).
//
// Some tests see the calls on the real component through RecordingOleHost: the
// product's OLE host creates the component, and the box gets a wrapper that records
// each call and forwards it.

#include "browser/BrowserBox.h"
#include "support/RecordingEventTarget.h"
#include "support/StandInComponentHost.h"

#include "../e2e/Proxy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vparse {
namespace {

using testing::BrowserCall;
using ::testing::ElementsAre;
using testing::RecordedOleComponent;
using testing::RecordingBrowser;
using testing::RecordingEventTarget;

constexpr std::uint32_t kWindowNumber = 1375797249;
constexpr std::uint32_t kControlNumber = 1375797260;
constexpr int kWidth = 1408, kHeight = 688;
constexpr DWORD kNavigationDeadlineMs = 15000;

// The proxy of this process, made on first use and kept until the process ends
// (the component's networking keeps using the address it read).
e2e::HttpProxy& loopbackProxy() {
    static e2e::HttpProxy* const proxy = [] {
        auto* made = new e2e::HttpProxy();
        const std::wstring address = L"http://" + made->address();
        SetEnvironmentVariableW(L"http_proxy", address.c_str());
        return made;
    }();
    return *proxy;
}

constexpr const char* kNetworkSuite = "BrowserBoxNetworkTest";

// Starts the proxy before the first test when a network test is among those to run.
class LoopbackProxyEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        const ::testing::UnitTest& tests = *::testing::UnitTest::GetInstance();
        for (int i = 0; i < tests.total_test_suite_count(); ++i) {
            const ::testing::TestSuite& suite = *tests.GetTestSuite(i);
            if (std::string(suite.name()) == kNetworkSuite && suite.test_to_run_count() > 0) {
                loopbackProxy();
            }
        }
    }
};

[[maybe_unused]] ::testing::Environment* const proxyEnvironment =
    ::testing::AddGlobalTestEnvironment(new LoopbackProxyEnvironment);

// Runs the thread's messages until `done` holds or `deadlineMs` passes.
bool pumpUntil(const std::function<bool()>& done, DWORD deadlineMs) {
    const ULONGLONG end = GetTickCount64() + deadlineMs;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        MsgWaitForMultipleObjects(
            0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20)), QS_ALLINPUT);
    }
}

HWND createParentWindow() {
    return testing::createPlainParent(L"VparseTestRealBrowserParent", 1420, 760);
}

class BrowserBoxRealComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, OleInitialize(nullptr));
        oleInitialised_ = true;
        parent_ = createParentWindow();
        ASSERT_NE(nullptr, parent_);
        RecordedOleComponent::current = &recorded_;
    }

    void TearDown() override {
        target_.control.reset();
        if (parent_ && IsWindow(parent_)) DestroyWindow(parent_);
        setComponentHostFactory(nullptr);
        RecordedOleComponent::current = nullptr;
        recorded_.wrapper.Reset();
        if (oleInitialised_) OleUninitialize();
    }

    // Creates the box on the platform's component; `recording` puts the recording
    // wrapper between the box and the component.
    BrowserBox* createBox(bool recording) {
        setComponentHostFactory(recording ? &testing::makeRecordingOleHost : nullptr);
        CreateContext c;
        c.baseStyle = WS_TABSTOP;
        c.parent = parent_;
        c.childId = 1001;
        c.width = kWidth;
        c.height = kHeight;
        c.windowNumber = kWindowNumber;
        c.controlNumber = kControlNumber;
        c.events = &target_;
        target_.control = BrowserBox::create({}, c);
        if (target_.control) ShowWindow(target_.control->window(), SW_SHOW);
        return target_.control.get();
    }

    RecordingBrowser& wrapper() { return *recorded_.wrapper.Get(); }

    RecordedOleComponent recorded_;
    RecordingEventTarget<BrowserBox> target_;
    HWND parent_ = nullptr;
    bool oleInitialised_ = false;
};

TEST_F(BrowserBoxRealComponentTest, ComponentWindowIsAChildFillingTheBox) {
    BrowserBox* box = createBox(false);
    ASSERT_NE(nullptr, box);
    HWND component = box->componentWindow();
    ASSERT_TRUE(IsWindow(component));
    EXPECT_EQ(box->window(), GetParent(component));
    EXPECT_TRUE(GetWindowLongPtrW(component, GWL_STYLE) & WS_CHILD);

    RECT area{};
    GetWindowRect(component, &area);
    MapWindowPoints(nullptr, box->window(), reinterpret_cast<POINT*>(&area), 2);
    EXPECT_EQ(0, area.left);
    EXPECT_EQ(0, area.top);
    EXPECT_EQ(kWidth, area.right);
    EXPECT_EQ(kHeight, area.bottom);
}

TEST_F(BrowserBoxRealComponentTest, CallsAtCreationAndTheComponentsAnswers) {
    ASSERT_NE(nullptr, createBox(true));
    ASSERT_NE(nullptr, recorded_.wrapper);
    std::vector<std::string> seen;
    for (const BrowserCall& call : wrapper().calls) {
        char answer[16];
        wsprintfA(answer, "0x%08lX", static_cast<unsigned long>(call.answer));
        seen.push_back(call.method + "(" + call.arguments + ") -> " + answer);
    }
    // The component takes Offline and Silent; before any document exists it refuses
    // the zoom command, which the box ignores.
    EXPECT_THAT(seen, ElementsAre("put_Offline(0) -> 0x00000000", "put_Silent(0) -> 0x00000000",
                                  "ExecWB(19,2,VT_I4 2,none) -> 0x8000FFFF"));
}

TEST_F(BrowserBoxRealComponentTest, TeardownReleasesTheComponentBeforeOleEnds) {
    BrowserBox* box = createBox(true);
    ASSERT_NE(nullptr, box);
    // The client site that the product's host gave the component.
    Microsoft::WRL::ComPtr<IOleClientSite> site;
    {
        Microsoft::WRL::ComPtr<IOleObject> object;
        ASSERT_EQ(S_OK, wrapper().inner()->QueryInterface(IID_PPV_ARGS(&object)));
        ASSERT_EQ(S_OK, object->GetClientSite(&site));
        ASSERT_NE(nullptr, site);
    }
    HWND component = box->componentWindow();

    // As when the main window closes: the box's window goes, then its object.
    DestroyWindow(box->window());

    EXPECT_EQ(nullptr, target_.control);
    EXPECT_FALSE(IsWindow(component));
    EXPECT_GE(recorded_.destroys, 1);
    EXPECT_EQ(1, wrapper().references()) << "the box or its host still holds the component";
    EXPECT_EQ(0u, site.Detach()->Release()) << "the component or the host still holds the site";
    // TearDown lets go of the wrapper (and with it the component) and ends OLE.
}

// Tests whose navigations go to the loopback proxy (set up before the first test).
class BrowserBoxNetworkTest : public BrowserBoxRealComponentTest {};

// What the proxy receives for each written address. The address reaches Navigate as
// written; what goes on the wire is the component's own completion of it.
TEST_F(BrowserBoxNetworkTest, WrittenAddressesReachTheNetworkUnchanged) {
    e2e::HttpProxy& proxy = loopbackProxy();
    BrowserBox* box = createBox(true);
    ASSERT_NE(nullptr, box);
    const struct {
        const char* address;
        const wchar_t* url;
        const char* requestLine;
    } cases[] = {
        {"http://www.host.test/", L"http://www.host.test/",
         "GET http://www.host.test:80/ HTTP/1.1"},
        {"www.host.test", L"www.host.test", "GET http://www.host.test:80/ HTTP/1.1"},
        // A leading blank: the component takes " http" for a host name.
        {" http://host.test/", L" http://host.test/", "GET http://%20http:80//host.test/ HTTP/1.1"},
        {"http://www.host.test/page?q=1", L"http://www.host.test/page?q=1",
         "GET http://www.host.test:80/page?q=1 HTTP/1.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        proxy.clear();
        wrapper().calls.clear();
        box->writeSetting(BrowserBox::address, Value(Text(c.address)));

        const auto navigations = wrapper().callsOf("Navigate");
        ASSERT_EQ(1u, navigations.size());
        EXPECT_EQ(c.url, navigations[0].url);
        const bool arrived = pumpUntil(
            [&] {
                for (const std::string& line : proxy.requestLines()) {
                    if (line == c.requestLine) return true;
                }
                return false;
            },
            kNavigationDeadlineMs);
        EXPECT_TRUE(arrived) << "request lines seen: "
                             << ::testing::PrintToString(proxy.requestLines());
    }
}

TEST_F(BrowserBoxNetworkTest, EventsOfANavigation) {
    e2e::HttpProxy& proxy = loopbackProxy();
    BrowserBox* box = createBox(false);
    ASSERT_NE(nullptr, box);
    std::vector<std::optional<Value>> addressDuringBeforeNavigate;
    target_.during = [&](int event) {
        if (event == BrowserBox::beforeNavigate) {
            addressDuringBeforeNavigate.push_back(
                target_.control->readSetting(BrowserBox::address));
        }
    };

    box->writeSetting(BrowserBox::address, Value(Text("http://www.events.test/")));

    // BeforeNavigate2 comes inside Navigate, before the write returns.
    ASSERT_FALSE(target_.events.empty());
    EXPECT_EQ(BrowserBox::beforeNavigate, target_.events[0].event);
    EXPECT_THAT(addressDuringBeforeNavigate,
                ElementsAre(std::optional<Value>(Value(Text("http://www.events.test/")))));

    const bool completed = pumpUntil(
        [&] {
            for (const auto& reported : target_.events) {
                if (reported.event == BrowserBox::downloadComplete) return true;
            }
            return false;
        },
        kNavigationDeadlineMs);
    ASSERT_TRUE(completed) << "no downloadComplete within the deadline";

    // The order the component raises them in, each status text change counted once
    // (the component sends several). Its CommandStateChange names back (2) and then
    // forward (1), both disabled; its NavigateError is not a box event.
    std::vector<std::string> order;
    for (const auto& reported : target_.events) {
        std::string entry = std::to_string(reported.event);
        for (std::int32_t argument : reported.arguments) entry += "," + std::to_string(argument);
        if (order.empty() || order.back() != entry ||
            reported.event != BrowserBox::statusTextChange) {
            order.push_back(entry);
        }
    }
    EXPECT_THAT(order, ElementsAre("0", "2", "8,1,0", "8,0,0", "6", "4"));
    EXPECT_TRUE(proxy.waitForRequestLine("GET http://www.events.test:80/ HTTP/1.1",
                                         std::chrono::milliseconds(0)));
}

}  // namespace
}  // namespace vparse
