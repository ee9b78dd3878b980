#pragma once
// Under Wine, the hot key's X side: Wine sees a key only while one of its own
// windows has the focus, so a native helper beside the program
// (snapvik-keygrab) grabs the combination on the X display and reports each
// press over a loopback connection; the press reaches the window as the
// platform's hot-key message. On Windows none of this ever starts.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <optional>

#include "capture/hot_key_grab_protocol.h"
#include "common/handles.h"

namespace snapvik {

// The message the connection's events come in on (WSAAsyncSelect).
inline constexpr UINT kWmKeyGrab = WM_APP + 0x25;

namespace release {
inline bool Socket(SOCKET s) noexcept { return ::closesocket(s) == 0; }
}  // namespace release
struct EmptyIsInvalidSocket {
  template <typename T>
  static T Value() noexcept {
    return INVALID_SOCKET;
  }
};
using UniqueSocket = UniqueHandle<HandleTraits<SOCKET, &release::Socket, EmptyIsInvalidSocket>>;

class TKeyGrab {
 public:
  TKeyGrab() = default;
  // Closing the connection ends the helper, and with it the grab.
  ~TKeyGrab();
  TKeyGrab(const TKeyGrab&) = delete;
  TKeyGrab& operator=(const TKeyGrab&) = delete;

  // Grabs the combination on the X display for `window`, replacing the one
  // grabbed before. Without a helper that can serve (not under Wine, no
  // helper beside the program, no X display) it does nothing: the platform's
  // registration serves alone. Throws "Cannot register hot key." when
  // another X client holds the combination; nothing stays grabbed then.
  void Grab(HWND window, int32_t key, uint32_t modifiers);
  // Lets the combination go; returns once the X server has it back.
  void Release() noexcept;
  // On kWmKeyGrab: each press of the grabbed combination is posted to the window as WM_HOTKEY.
  void Serve(LPARAM event) noexcept;

 private:
  struct Armed {
    uint32_t serial;
    int32_t key;
    uint32_t modifiers;
  };
  bool Connect(HWND window);
  void Disconnect() noexcept;
  bool Send(const grab::Request& request) noexcept;
  // Reads what has come; false when the connection is over.
  bool Receive() noexcept;
  // The helper's answer to `serial`, or nothing when it did not come in time.
  std::optional<grab::Report> Await(uint32_t serial) noexcept;
  // The next answer (a press on the way is posted), or nothing when none came before `deadline`.
  std::optional<grab::Report> NextAnswer(ULONGLONG deadline) noexcept;
  void PostPress(const grab::Report& report) noexcept;
  void PostPending() noexcept;

  bool started_ = false;  // WSAStartup
  HWND window_ = nullptr;
  UniqueSocket link_;
  grab::LineBuffer lines_;
  uint32_t serial_ = 0;
  std::optional<Armed> grabbed_;
};

}  // namespace snapvik
