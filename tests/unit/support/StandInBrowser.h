// An IWebBrowser2 of the tests' own, in two roles:
//  - stand-in component (no inner object): records every call the browser box makes,
//    answers with values the test sets, and raises DWebBrowserEvents2 events into the
//    receiver that its host connected, with the standard argument types;
//  - recording wrapper (an inner object): records the same calls and forwards each
//    one, and every other method, to the real component, noting its answers.
// Methods the box never calls answer E_NOTIMPL in the stand-in role.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace vparse::testing {

// A VARIANT argument as a short readable text: "none" for a null pointer,
// "VT_EMPTY", "VT_I4 2", "VT_BSTR null", "VT_BSTR 'abc'", or "vt 0x..".
inline std::string describeVariant(const VARIANT* value) {
    if (!value) return "none";
    switch (value->vt) {
    case VT_EMPTY:
        return "VT_EMPTY";
    case VT_I4:
        return "VT_I4 " + std::to_string(value->lVal);
    case VT_BSTR: {
        if (!value->bstrVal) return "VT_BSTR null";
        std::string text;
        for (UINT i = 0; i < SysStringLen(value->bstrVal); ++i) {
            const wchar_t c = value->bstrVal[i];
            text += c < 0x80 ? static_cast<char>(c) : '?';
        }
        return "VT_BSTR '" + text + "'";
    }
    default: {
        char buffer[32];
        wsprintfA(buffer, "vt 0x%x", static_cast<unsigned>(value->vt));
        return buffer;
    }
    }
}

// Takes over the one reference a new COM object starts with. (MinGW's ComPtr::Attach
// adds a reference of its own, unlike the platform SDK's, so it is not used here.)
template <typename T>
Microsoft::WRL::ComPtr<T> adoptNew(T* object) {
    Microsoft::WRL::ComPtr<T> owner;
    *owner.GetAddressOf() = object;
    return owner;
}

// One call of the box on the component.
struct BrowserCall {
    std::string method;     // "put_Offline", "ExecWB", "Navigate", "get_LocationURL", ...
    std::string arguments;  // the non-address arguments, readable (see each method)
    std::wstring url;       // Navigate: the URL exactly as received (all SysStringLen chars)
    bool urlIsNull = false;
    HRESULT answer = S_OK;  // what the component answered
};

// The arguments of one event, built in the order DWebBrowserEvents2 declares them
// and handed over in dispatch order (last argument first, as IDispatch::Invoke has it).
class EventArguments {
public:
    EventArguments() = default;
    EventArguments(const EventArguments&) = delete;
    EventArguments& operator=(const EventArguments&) = delete;
    ~EventArguments() {
        for (BSTR text : texts_) SysFreeString(text);
    }

    // A by-reference VARIANT (VT_BYREF|VT_VARIANT) that holds a string.
    EventArguments& variantText(const std::wstring& text) {
        VARIANT& inner = newInner();
        inner.vt = VT_BSTR;
        inner.bstrVal = newText(text);
        return byRefVariant(inner);
    }
    EventArguments& variantNumber(LONG number) {
        VARIANT& inner = newInner();
        inner.vt = VT_I4;
        inner.lVal = number;
        return byRefVariant(inner);
    }
    EventArguments& variantEmpty() { return byRefVariant(newInner()); }
    EventArguments& number(LONG value) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = value;
        declared_.push_back(v);
        return *this;
    }
    EventArguments& boolean(VARIANT_BOOL value) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BOOL;
        v.boolVal = value;
        declared_.push_back(v);
        return *this;
    }
    EventArguments& text(const std::wstring& value) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = newText(value);
        declared_.push_back(v);
        return *this;
    }
    // The frame (pDisp): borrowed, as the component passes it.
    EventArguments& frame(IDispatch* frame) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_DISPATCH;
        v.pdispVal = frame;
        declared_.push_back(v);
        return *this;
    }
    // ppDisp of NewWindow2: VT_BYREF|VT_DISPATCH to a null pointer.
    EventArguments& newWindowSlot() {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BYREF | VT_DISPATCH;
        v.ppdispVal = &newWindow_;
        declared_.push_back(v);
        return *this;
    }
    // Cancel: VT_BYREF|VT_BOOL, starting at `initial`.
    EventArguments& cancel(VARIANT_BOOL initial) {
        cancel_ = initial;
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BYREF | VT_BOOL;
        v.pboolVal = &cancel_;
        declared_.push_back(v);
        return *this;
    }

    DISPPARAMS dispatchParameters() {
        reversed_.assign(declared_.rbegin(), declared_.rend());
        DISPPARAMS parameters{};
        parameters.rgvarg = reversed_.empty() ? nullptr : reversed_.data();
        parameters.cArgs = static_cast<UINT>(reversed_.size());
        return parameters;
    }
    VARIANT_BOOL cancelValue() const { return cancel_; }

