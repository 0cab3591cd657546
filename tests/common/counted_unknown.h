// A stand-in COM object that counts its references, to see that a call gives
// back every reference it takes.
#pragma once

#include <unknwn.h>
#include <windows.h>

class CountedUnknown : public IUnknown {
public:
    LONG references = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
};
