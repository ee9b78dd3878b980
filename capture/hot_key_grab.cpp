// rand_s, for the token that the helper proves itself with.
#define _CRT_RAND_S
#include <stdlib.h>

#include "capture/hot_key_grab.h"

#include <ws2tcpip.h>

#include <cstdio>
#include <string>

#include "common/errors.h"
#include "common/wine.h"
#include "common/win_text.h"

namespace snapvik {

namespace {

constexpr wchar_t kHelperName[] = L"snapvik-keygrab";
// A busy machine starts a program in well under this; a helper that takes
// longer is taken for none, and the platform's registration serves alone.
constexpr ULONGLONG kAnswerTime = 5000;

std::wstring HelperPath() {
  const std::wstring program = ModuleFileName();
  return program.substr(0, program.find_last_of(L"\\/") + 1) + kHelperName;
}

// Sixteen random bytes in hex: only the helper we started knows them.
std::string Token() {
  std::string token;
  for (int i = 0; i < 4; ++i) {
    unsigned int value = 0;
    if (rand_s(&value) != 0) return {};
    char part[9];
    std::snprintf(part, sizeof part, "%08x", value);
    token += part;
  }
  return token;
}

bool Readable(SOCKET s, ULONGLONG deadline) {
  const ULONGLONG now = ::GetTickCount64();
  if (now >= deadline) return false;
  const ULONGLONG left = deadline - now;
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{static_cast<long>(left / 1000), static_cast<long>(left % 1000) * 1000};
  return ::select(0, &set, nullptr, nullptr, &wait) == 1;
}

}  // namespace

TKeyGrab::~TKeyGrab() {
  Disconnect();
  if (started_) ::WSACleanup();
}

void TKeyGrab::Grab(HWND window, int32_t key, uint32_t modifiers) {
  grabbed_.reset();
  if (!Connect(window)) return;
  const uint32_t serial = ++serial_;
  const std::optional<grab::Report> answer =
      Send({grab::Request::Kind::kGrab, serial, key, modifiers}) ? Await(serial) : std::nullopt;
  if (!answer) return Disconnect();  // a helper that does not answer serves nothing
  if (answer->kind == grab::Report::Kind::kGrabbed) grabbed_ = Armed{serial, key, modifiers};
  PostPending();
  if (answer->kind == grab::Report::Kind::kHeld)
    throw EOSError(L"Cannot register hot key. Another program on the X display holds the combination");
}

void TKeyGrab::Release() noexcept {
  grabbed_.reset();
  if (!link_) return;
  const uint32_t serial = ++serial_;
  if (!Send({grab::Request::Kind::kRelease, serial, 0, 0}) || !Await(serial)) return Disconnect();
  PostPending();
}

void TKeyGrab::Serve(LPARAM event) noexcept {
  if (!link_) return;
  const bool open = Receive();
  PostPending();
  if (!open || WSAGETSELECTEVENT(event) == FD_CLOSE) Disconnect();
}

bool TKeyGrab::Connect(HWND window) {
  if (link_) return true;
  if (!RunningUnderWine()) return false;
  const std::wstring helper = HelperPath();
  if (::GetFileAttributesW(helper.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  if (!started_) {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    started_ = true;
  }
  const UniqueSocket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (!listener || ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener.get(), 1) != 0 ||
      ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return false;
  const std::string token = Token();
  if (token.empty()) return false;
  std::wstring command = L"\"" + helper + L"\" " + std::to_wstring(ntohs(address.sin_port)) + L" " +
                         std::wstring(token.begin(), token.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(helper.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &started))
    return false;
  const UniqueKernelHandle process(started.hProcess), thread(started.hThread);
  const ULONGLONG deadline = ::GetTickCount64() + kAnswerTime;
  if (!Readable(listener.get(), deadline)) return false;
  link_.reset(::accept(listener.get(), nullptr, nullptr));
  u_long nonBlocking = 1;
  if (!link_ || ::ioctlsocket(link_.get(), FIONBIO, &nonBlocking) != 0) {
    Disconnect();
    return false;
  }
  window_ = window;
  const std::optional<grab::Report> greeting = NextAnswer(deadline);
  if (!greeting || greeting->kind != grab::Report::Kind::kReady || greeting->token != token ||
      ::WSAAsyncSelect(link_.get(), window, kWmKeyGrab, FD_READ | FD_CLOSE) != 0) {
    Disconnect();  // no display, or not the helper we started
    return false;
  }
  return true;
}

void TKeyGrab::Disconnect() noexcept {
  link_.reset();
  grabbed_.reset();
  lines_ = {};
  window_ = nullptr;
}

bool TKeyGrab::Send(const grab::Request& request) noexcept {
  try {
    const std::string line = grab::Format(request);
    size_t sent = 0;
    while (sent < line.size()) {
      const int n = ::send(link_.get(), line.data() + sent, static_cast<int>(line.size() - sent), 0);
      if (n > 0) {
        sent += static_cast<size_t>(n);
      } else if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(link_.get(), &set);
        timeval wait{1, 0};
        if (::select(0, nullptr, &set, nullptr, &wait) != 1) return false;
      } else {
        return false;
      }
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool TKeyGrab::Receive() noexcept {
  try {
    for (;;) {
      char buffer[512];
      const int n = ::recv(link_.get(), buffer, sizeof buffer, 0);
      if (n > 0) {
        if (!lines_.Append({buffer, static_cast<size_t>(n)})) return false;
        continue;
      }
      return n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK;
    }
  } catch (...) {
    return false;
  }
}

std::optional<grab::Report> TKeyGrab::NextAnswer(ULONGLONG deadline) noexcept {
  try {
    for (;;) {
      while (const std::optional<std::string> line = lines_.Next()) {
        std::optional<grab::Report> report = grab::ParseReport(*line);
        if (!report) return std::nullopt;
        if (report->kind != grab::Report::Kind::kPress) return report;
        PostPress(*report);
      }
      if (!Readable(link_.get(), deadline) || !Receive()) return std::nullopt;
    }
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<grab::Report> TKeyGrab::Await(uint32_t serial) noexcept {
  const ULONGLONG deadline = ::GetTickCount64() + kAnswerTime;
  while (const std::optional<grab::Report> answer = NextAnswer(deadline))
    if (answer->serial == serial && answer->kind != grab::Report::Kind::kReady &&
        answer->kind != grab::Report::Kind::kNoDisplay)
      return answer;
  return std::nullopt;
}

void TKeyGrab::PostPress(const grab::Report& report) noexcept {
  if (grabbed_ && report.serial == grabbed_->serial)
    ::PostMessageW(window_, WM_HOTKEY, static_cast<WPARAM>(grabbed_->key),
                   MAKELPARAM(grabbed_->modifiers, grabbed_->key));
}

void TKeyGrab::PostPending() noexcept {
  try {
    while (const std::optional<std::string> line = lines_.Next())
      if (const std::optional<grab::Report> report = grab::ParseReport(*line);
          report && report->kind == grab::Report::Kind::kPress)
        PostPress(*report);
  } catch (...) {
  }
}

}  // namespace snapvik
