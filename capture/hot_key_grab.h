#pragma once
// Under Wine, the hot key's X side: Wine sees a key only while one of its own
// windows has the focus, so a native helper beside the program
// (snapvik-keygrab) grabs the combination on the X display and reports each
// press over a loopback connection; the press reaches the window as
// kWmKeyGrabPress. On Windows none of this ever starts. The connection's
// sockets stay inside hot_key_grab.cpp.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace snapvik {

// The connection's events (WSAAsyncSelect): the socket in wParam.
inline constexpr UINT kWmKeyGrab = WM_APP + 0x25;
// Presses the helper took wait to be served, one such message at a time.
inline constexpr UINT kWmKeyGrabPress = WM_APP + 0x26;

class TKeyGrab {
 public:
  TKeyGrab();
  // Closing the connection ends the helper, and with it the grab.
  ~TKeyGrab();
  TKeyGrab(const TKeyGrab&) = delete;
  TKeyGrab& operator=(const TKeyGrab&) = delete;

  // Grabs the combination on the X display for `window`, replacing the one
  // grabbed before. Without a helper that can serve (not under Wine, no
  // helper beside the program, no X display) it grabs nothing: the platform's
  // registration serves alone, and Notice() says so once. A helper that does
  // not answer in time is ended and replaced. Throws "Cannot register hot
  // key." when another X client holds the combination, when no key of the
  // keyboard gives the code, or when it has no Alt and Alt is asked for;
  // nothing stays grabbed then.
  void Grab(HWND window, int32_t key, uint32_t modifiers);
  // Lets the combination go; returns once the X server has it back.
  void Release() noexcept;
  // On kWmKeyGrab. A helper that went away while armed is started again and
  // grabs again; throws the notice where none can serve any more.
  void Serve(WPARAM socket, LPARAM event);
  // On kWmKeyGrabPress: whether a press of the combination armed now is to be
  // served (each press the keyboard made, its repeats included, as on Windows).
  bool TakePress() noexcept;
  // Once per run, where the helper cannot serve: what the user gets then;
  // empty every other time.
  std::wstring Notice();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace snapvik
