// Component hosts of the tests' own, installed with setComponentHostFactory:
//  - StandInHost: the stand-in component. Its "component window" is a plain child
//    window of the box, its IWebBrowser2 is the RecordingBrowser of the current
//    StandInComponent, and it connects the box's event receiver to that browser.
//  - RecordingOleHost: the platform's component through the product's OLE host, with
//    a recording wrapper handed to the box in place of the real IWebBrowser2.
// A factory is a plain function, so each host finds its test's state through a
// static pointer that the test sets for its duration.
#pragma once

#include "browser/ComponentHost.h"
#include "support/PlainWindow.h"
#include "support/StandInBrowser.h"

#include <memory>

namespace vparse::testing {

// What the next stand-in host uses, and what the hosts saw.
struct StandInComponent {
    static inline StandInComponent* current = nullptr;

    StandInComponent() : browser(adoptNew(new RecordingBrowser())) {}
    Microsoft::WRL::ComPtr<RecordingBrowser> browser;  // the test's own reference

    // How create goes: a failure answer, or success without an IWebBrowser2.
    HRESULT createAnswer = S_OK;
    bool handsOutBrowser = true;

    // Seen by the hosts.
    int creates = 0;
    int destroys = 0;        // calls of destroy(), also repeated ones
    int hostsDeleted = 0;
    HWND parent = nullptr;   // of the last create
    RECT area{};             // of the last create
    HWND window = nullptr;   // the last component window made
    LONG browserReferencesAtFirstDestroy = -1;
};

inline const wchar_t* standInWindowClass() {
    static const wchar_t* const name = plainWindowClass(L"VparseTestStandInComponent");
    return name;
}

class StandInHost final : public ComponentHost {
public:
    explicit StandInHost(StandInComponent& component) : component_(component) {}
    ~StandInHost() override {
        destroy();
        ++component_.hostsDeleted;
    }

    HRESULT create(HWND parent, const RECT& area, IDispatch* events) override {
        ++component_.creates;
        component_.parent = parent;
        component_.area = area;
        if (FAILED(component_.createAnswer)) return component_.createAnswer;
        window_ = CreateWindowExW(0, standInWindowClass(), L"", WS_CHILD | WS_VISIBLE, area.left,
                                  area.top, area.right - area.left, area.bottom - area.top,
                                  parent, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!window_) return HRESULT_FROM_WIN32(GetLastError());
        component_.window = window_;
        if (component_.handsOutBrowser) {
            browser_ = component_.browser;
            browser_->connect(events);
        }
        return S_OK;
    }
    IWebBrowser2* browser() const override { return browser_.Get(); }
    HWND window() const override { return window_; }
    void destroy() override {
        if (++component_.destroys == 1) {
            component_.browserReferencesAtFirstDestroy = component_.browser->references();
        }
        if (browser_) {
            browser_->disconnect();
            browser_.Reset();
        }
        if (window_ && IsWindow(window_)) DestroyWindow(window_);
        window_ = nullptr;
    }

private:
    StandInComponent& component_;
    Microsoft::WRL::ComPtr<RecordingBrowser> browser_;
    HWND window_ = nullptr;
};

inline std::unique_ptr<ComponentHost> makeStandInHost() {
    return std::make_unique<StandInHost>(*StandInComponent::current);
}

// What the recording OLE host made: the wrapper it handed to the box.
struct RecordedOleComponent {
    static inline RecordedOleComponent* current = nullptr;

    Microsoft::WRL::ComPtr<RecordingBrowser> wrapper;  // the test's own reference
    HWND window = nullptr;
    int destroys = 0;
};

class RecordingOleHost final : public ComponentHost {
public:
    explicit RecordingOleHost(RecordedOleComponent& record)
        : record_(record), inner_(makeOleComponentHost()) {}
    ~RecordingOleHost() override { destroy(); }

    HRESULT create(HWND parent, const RECT& area, IDispatch* events) override {
        const HRESULT answer = inner_->create(parent, area, events);
        if (SUCCEEDED(answer) && inner_->browser()) {
            wrapper_ = adoptNew(new RecordingBrowser(inner_->browser()));
            record_.wrapper = wrapper_;
            record_.window = inner_->window();
        }
        return answer;
    }
    IWebBrowser2* browser() const override { return wrapper_.Get(); }
    HWND window() const override { return inner_->window(); }
    void destroy() override {
        ++record_.destroys;
        wrapper_.Reset();
        inner_->destroy();
    }

private:
    RecordedOleComponent& record_;
    std::unique_ptr<ComponentHost> inner_;
    Microsoft::WRL::ComPtr<RecordingBrowser> wrapper_;
};

inline std::unique_ptr<ComponentHost> makeRecordingOleHost() {
    return std::make_unique<RecordingOleHost>(*RecordedOleComponent::current);
}

}  // namespace vparse::testing
