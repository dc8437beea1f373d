// The least program that does the platform work vparse does: OLE initialised, one
// top-level window of 1401x746, the WebBrowser component hosted in place through a
// client site of its own, shown, a message loop, and an orderly end on WM_CLOSE.
//
// It is what the benchmark compares vparse.exe with: built by the same toolchain
// with the same flags, and nothing more than the work every host of the component
// must do. No controls, no timer, no events, no resources, no C++ runtime beyond
// what the compiler adds.
//
// Built with BASELINE_CHINESE_TITLE, BASELINE_COMMON_CONTROLS_6 or BASELINE_STRIP
// defined it becomes one of the attribution variants of bench/CMakeLists.txt, each
// adding one piece of what vparse has; the baseline itself defines none of them.
#include <windows.h>
#include <exdisp.h>
#include <ole2.h>
#ifdef BASELINE_COMMON_CONTROLS_6
#include <commctrl.h>
#endif

namespace {

const wchar_t kClassName[] = L"VparseBaselineWindow";
#ifdef BASELINE_CHINESE_TITLE
const wchar_t kTitle[] = L"墨舟制作_视频解析工具";
#else
const wchar_t kTitle[] = L"vparse baseline";
#endif

// Client site, in-place site and frame in one object: the least the component
// needs to activate in place inside a window.
class Site final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    HWND window = nullptr;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *object = static_cast<IOleClientSite*>(this);
        } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
            *object = static_cast<IOleInPlaceSite*>(this);
        } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
            *object = static_cast<IOleInPlaceFrame*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;  // lives as long as the program: no reference counting
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* out) override {
        *out = window;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        *frame = this;
        *document = nullptr;
        GetClientRect(window, position);
        *clip = *position;
        info->fMDIApp = FALSE;
        info->hwndFrame = window;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow, IOleInPlaceFrame
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
};

Site site;

#ifdef BASELINE_STRIP
// vparse's strip below the browser, made with plain calls: three buttons, one edit
// box with a bold 21-pixel font and a coloured background, five radio buttons.
HBRUSH stripBrush = nullptr;

void makeStrip(HWND parent, HINSTANCE instance) {
    const auto child = [&](const wchar_t* type, const wchar_t* text, DWORD style, int x, int y, int w, int h) {
        const HWND window = CreateWindowExW(type[0] == L'E' ? WS_EX_CLIENTEDGE : 0, type, text,
                                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, y, w, h, parent,
                                            nullptr, instance, nullptr);
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        return window;
    };
    child(L"BUTTON", L"天气", BS_PUSHBUTTON, 1310, 691, 80, 24);
    child(L"BUTTON", L"地图", BS_PUSHBUTTON, 1224, 691, 80, 24);
    child(L"BUTTON", L"视频解析", BS_PUSHBUTTON, 1138, 691, 80, 24);
    const HWND edit = child(L"EDIT", L"  点击“地址”点击“视频解析”在屏幕中的编辑框输入先看的视频地址",
                            ES_AUTOHSCROLL, 4, 689, 736, 27);
    LOGFONTW font{};
    font.lfHeight = -21;
    font.lfWeight = FW_BOLD;
    font.lfCharSet = DEFAULT_CHARSET;
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(CreateFontIndirectW(&font)), FALSE);
    stripBrush = CreateSolidBrush(RGB(0, 255, 0));
    const wchar_t* captions[] = {L"地址1", L"地址2", L"未开发", L"未开发", L"未开发"};
    const int lefts[] = {752, 824, 904, 984, 1056};
    for (int i = 0; i < 5; ++i) child(L"BUTTON", captions[i], BS_AUTORADIOBUTTON, lefts[i], 696, 64, 16);
}
#endif

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
#ifdef BASELINE_STRIP
    if (message == WM_CTLCOLOREDIT) {
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(255, 0, 0));
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0, 255, 0));
        return reinterpret_cast<LRESULT>(stripBrush);
    }
#endif
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (FAILED(OleInitialize(nullptr))) return 1;
#ifdef BASELINE_COMMON_CONTROLS_6
    InitCommonControls();  // imports comctl32 as vparse does; the manifest picks version 6
#endif

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(
        0, kClassName, kTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
        (GetSystemMetrics(SM_CXSCREEN) - 1401) / 2, (GetSystemMetrics(SM_CYSCREEN) - 746) / 2,
        1401, 746, nullptr, nullptr, instance, nullptr);
    if (!window) return 2;
    site.window = window;

    IOleObject* object = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object)))) {
        return 3;
    }
    object->SetClientSite(&site);
    RECT area{};
    GetClientRect(window, &area);
    if (FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, window, &area))) return 4;
#ifdef BASELINE_STRIP
    // The browser area leaves room for the strip, as in vparse.
    RECT browserArea{0, 0, 1408, 688};
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
        inPlace->SetObjectRects(&browserArea, &browserArea);
        inPlace->Release();
    }
    makeStrip(window, instance);
#endif
    ShowWindow(window, SW_SHOW);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
    object->Release();
    OleUninitialize();
    return 0;
}
