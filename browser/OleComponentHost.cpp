// Hosts the platform's WebBrowser ActiveX control in a child window: a client site
// with in-place support of our own, so that the control's events can be connected.
#include "browser/ComponentHost.h"

#include "browser/InvokeOnlyDispatch.h"

#include <exdispid.h>
#include <ocidl.h>
#include <oleidl.h>
#include <wrl/client.h>

namespace vparse {

using Microsoft::WRL::ComPtr;

namespace {

ComponentHostFactory hostFactory = nullptr;

// The container side of the control: client site, in-place site and frame, and the
// ambient-property dispatch (which answers that it knows no property).
class Site final : public IOleClientSite,
                   public IOleInPlaceSite,
                   public IOleInPlaceFrame,
                   public InvokeOnlyDispatch {
public:
    explicit Site(HWND window) : window_(window) {}

    void forgetWindow() { window_ = nullptr; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *object = static_cast<IOleClientSite*>(this);
        } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
            *object = static_cast<IOleInPlaceSite*>(this);
        } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
            *object = static_cast<IOleInPlaceFrame*>(this);
        } else if (iid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = window_;
        return window_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO frameInfo) override {
        if (frame) {
            *frame = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
        }
        if (document) *document = nullptr;
        RECT area{};
        if (window_) GetClientRect(window_, &area);
        if (position) *position = area;
        if (clip) *clip = area;
        if (frameInfo) {
            frameInfo->fMDIApp = FALSE;
            frameInfo->hwndFrame = window_ ? GetAncestor(window_, GA_ROOT) : nullptr;
            frameInfo->haccel = nullptr;
            frameInfo->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return S_FALSE; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: no tool space, menus or status line.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDispatch::Invoke: ambient properties; every one keeps the control's own default.
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ~Site() = default;

    LONG references_ = 1;
    HWND window_;
};

class OleComponentHost final : public ComponentHost {
public:
    ~OleComponentHost() override { destroy(); }

    HRESULT create(HWND parent, const RECT& area, IDispatch* events) override {
        destroy();
        // Take over the site's first reference (MinGW's ComPtr::Attach would add one).
        *site_.GetAddressOf() = new Site(parent);
        HRESULT result = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_PPV_ARGS(&object_));
        if (SUCCEEDED(result)) result = object_->SetClientSite(site_.Get());
        if (SUCCEEDED(result)) {
            RECT place = area;
            result = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.Get(), 0, parent,
                                     &place);
        }
        if (SUCCEEDED(result)) result = object_.As(&inPlace_);
        if (SUCCEEDED(result)) result = inPlace_->GetWindow(&window_);
        if (SUCCEEDED(result) && !window_) result = E_FAIL;
        if (SUCCEEDED(result)) result = object_.As(&browser_);
        if (SUCCEEDED(result) && events) {
            ComPtr<IConnectionPointContainer> container;
            result = object_.As(&container);
            if (SUCCEEDED(result)) {
                result = container->FindConnectionPoint(DIID_DWebBrowserEvents2, &connection_);
            }
            if (SUCCEEDED(result)) result = connection_->Advise(events, &cookie_);
            if (FAILED(result)) connection_.Reset();
        }
        if (FAILED(result)) destroy();
        return result;
    }

    IWebBrowser2* browser() const override { return browser_.Get(); }
    HWND window() const override { return window_; }

    void destroy() override {
        if (connection_) {
            connection_->Unadvise(cookie_);
            connection_.Reset();
            cookie_ = 0;
        }
        browser_.Reset();
        if (inPlace_) {
            inPlace_->InPlaceDeactivate();
            inPlace_.Reset();
        }
        if (object_) {
            object_->Close(OLECLOSE_NOSAVE);
            object_->SetClientSite(nullptr);
            object_.Reset();
        }
        if (site_) {
            site_->forgetWindow();
            site_.Reset();
        }
        if (window_ && IsWindow(window_)) DestroyWindow(window_);
        window_ = nullptr;
    }

private:
    ComPtr<Site> site_;
    ComPtr<IOleObject> object_;
    ComPtr<IOleInPlaceObject> inPlace_;
    ComPtr<IWebBrowser2> browser_;
    ComPtr<IConnectionPoint> connection_;
    DWORD cookie_ = 0;
    HWND window_ = nullptr;
};

}  // namespace

void setComponentHostFactory(ComponentHostFactory factory) { hostFactory = factory; }

std::unique_ptr<ComponentHost> makeComponentHost() {
    return hostFactory ? hostFactory() : makeOleComponentHost();
}

std::unique_ptr<ComponentHost> makeOleComponentHost() {
    return std::make_unique<OleComponentHost>();
}

}  // namespace vparse