private:
    VARIANT& newInner() {
        VARIANT& inner = inner_.emplace_back();
        VariantInit(&inner);
        return inner;
    }
    EventArguments& byRefVariant(VARIANT& inner) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BYREF | VT_VARIANT;
        v.pvarVal = &inner;
        declared_.push_back(v);
        return *this;
    }
    BSTR newText(const std::wstring& text) {
        BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        texts_.push_back(value);
        return value;
    }

    std::deque<VARIANT> inner_;  // stable addresses for the by-reference arguments
    std::vector<VARIANT> declared_;
    std::vector<VARIANT> reversed_;
    std::vector<BSTR> texts_;
    VARIANT_BOOL cancel_ = VARIANT_FALSE;
    IDispatch* newWindow_ = nullptr;
};

class RecordingBrowser final : public IWebBrowser2 {
public:
    // Without `inner` the object is a stand-in component; with it, a recording
    // wrapper of `inner` (which it holds one reference to).
    explicit RecordingBrowser(IWebBrowser2* inner = nullptr) : inner_(inner) {}

    // --- What the test sets and reads -----------------------------------------
    std::vector<BrowserCall> calls;
    // Stand-in answers: the component's properties (put_* change them too) and its
    // location; nullopt makes get_LocationURL / get_LocationName fail.
    VARIANT_BOOL offline = VARIANT_FALSE;
    VARIANT_BOOL silent = VARIANT_FALSE;
    std::optional<std::wstring> locationUrl = std::wstring();
    std::optional<std::wstring> locationName = std::wstring();
    // Set to true when the last reference goes and the object is deleted.
    bool* destroyedFlag = nullptr;

    LONG references() const { return references_; }
    // The wrapped component (null for the stand-in).
    IWebBrowser2* inner() const { return inner_.Get(); }
    std::vector<std::string> methods() const {
        std::vector<std::string> names;
        for (const BrowserCall& call : calls) names.push_back(call.method);
        return names;
    }
    std::vector<BrowserCall> callsOf(const std::string& method) const {
        std::vector<BrowserCall> found;
        for (const BrowserCall& call : calls) {
            if (call.method == method) found.push_back(call);
        }
        return found;
    }

    // --- The event connection (what the host connects) ------------------------
    void connect(IDispatch* events) { events_ = events; }
    void disconnect() { events_.Reset(); }
    IDispatch* connectedEvents() const { return events_.Get(); }

