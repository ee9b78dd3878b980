#pragma once
// Owners for the component object library: interfaces and the thread's apartment.
#include <objbase.h>
#include <wrl/client.h>

#include "common/handles.h"

namespace snapvik {

using Microsoft::WRL::ComPtr;

// The component object library for this thread, single-threaded, while the object lives.
class ComApartment {
 public:
  ComApartment() noexcept : initialized_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (initialized_) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool Initialized() const noexcept { return initialized_; }

 private:
  bool initialized_;
};

}  // namespace snapvik
