// The browser box: a control that hosts the web-browser component and turns it
// into numbered settings and events like any other control.
#pragma once

#include "app/controls/ControlBase.h"
#include "app/Scoped.h"
#include "browser/ComponentHost.h"

#include <wrl/client.h>

#include <memory>

namespace vparse {

struct BrowserBoxSettings {
    std::int32_t zoomLevel = 2;  // 0 smallest .. 4 largest
    bool offline = false;
    bool silent = false;
    Text address;
};

class BrowserEventReceiver;

class BrowserBox final : public ControlBase {
public:
    enum Setting : int {
        zoomLevel = 8,
        offline = 9,
        silent = 10,
        address = 11,
        statusText = 12,
        pageTitle = 13,
        designPreview = 14,
    };
    enum Event : int {
        beforeNavigate = 0,
        navigateComplete = 1,
        downloadBegin = 2,
        progressChange = 3,
        downloadComplete = 4,
        documentComplete = 5,
        statusTextChange = 6,
        titleChange = 7,
        commandStateChange = 8,
        newWindow = 9,
    };
    static constexpr const wchar_t* className = L"VparseBrowserBox";

    static std::unique_ptr<BrowserBox> create(const BrowserBoxSettings& settings,
                                              const CreateContext& context);
    ~BrowserBox() override;

    bool writeSetting(int index, const Value& value) override;
    std::optional<Value> readSetting(int index) override;

    // The window of the hosted component (a child of the box's window).
    HWND componentWindow() const { return componentWindow_; }

    // One event of the component's DWebBrowserEvents2, as the receiver hands it on.
    void onComponentEvent(DISPID id, DISPPARAMS* parameters);

private:
    BrowserBox(const BrowserBoxSettings& settings, const CreateContext& context);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void navigate();
    void sendZoom();
    void releaseComponent();
    // Reports `event`; `eventText`/`flag` hold the event's text during the report.
    // Answers the value for the component's Cancel argument.
    bool report(int event, std::initializer_list<std::int32_t> arguments, Text* eventText,
                bool* flag, const Text& text);

    BrowserBoxSettings settings_;
    bool inAddressEvent_ = false;
    bool inTitleEvent_ = false;
    Text eventAddress_;
    Text eventTitle_;
    Text statusText_;
    Text pageTitle_;
    HWND componentWindow_ = nullptr;
    Microsoft::WRL::ComPtr<IWebBrowser2> browser_;
    std::unique_ptr<ComponentHost> host_;
    Microsoft::WRL::ComPtr<BrowserEventReceiver> receiver_;
};

}  // namespace vparse