    // Raises one event into the connected receiver, as the component does: the
    // receiver is held for the length of the call. Answers whether it was delivered.
    bool raise(DISPID id, EventArguments& arguments) {
        Microsoft::WRL::ComPtr<IDispatch> receiver = events_;
        if (!receiver) return false;
        DISPPARAMS parameters = arguments.dispatchParameters();
        receiver->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr,
                         nullptr, nullptr);
        return true;
    }
    // The standard events; those with a Cancel argument answer its final value.
    VARIANT_BOOL raiseBeforeNavigate2(const std::wstring& url,
                                      VARIANT_BOOL cancel = VARIANT_FALSE) {
        EventArguments a;
        a.frame(this).variantText(url).variantNumber(0).variantText(L"").variantEmpty()
            .variantText(L"").cancel(cancel);
        raise(DISPID_BEFORENAVIGATE2, a);
        return a.cancelValue();
    }
    void raiseNavigateComplete2(const std::wstring& url) {
        EventArguments a;
        a.frame(this).variantText(url);
        raise(DISPID_NAVIGATECOMPLETE2, a);
    }
    void raiseDocumentComplete(const std::wstring& url) {
        EventArguments a;
        a.frame(this).variantText(url);
        raise(DISPID_DOCUMENTCOMPLETE, a);
    }
    void raiseProgressChange(LONG progress, LONG progressMax) {
        EventArguments a;
        a.number(progress).number(progressMax);
        raise(DISPID_PROGRESSCHANGE, a);
    }
    void raiseCommandStateChange(LONG command, VARIANT_BOOL enable) {
        EventArguments a;
        a.number(command).boolean(enable);
        raise(DISPID_COMMANDSTATECHANGE, a);
    }
    void raiseStatusTextChange(const std::wstring& text) {
        EventArguments a;
        a.text(text);
        raise(DISPID_STATUSTEXTCHANGE, a);
    }
    void raiseTitleChange(const std::wstring& title) {
        EventArguments a;
        a.text(title);
        raise(DISPID_TITLECHANGE, a);
    }
    VARIANT_BOOL raiseNewWindow2(VARIANT_BOOL cancel = VARIANT_FALSE) {
        EventArguments a;
        a.newWindowSlot().cancel(cancel);
        raise(DISPID_NEWWINDOW2, a);
        return a.cancelValue();
    }
    void raisePropertyChange(const std::wstring& property) {
        EventArguments a;
        a.text(property);
        raise(DISPID_PROPERTYCHANGE, a);
    }
    void raiseOnVisible(VARIANT_BOOL visible) {
        EventArguments a;
        a.boolean(visible);
        raise(DISPID_ONVISIBLE, a);
    }
    void raiseWithoutArguments(DISPID id) {
        EventArguments a;
        raise(id, a);
    }

    // --- IUnknown ---------------------------------------------------------------
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser ||
            iid == IID_IWebBrowserApp || iid == IID_IWebBrowser2) {
            *object = static_cast<IWebBrowser2*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = --references_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // --- The calls the browser box makes: recorded ------------------------------
    STDMETHODIMP put_Offline(VARIANT_BOOL value) override {
        HRESULT answer = S_OK;
        if (inner_) {
            answer = inner_->put_Offline(value);
        } else {
            offline = value;
        }
        record("put_Offline", std::to_string(value), answer);
        return answer;
    }
    STDMETHODIMP put_Silent(VARIANT_BOOL value) override {
        HRESULT answer = S_OK;
        if (inner_) {
            answer = inner_->put_Silent(value);
        } else {
            silent = value;
        }
        record("put_Silent", std::to_string(value), answer);
        return answer;
    }
    STDMETHODIMP get_Offline(VARIANT_BOOL* value) override {
        HRESULT answer = S_OK;
        if (inner_) {
            answer = inner_->get_Offline(value);
        } else if (value) {
            *value = offline;
        }
        record("get_Offline", {}, answer);
        return answer;
    }
    STDMETHODIMP get_Silent(VARIANT_BOOL* value) override {
        HRESULT answer = S_OK;
        if (inner_) {
            answer = inner_->get_Silent(value);
        } else if (value) {
            *value = silent;
        }
        record("get_Silent", {}, answer);
        return answer;
    }
    // arguments: "<command>,<option>,<in>,<out>", e.g. "19,2,VT_I4 2,none".
    STDMETHODIMP ExecWB(OLECMDID command, OLECMDEXECOPT option, VARIANT* in,
                        VARIANT* out) override {
        const std::string arguments = std::to_string(command) + "," + std::to_string(option) +
                                      "," + describeVariant(in) + "," + describeVariant(out);
        const HRESULT answer = inner_ ? inner_->ExecWB(command, option, in, out) : S_OK;
        record("ExecWB", arguments, answer);
        return answer;
    }
    // arguments: "Flags=..;TargetFrameName=..;PostData=..;Headers=..".
    STDMETHODIMP Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                          VARIANT* headers) override {
        BrowserCall call;
        call.method = "Navigate";
        call.arguments = "Flags=" + describeVariant(flags) +
                         ";TargetFrameName=" + describeVariant(targetFrame) +
                         ";PostData=" + describeVariant(postData) +
                         ";Headers=" + describeVariant(headers);
        call.urlIsNull = url == nullptr;
        if (url) call.url.assign(url, SysStringLen(url));
        // Recorded before forwarding: the real component raises its first events
        // inside the call.
        const size_t slot = calls.size();
        calls.push_back(call);
        const HRESULT answer =
            inner_ ? inner_->Navigate(url, flags, targetFrame, postData, headers) : S_OK;
        calls[slot].answer = answer;
        return answer;
    }
    STDMETHODIMP get_LocationURL(BSTR* value) override {
        return answerText("get_LocationURL", locationUrl, value,
                          inner_ ? &IWebBrowser2::get_LocationURL : nullptr);
    }
    STDMETHODIMP get_LocationName(BSTR* value) override {
        return answerText("get_LocationName", locationName, value,
                          inner_ ? &IWebBrowser2::get_LocationName : nullptr);
    }

    // --- Everything else: forwarded, or E_NOTIMPL for the stand-in ---------------
