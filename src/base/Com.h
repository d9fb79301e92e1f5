#pragma once
// COM for the calling thread (apartment model) for the lifetime of a scope.
#include "base/Win.h"

#include <objbase.h>

namespace tarvo {

class ComApartment {
public:
    ComApartment() : ok_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (ok_) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool ok_;
};

}  // namespace tarvo
