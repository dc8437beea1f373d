#include "browser/BrowserBox.h"

#include "browser/InvokeOnlyDispatch.h"

#include <exdispid.h>

#include <algorithm>

namespace vparse {

using Microsoft::WRL::ComPtr;

// Receives the component's DWebBrowserEvents2 and hands each one to its box. The
// box detaches itself when it goes, so a late event finds no box.
class BrowserEventReceiver final : public InvokeOnlyDispatch {
public:
    explicit BrowserEventReceiver(BrowserBox* box) : box_(box) {}
    void detach() { box_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*,
                        EXCEPINFO*, UINT*) override {
        // A handler may end the box during the event; keep this receiver alive
        // until the call has returned.
        ComPtr<BrowserEventReceiver> keep(this);
        if (box_) box_->onComponentEvent(id, parameters);
        return S_OK;
    }

private:
    ~BrowserEventReceiver() = default;

    LONG references_ = 1;
    BrowserBox* box_;
};

namespace {

// The event's arguments in the order the interface declares them (the dispatch
// call hands them over in reverse order).
const VARIANT* argument(const DISPPARAMS* parameters, UINT position) {
    if (!parameters || !parameters->rgvarg || position >= parameters->cArgs) return nullptr;
    const VARIANT* value = &parameters->rgvarg[parameters->cArgs - 1 - position];
    while (value && value->vt == (VT_BYREF | VT_VARIANT)) value = value->pvarVal;
    return value;
}

Text textOfBstr(BSTR text) {
    if (!text) return {};
    return fromWide(std::wstring_view(text, SysStringLen(text)));
}

Text textArgument(const DISPPARAMS* parameters, UINT position) {
    const VARIANT* value = argument(parameters, position);
    if (!value) return {};
    if (value->vt == VT_BSTR) return textOfBstr(value->bstrVal);
    if (value->vt == (VT_BYREF | VT_BSTR) && value->pbstrVal) return textOfBstr(*value->pbstrVal);
    return {};
}

std::int32_t numberArgument(const DISPPARAMS* parameters, UINT position) {
    const VARIANT* value = argument(parameters, position);
    if (!value) return 0;
    VARIANT copy;
    VariantInit(&copy);
    std::int32_t number = 0;
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(value), 0, VT_I4))) {
        number = copy.lVal;
    }
    VariantClear(&copy);
    return number;
}

void setCancel(const DISPPARAMS* parameters, UINT position, bool cancel) {
    const VARIANT* value = argument(parameters, position);
    if (value && value->vt == (VT_BYREF | VT_BOOL) && value->pboolVal) {
        *value->pboolVal = cancel ? VARIANT_TRUE : VARIANT_FALSE;
    }
}

std::int32_t numberOf(const Value& value) {
    const auto* number = std::get_if<std::int32_t>(&value);
    return number ? *number : 0;
}

Text textOf(const Value& value) {
    const auto* text = std::get_if<Text>(&value);
    return text ? *text : Text{};
}

VARIANT_BOOL variantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace

BrowserBox::BrowserBox(const BrowserBoxSettings& settings, const CreateContext& context)
    : ControlBase(context), settings_(settings) {}

BrowserBox::~BrowserBox() { releaseComponent(); }

std::unique_ptr<BrowserBox> BrowserBox::create(const BrowserBoxSettings& settings,
                                               const CreateContext& context) {
    static const wchar_t* const registered =
        registerOwnClass(className, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW,
                         static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    std::unique_ptr<BrowserBox> box(new BrowserBox(settings, context));
    box->settings_.zoomLevel = std::clamp(box->settings_.zoomLevel, 0, 4);
    HWND wrapper = CreateWindowExW(
        0, registered, L"", context.baseStyle | WS_CHILD | WS_CLIPSIBLINGS, context.left,
        context.top, context.width, context.height, context.parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(context.childId)), GetModuleHandleW(nullptr),
        box.get());
    if (!wrapper) return nullptr;

    // Our own host needs no process-wide containment switch: it is the container.
    RECT area{};
    GetClientRect(wrapper, &area);
    box->host_ = makeComponentHost();
    // Take over the receiver's first reference (MinGW's ComPtr::Attach would add one).
    *box->receiver_.GetAddressOf() = new BrowserEventReceiver(box.get());
    if (FAILED(box->host_->create(wrapper, area, box->receiver_.Get()))) return nullptr;
    box->browser_ = box->host_->browser();
    box->componentWindow_ = box->host_->window();
    if (!box->browser_) return nullptr;

    box->browser_->put_Offline(variantBool(box->settings_.offline));
    box->browser_->put_Silent(variantBool(box->settings_.silent));
    box->sendZoom();
    if (!box->settings_.address.empty()) box->navigate();
    return box;
}

