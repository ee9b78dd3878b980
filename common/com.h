#pragma once
// Owners for the component object library: interfaces, the thread's
// apartment, and identifier lists from the shell's allocator.
#include <objbase.h>
#include <shtypes.h>
#include <wrl/client.h>

#include "common/handles.h"

namespace snapvik {

using Microsoft::WRL::ComPtr;

namespace release {
inline bool ShellAllocation(void* memory) noexcept {
  ::CoTaskMemFree(memory);  // the shell's allocator is the task allocator
  return true;
}
}  // namespace release

// An absolute item identifier list, freed through the shell's allocator.
using UniqueIdList = UniqueHandle<HandleTraits<PIDLIST_ABSOLUTE, &release::ShellAllocation>>;

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
