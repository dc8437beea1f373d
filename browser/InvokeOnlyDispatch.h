// An IDispatch that is only ever called through Invoke with known DISPIDs: it has no
// type information and no names. Event receivers and ambient-property sites use it.
#pragma once

#include <oaidl.h>

namespace vparse {

class InvokeOnlyDispatch : public IDispatch {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }

protected:
    ~InvokeOnlyDispatch() = default;
};

}  // namespace vparse