void BrowserBox::releaseComponent() {
    browser_.Reset();
    if (host_) {
        host_->destroy();
        host_.reset();
    }
    if (componentWindow_ && IsWindow(componentWindow_)) DestroyWindow(componentWindow_);
    componentWindow_ = nullptr;
    if (receiver_) {
        receiver_->detach();
        receiver_.Reset();
    }
}

void BrowserBox::sendZoom() {
    if (!browser_) return;
    VARIANT level;
    VariantInit(&level);
    level.vt = VT_I4;
    level.lVal = settings_.zoomLevel;
    browser_->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &level, nullptr);
}

void BrowserBox::navigate() {
    if (!browser_) return;
    // The address goes to the component as it stands: not trimmed, not completed.
    const std::wstring wide = toWide(settings_.address);
    ScopedBstr url(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
    VARIANT flags;
    VariantInit(&flags);
    flags.vt = VT_I4;
    flags.lVal = 0;
    VARIANT targetFrame;
    VariantInit(&targetFrame);
    targetFrame.vt = VT_BSTR;
    targetFrame.bstrVal = nullptr;
    VARIANT postData;
    VariantInit(&postData);
    VARIANT headers;
    VariantInit(&headers);
    headers.vt = VT_BSTR;
    headers.bstrVal = nullptr;
    browser_->Navigate(url.get(), &flags, &targetFrame, &postData, &headers);
    VariantClear(&flags);
    VariantClear(&targetFrame);
    VariantClear(&postData);
    VariantClear(&headers);
}

bool BrowserBox::writeSetting(int index, const Value& value) {
    switch (index) {
    case zoomLevel:
        settings_.zoomLevel = std::clamp(numberOf(value), 0, 4);
        sendZoom();
        break;
    case offline:
        settings_.offline = numberOf(value) != 0;
        if (browser_) browser_->put_Offline(variantBool(settings_.offline));
        break;
    case silent:
        settings_.silent = numberOf(value) != 0;
        if (browser_) browser_->put_Silent(variantBool(settings_.silent));
        break;
    case address:
        settings_.address = textOf(value);
        navigate();
        break;
    default:
        break;
    }
    return false;
}

std::optional<Value> BrowserBox::readSetting(int index) {
    switch (index) {
    case zoomLevel:
        return Value(settings_.zoomLevel);
    case offline:
    case silent: {
        VARIANT_BOOL state = VARIANT_FALSE;
        if (browser_) {
            if (index == offline) {
                browser_->get_Offline(&state);
            } else {
                browser_->get_Silent(&state);
            }
        }
        return Value(std::int32_t{state == VARIANT_TRUE});
    }
    case address:
        if (inAddressEvent_) {
            settings_.address = eventAddress_;
        } else if (browser_) {
            ScopedBstr location;
            if (SUCCEEDED(browser_->get_LocationURL(location.put()))) {
                settings_.address = textOfBstr(location.get());
            }
        }
        return Value(settings_.address);
    case statusText:
        return Value(statusText_);
    case pageTitle:
        if (inTitleEvent_) return Value(eventTitle_);
        if (browser_) {
            ScopedBstr title;
            if (SUCCEEDED(browser_->get_LocationName(title.put()))) {
                pageTitle_ = textOfBstr(title.get());
            }
        }
        return Value(pageTitle_);
    case designPreview:
        return Value(std::int32_t{0});
    default:
        return std::nullopt;
    }
}

bool BrowserBox::report(int event, std::initializer_list<std::int32_t> arguments,
                        Text* eventText, bool* flag, const Text& text) {
    if (eventText) *eventText = text;
    if (flag) *flag = true;
    HWND noted = window_;
    const EventAnswer answer = raise(event, arguments);
    // A handler may have destroyed the box: then nothing of it may be touched.
    if (IsWindow(noted)) {
        if (flag) *flag = false;
        if (eventText) eventText->clear();
    }
    return answer.handlerRan && answer.returnedValue && answer.value == 0;
}

void BrowserBox::onComponentEvent(DISPID id, DISPPARAMS* parameters) {
    switch (id) {
    case DISPID_BEFORENAVIGATE2: {
        const bool cancel = report(beforeNavigate, {}, &eventAddress_, &inAddressEvent_,
                                   textArgument(parameters, 1));
        setCancel(parameters, 6, cancel);
        break;
    }
    case DISPID_NAVIGATECOMPLETE2:
        report(navigateComplete, {}, &eventAddress_, &inAddressEvent_,
               textArgument(parameters, 1));
        break;
    case DISPID_DOCUMENTCOMPLETE:
        report(documentComplete, {}, &eventAddress_, &inAddressEvent_,
               textArgument(parameters, 1));
        break;
    case DISPID_DOWNLOADBEGIN:
        report(downloadBegin, {}, nullptr, nullptr, {});
        break;
    case DISPID_DOWNLOADCOMPLETE:
        report(downloadComplete, {}, nullptr, nullptr, {});
        break;
    case DISPID_PROGRESSCHANGE: {
        const std::int32_t progress = numberArgument(parameters, 0);
        const std::int32_t progressMax = numberArgument(parameters, 1);
        const std::int32_t percent = progressMax == 0 ? 100 : MulDiv(progress, 100, progressMax);
        report(progressChange, {percent}, nullptr, nullptr, {});
        break;
    }
    case DISPID_STATUSTEXTCHANGE:
        statusText_ = textArgument(parameters, 0);
        report(statusTextChange, {}, nullptr, nullptr, {});
        break;
    case DISPID_TITLECHANGE:
        report(titleChange, {}, &eventTitle_, &inTitleEvent_, textArgument(parameters, 0));
        break;
    case DISPID_COMMANDSTATECHANGE: {
        const std::int32_t command = numberArgument(parameters, 0);
        if (command != CSC_NAVIGATEFORWARD && command != CSC_NAVIGATEBACK) break;
        const std::int32_t enabled = numberArgument(parameters, 1) != 0 ? 1 : 0;
        report(commandStateChange, {command == CSC_NAVIGATEFORWARD ? 0 : 1, enabled}, nullptr,
               nullptr, {});
        break;
    }
    case DISPID_NEWWINDOW2: {
        const bool cancel = report(newWindow, {}, nullptr, nullptr, {});
        setCancel(parameters, 1, cancel);
        break;
    }
    default:
        // PropertyChange, OnQuit, OnVisible and everything else: not reported.
        break;
    }
}

LRESULT BrowserBox::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE: {
        const LRESULT result = defaultProcessing(message, wParam, lParam);
        if (componentWindow_ && IsWindow(componentWindow_)) {
            RECT area{};
            GetClientRect(window_, &area);
            SetWindowPos(componentWindow_, nullptr, 0, 0, area.right, area.bottom,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return result;
    }
    case WM_SETFOCUS: {
        const LRESULT result = defaultProcessing(message, wParam, lParam);
        if (componentWindow_ && IsWindow(componentWindow_)) SetFocus(componentWindow_);
        return result;
    }
    case WM_DESTROY:
        releaseComponent();
        return defaultProcessing(message, wParam, lParam);
    default:
        return defaultProcessing(message, wParam, lParam);
    }
}

}  // namespace vparse