#define VPARSE_FORWARD(name, parameters, arguments)                             \
    STDMETHODIMP name parameters override {                                     \
        return inner_ ? inner_->name arguments : E_NOTIMPL;                     \
    }
    VPARSE_FORWARD(GetTypeInfoCount, (UINT * count), (count))
    VPARSE_FORWARD(GetTypeInfo, (UINT index, LCID locale, ITypeInfo** info),
                   (index, locale, info))
    VPARSE_FORWARD(GetIDsOfNames,
                   (REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids),
                   (iid, names, count, locale, ids))
    VPARSE_FORWARD(Invoke,
                   (DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                    VARIANT* result, EXCEPINFO* exception, UINT* argumentError),
                   (id, iid, locale, flags, parameters, result, exception, argumentError))
    VPARSE_FORWARD(GoBack, (), ())
    VPARSE_FORWARD(GoForward, (), ())
    VPARSE_FORWARD(GoHome, (), ())
    VPARSE_FORWARD(GoSearch, (), ())
    VPARSE_FORWARD(Refresh, (), ())
    VPARSE_FORWARD(Refresh2, (VARIANT * level), (level))
    VPARSE_FORWARD(Stop, (), ())
    VPARSE_FORWARD(get_Application, (IDispatch * *value), (value))
    VPARSE_FORWARD(get_Parent, (IDispatch * *value), (value))
    VPARSE_FORWARD(get_Container, (IDispatch * *value), (value))
    VPARSE_FORWARD(get_Document, (IDispatch * *value), (value))
    VPARSE_FORWARD(get_TopLevelContainer, (VARIANT_BOOL * value), (value))
    VPARSE_FORWARD(get_Type, (BSTR * value), (value))
    VPARSE_FORWARD(get_Left, (LONG * value), (value))
    VPARSE_FORWARD(put_Left, (LONG value), (value))
    VPARSE_FORWARD(get_Top, (LONG * value), (value))
    VPARSE_FORWARD(put_Top, (LONG value), (value))
    VPARSE_FORWARD(get_Width, (LONG * value), (value))
    VPARSE_FORWARD(put_Width, (LONG value), (value))
    VPARSE_FORWARD(get_Height, (LONG * value), (value))
    VPARSE_FORWARD(put_Height, (LONG value), (value))
    VPARSE_FORWARD(get_Busy, (VARIANT_BOOL * value), (value))
    VPARSE_FORWARD(Quit, (), ())
    VPARSE_FORWARD(ClientToWindow, (int* width, int* height), (width, height))
    VPARSE_FORWARD(PutProperty, (BSTR property, VARIANT value), (property, value))
    VPARSE_FORWARD(GetProperty, (BSTR property, VARIANT* value), (property, value))
    VPARSE_FORWARD(get_Name, (BSTR * value), (value))
    VPARSE_FORWARD(get_HWND, (SHANDLE_PTR * value), (value))
    VPARSE_FORWARD(get_FullName, (BSTR * value), (value))
    VPARSE_FORWARD(get_Path, (BSTR * value), (value))
    VPARSE_FORWARD(get_Visible, (VARIANT_BOOL * value), (value))
    VPARSE_FORWARD(put_Visible, (VARIANT_BOOL value), (value))
    VPARSE_FORWARD(get_StatusBar, (VARIANT_BOOL * value), (value))
    VPARSE_FORWARD(put_StatusBar, (VARIANT_BOOL value), (value))
    VPARSE_FORWARD(get_StatusText, (BSTR * value), (value))
    VPARSE_FORWARD(put_StatusText, (BSTR value), (value))
    VPARSE_FORWARD(get_ToolBar, (int* value), (value))
    VPARSE_FORWARD(put_ToolBar, (int value), (value))
    VPARSE_FORWARD(get_MenuBar, (VARIANT_BOOL * value), (value))
    VPARSE_FORWARD(put_MenuBar, (VARIANT_BOOL value), (value))
    VPARSE_FORWARD(get_FullScreen, (VARIANT_BOOL * value), (value))
    VPARSE_FORWARD(put_FullScreen, (VARIANT_BOOL value), (value))
    VPARSE_FORWARD(Navigate2,
                   (VARIANT * url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                    VARIANT* headers),
                   (url, flags, targetFrame, postData, headers))
    VPARSE_FORWARD(QueryStatusWB, (OLECMDID command, OLECMDF * state), (command, state))
    VPARSE_FORWARD(ShowBrowserBar, (VARIANT * id, VARIANT* show, VARIANT* size),
                   (id, show, size))
    VPARSE_FORWARD(get_ReadyState, (READYSTATE * value), (value))
    VPARSE_FORWARD(get_RegisterAsBrowser, (VARIANT_BOOL * value), (value))
    VPARSE_FORWARD(put_RegisterAsBrowser, (VARIANT_BOOL value), (value))
    VPARSE_FORWARD(get_RegisterAsDropTarget, (VARIANT_BOOL * value), (value))
    VPARSE_FORWARD(put_RegisterAsDropTarget, (VARIANT_BOOL value), (value))
    VPARSE_FORWARD(get_TheaterMode, (VARIANT_BOOL * value), (value))
    VPARSE_FORWARD(put_TheaterMode, (VARIANT_BOOL value), (value))
    VPARSE_FORWARD(get_AddressBar, (VARIANT_BOOL * value), (value))
    VPARSE_FORWARD(put_AddressBar, (VARIANT_BOOL value), (value))
    VPARSE_FORWARD(get_Resizable, (VARIANT_BOOL * value), (value))
    VPARSE_FORWARD(put_Resizable, (VARIANT_BOOL value), (value))
#undef VPARSE_FORWARD

private:
    ~RecordingBrowser() {
        if (destroyedFlag) *destroyedFlag = true;
    }

    void record(const char* method, std::string arguments, HRESULT answer) {
        BrowserCall call;
        call.method = method;
        call.arguments = std::move(arguments);
        call.answer = answer;
        calls.push_back(std::move(call));
    }

    HRESULT answerText(const char* method, const std::optional<std::wstring>& standIn,
                       BSTR* value, HRESULT (STDMETHODCALLTYPE IWebBrowser2::*forward)(BSTR*)) {
        HRESULT answer = E_FAIL;
        if (forward) {
            answer = (inner_.Get()->*forward)(value);
        } else if (!value) {
            answer = E_POINTER;
        } else if (standIn) {
            *value = SysAllocStringLen(standIn->data(), static_cast<UINT>(standIn->size()));
            answer = S_OK;
        } else {
            *value = nullptr;
        }
        record(method, {}, answer);
        return answer;
    }

    LONG references_ = 1;
    Microsoft::WRL::ComPtr<IWebBrowser2> inner_;
    Microsoft::WRL::ComPtr<IDispatch> events_;
};

}  // namespace vparse::testing
