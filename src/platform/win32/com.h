// COM for the Windows backends: the apartment a thread needs for the
// shell's objects and dialogs, and interface pointers that release
// themselves.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <memory>

namespace molvar::platform::win32 {

// A single-threaded apartment on this thread while the object lives. Only a
// successful initialisation (S_FALSE too: COM was there already) is
// balanced; a thread in another apartment model goes on in it.
class ComApartment {
public:
    ComApartment()
        : initialized_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComApartment() {
        if (initialized_) {
            ::CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_;
};

struct ComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};

// A COM interface pointer that releases its reference when it goes.
template <class Interface>
using ComOwner = std::unique_ptr<Interface, ComRelease>;

}  // namespace molvar::platform::win32
