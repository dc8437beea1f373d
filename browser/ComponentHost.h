// The seam between the browser box and the web-browser component: a host creates
// the component inside the box's window, connects the box's event receiver and
// hands out the component's IWebBrowser2 and window. The program uses the OLE host
// of the platform's WebBrowser control; tests may install a host of their own.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include <memory>

namespace vparse {

class ComponentHost {
public:
    virtual ~ComponentHost() = default;

    // Creates the component in place as a child of `parent`, filling `area`, and
    // connects `events` to the component's DWebBrowserEvents2. On failure the host
    // holds nothing.
    virtual HRESULT create(HWND parent, const RECT& area, IDispatch* events) = 0;
    // The component's IWebBrowser2, borrowed from the host (null when not created).
    virtual IWebBrowser2* browser() const = 0;
    // The window of the in-place active component, a child of the parent.
    virtual HWND window() const = 0;
    // Disconnects the events, deactivates and closes the component and lets go of
    // everything the host holds. Safe to call more than once.
    virtual void destroy() = 0;
};

using ComponentHostFactory = std::unique_ptr<ComponentHost> (*)();

// The host that the next browser box will use; null restores the OLE host.
void setComponentHostFactory(ComponentHostFactory factory);
std::unique_ptr<ComponentHost> makeComponentHost();

// The host of the platform's WebBrowser ActiveX control.
std::unique_ptr<ComponentHost> makeOleComponentHost();

}  // namespace vparse
