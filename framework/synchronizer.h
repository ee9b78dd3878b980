#pragma once
// What a worker thread needs of the user-interface thread: to run an action
// there, and to be waited for while that thread keeps running such actions.
#include <windows.h>

#include <functional>

namespace snapvik {

class ISynchronizer {
 public:
  // Runs `action` on the user-interface thread and returns once it has
  // returned; from another thread the caller waits meanwhile. An error it
  // raises is shown there, never passed back.
  virtual void Synchronize(const std::function<void()>& action) = 0;
  // Waits for `object`, up to `milliseconds`, while running what other
  // threads synchronize meanwhile; true once it is signalled.
  virtual bool WaitServingSynchronize(HANDLE object, DWORD milliseconds = INFINITE) = 0;

 protected:
  ~ISynchronizer() = default;
};

}  // namespace snapvik
