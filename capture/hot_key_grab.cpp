// rand_s, for the token that the helper proves itself with.
#define _CRT_RAND_S
#include <stdlib.h>
// Before windows.h, which would bring the old sockets in.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "capture/hot_key_grab.h"

#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "capture/hot_key_grab_protocol.h"
#include "common/errors.h"
#include "common/handles.h"
#include "common/wine.h"
#include "common/win_text.h"

namespace snapvik {

namespace {

constexpr wchar_t kHelperName[] = L"snapvik-keygrab";
constexpr wchar_t kTokenVariable[] = L"SNAPVIK_KEYGRAB_TOKEN=";
// From the start to the helper's greeting: Wine starts a native program in
// well under this, also on a busy machine.
constexpr ULONGLONG kStartTime = 3000;
// A helper answers a request at once; one that takes longer has stopped or
// hangs, and is ended and replaced.
constexpr ULONGLONG kAnswerTime = 700;
// What one read takes, so that a flood never holds the window for long.
constexpr int kReadBound = 4096;
// Connections waiting to prove themselves at once; an older one makes room.
constexpr size_t kCandidates = 8;
// Presses taken and not yet served. Each is served, as Windows posts a hot-key
// message per repeat, up to its limit of messages waiting in a queue.
constexpr int kPendingPresses = 10000;
// Presses in one read: a keyboard repeats some 30 times a second, and the
// window reads between any two captures. A helper that sends more is broken.
constexpr size_t kPressesPerRead = 16;
// A helper that ends this many times in a row, soon after it started, is given up.
constexpr int kQuickEnds = 3;
constexpr ULONGLONG kQuickEnd = 2000;

constexpr wchar_t kOnlyInWine[] = L"The hot key works only while a Wine window has the keyboard: ";

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

std::wstring HelperPath() {
  const std::wstring program = ModuleFileName();
  return program.substr(0, program.find_last_of(L"\\/") + 1) + kHelperName;
}

// Sixteen random bytes in hex: only the helper we started is told them.
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

// This process's environment with the token added: Wine hands it to the
// native program as its environment, which other users cannot read.
std::wstring EnvironmentWith(const std::string& token) {
  std::wstring block;
  if (wchar_t* const strings = ::GetEnvironmentStringsW()) {
    for (const wchar_t* p = strings; *p; p += std::wcslen(p) + 1)
      if (std::wcsncmp(p, kTokenVariable, std::size(kTokenVariable) - 1) != 0) block.append(p).push_back(L'\0');
    ::FreeEnvironmentStringsW(strings);
  }
  block.append(kTokenVariable).append(token.begin(), token.end()).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

timeval Left(ULONGLONG deadline) {
  const ULONGLONG now = ::GetTickCount64();
  const ULONGLONG left = now >= deadline ? 0 : deadline - now;
  return {static_cast<long>(left / 1000), static_cast<long>(left % 1000) * 1000};
}

bool Readable(SOCKET s, ULONGLONG deadline) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait = Left(deadline);
  return ::select(0, &set, nullptr, nullptr, &wait) == 1;
}

bool NonBlocking(SOCKET s) {
  u_long on = 1;
  return ::ioctlsocket(s, FIONBIO, &on) == 0;
}

enum class Read { kData, kNothing, kOver };

// One bounded read into `lines`; kOver when the peer closed, failed, or sent a line too long.
Read ReadInto(SOCKET s, grab::LineBuffer& lines, int bound) {
  char buffer[kReadBound];
  const int n = ::recv(s, buffer, bound < kReadBound ? bound : kReadBound, 0);
  if (n > 0) return lines.Append({buffer, static_cast<size_t>(n)}) ? Read::kData : Read::kOver;
  return n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK ? Read::kNothing : Read::kOver;
}

struct Candidate {
  UniqueSocket socket;
  grab::LineBuffer lines;
};

struct Greeting {
  Candidate link;
  grab::Report report;
};

// A helper started, its greeting not yet come.
struct Start {
  UniqueSocket listener;
  std::string token;
  ULONGLONG deadline = 0;
  std::vector<Candidate> waiting;
};

// Whether `c`'s first line greets with the token; kNever where it never will.
enum class Greets { kYes, kNotYet, kNever };
Greets Greeted(Candidate& c, const std::string& token, grab::Report& report) {
  if (ReadInto(c.socket.get(), c.lines, 256) == Read::kOver) return Greets::kNever;
  const std::optional<std::string> line = c.lines.Next();
  if (!line) return Greets::kNotYet;
  const std::optional<grab::Report> parsed = grab::ParseReport(*line);
  if (!parsed || (parsed->kind != grab::Report::Kind::kReady && parsed->kind != grab::Report::Kind::kNoDisplay) ||
      parsed->token != token)
    return Greets::kNever;
  report = *parsed;
  return Greets::kYes;
}

// Takes one waiting connection; the oldest makes room.
void Accept(Start& start, HWND notify) {
  UniqueSocket accepted(::accept(start.listener.get(), nullptr, nullptr));
  if (!accepted || !NonBlocking(accepted.get())) return;
  if (notify && ::WSAAsyncSelect(accepted.get(), notify, kWmKeyGrab, FD_READ | FD_CLOSE) != 0) return;
  if (start.waiting.size() == kCandidates) start.waiting.erase(start.waiting.begin());
  start.waiting.push_back({std::move(accepted), {}});
}

// Every connection that comes before the deadline must open with the token;
// the first that does is the helper. Others (any local user can connect to a
// loopback port) are closed, and none of them holds up the helper.
std::optional<Greeting> AwaitHelper(Start& start) {
  while (::GetTickCount64() < start.deadline) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(start.listener.get(), &set);
    for (const Candidate& c : start.waiting) FD_SET(c.socket.get(), &set);
    timeval wait = Left(start.deadline);
    if (::select(0, &set, nullptr, nullptr, &wait) <= 0) break;
    std::vector<Candidate> still;
    for (Candidate& c : start.waiting) {
      grab::Report report;
      const Greets greets = FD_ISSET(c.socket.get(), &set) ? Greeted(c, start.token, report) : Greets::kNotYet;
      if (greets == Greets::kYes) return Greeting{std::move(c), report};
      if (greets == Greets::kNotYet) still.push_back(std::move(c));
    }
    start.waiting = std::move(still);
    if (FD_ISSET(start.listener.get(), &set)) Accept(start, nullptr);
  }
  return std::nullopt;
}

}  // namespace

struct TKeyGrab::State {
  struct Armed {
    uint32_t serial;
    int32_t key;
    uint32_t modifiers;
  };
  struct Wanted {
    int32_t key;
    uint32_t modifiers;
  };

  bool socketsStarted = false;  // WSAStartup
  HWND window = nullptr;
  UniqueSocket link;
  grab::LineBuffer lines;
  uint32_t pid = 0;     // the helper's, as it told
  uint32_t endPid = 0;  // a helper that stopped answering: the next one ends it
  ULONGLONG linkedAt = 0;
  int quickEnds = 0;
  uint32_t serial = 0;
  std::optional<Wanted> wanted;
  std::optional<Armed> grabbed;
  int pending = 0;           // presses of the grab armed now, not yet served
  bool pressPosted = false;  // a kWmKeyGrabPress is in the window's queue
  std::wstring cannot;  // why no helper can serve; empty while one may
  bool told = false;
  // A helper started in the background after one went away while armed: its
  // greeting and the grab come as the window's events, so the window is
  // never held for a start.
  std::optional<Start> starting;

  ~State() {
    Disconnect();
    starting.reset();
    if (socketsStarted) ::WSACleanup();
  }

  bool Connect();
  // Starts a helper, which calls back on `start`'s listener; its
  // connections are told to `notify` where one is given.
  bool StartHelper(Start& start, HWND notify);
  void StartInBackground();
  // The helper's greeting taken: its link in use.
  bool TakeLink(Greeting greeting);
  // Where a start runs in the background: on an event of its sockets.
  void Proceed(WPARAM socket);
  // Sends the wanted grab on the link in use and takes the answer.
  enum class Answer { kGrabbed, kNone };
  Answer GrabOnLink();
  void Disconnect() noexcept;
  // Ends the helper's link; the next helper ends its process.
  void Replace() noexcept;
  void GrabWanted();
  bool Send(const grab::Request& request) noexcept;
  std::optional<grab::Report> Await(uint32_t serial) noexcept;
  // Posts the presses among the lines; false at a line that is none of ours.
  bool TakeLines() noexcept;
  void PostPress(const grab::Report& report) noexcept;
  // The link closed (`broken`: the helper sent what no helper sends).
  void LinkLost(bool broken);
};

bool TKeyGrab::State::StartHelper(Start& start, HWND notify) {
  if (!cannot.empty() || !RunningUnderWine()) return false;
  const std::wstring helper = HelperPath();
  if (::GetFileAttributesW(helper.c_str()) == INVALID_FILE_ATTRIBUTES) {
    cannot = L"snapvik-keygrab, which takes it from the other programs of the X display, is not beside Snapvik.exe";
    return false;
  }
  if (!socketsStarted) {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    socketsStarted = true;
  }
  start.listener.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (!start.listener ||
      ::bind(start.listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(start.listener.get(), static_cast<int>(kCandidates)) != 0 ||
      ::getsockname(start.listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      !NonBlocking(start.listener.get()) ||
      (notify && ::WSAAsyncSelect(start.listener.get(), notify, kWmKeyGrab, FD_ACCEPT) != 0))
    return false;
  start.token = Token();
  if (start.token.empty()) return false;
  std::wstring command = L"\"" + helper + L"\" " + std::to_wstring(ntohs(address.sin_port));
  if (endPid) command += L" " + std::to_wstring(endPid);
  std::wstring environment = EnvironmentWith(start.token);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(helper.c_str(), command.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup,
                        &started)) {
    cannot = L"snapvik-keygrab beside Snapvik.exe cannot be started (it must be a Linux program the user may run)";
    return false;
  }
  // Wine gives no handle for a native program; close whatever came.
  const UniqueKernelHandle process(started.hProcess), thread(started.hThread);
  endPid = 0;
  start.deadline = ::GetTickCount64() + kStartTime;
  return true;
}

bool TKeyGrab::State::TakeLink(Greeting greeting) {
  if (greeting.report.kind == grab::Report::Kind::kNoDisplay) {
    cannot = L"snapvik-keygrab cannot open the X display";
    return false;
  }
  link = std::move(greeting.link.socket);
  lines = std::move(greeting.link.lines);
  pid = greeting.report.pid;
  linkedAt = ::GetTickCount64();
  if (::WSAAsyncSelect(link.get(), window, kWmKeyGrab, FD_READ | FD_CLOSE) != 0) {
    Replace();
    return false;
  }
  return true;
}

bool TKeyGrab::State::Connect() {
  if (link) return true;
  std::optional<Start> start = std::move(starting);
  starting.reset();
  if (start) {
    // Finished here and now: its sockets' events no longer reach the window.
    ::WSAAsyncSelect(start->listener.get(), window, 0, 0);
    for (const Candidate& c : start->waiting) ::WSAAsyncSelect(c.socket.get(), window, 0, 0);
  } else {
    start.emplace();
    if (!StartHelper(*start, nullptr)) return false;
  }
  std::optional<Greeting> greeting = AwaitHelper(*start);
  if (!greeting) {
    cannot = L"snapvik-keygrab beside Snapvik.exe did not answer";
    return false;
  }
  return TakeLink(std::move(*greeting));
}

void TKeyGrab::State::Proceed(WPARAM socket) {
  Start& start = *starting;
  if (::GetTickCount64() >= start.deadline) {
    starting.reset();
    cannot = L"snapvik-keygrab beside Snapvik.exe did not answer";
    return;
  }
  if (socket == static_cast<WPARAM>(start.listener.get())) {
    Accept(start, window);
    return;
  }
  for (auto c = start.waiting.begin(); c != start.waiting.end(); ++c) {
    if (socket != static_cast<WPARAM>(c->socket.get())) continue;
    grab::Report report;
    const Greets greets = Greeted(*c, start.token, report);
    if (greets == Greets::kNever) start.waiting.erase(c);
    if (greets != Greets::kYes) return;
    Candidate chosen = std::move(*c);
    starting.reset();  // the listener and the others closed
    if (!TakeLink({std::move(chosen), report}) || !wanted) return;
    if (GrabOnLink() == Answer::kNone) LinkLost(true);
    return;
  }
}

void TKeyGrab::State::Disconnect() noexcept {
  if (link) {
    ::WSAAsyncSelect(link.get(), window, 0, 0);
    link.reset();
    // The closed socket's number may come again: none of its events may reach the next one.
    MSG dropped;
    while (window && ::PeekMessageW(&dropped, window, kWmKeyGrab, kWmKeyGrab, PM_REMOVE)) {
    }
  }
  lines = {};
  pid = 0;
  grabbed.reset();
  pending = 0;
}

void TKeyGrab::State::Replace() noexcept {
  if (pid) endPid = pid;
  Disconnect();
}

bool TKeyGrab::State::Send(const grab::Request& request) noexcept {
  try {
    const std::string line = grab::Format(request);
    size_t sent = 0;
    const ULONGLONG deadline = ::GetTickCount64() + kAnswerTime;
    while (sent < line.size()) {
      const int n = ::send(link.get(), line.data() + sent, static_cast<int>(line.size() - sent), 0);
      if (n > 0) {
        sent += static_cast<size_t>(n);
        continue;
      }
      if (n != SOCKET_ERROR || ::WSAGetLastError() != WSAEWOULDBLOCK) return false;
      fd_set set;
      FD_ZERO(&set);
      FD_SET(link.get(), &set);
      timeval wait = Left(deadline);
      if (::select(0, nullptr, &set, nullptr, &wait) != 1) return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

std::optional<grab::Report> TKeyGrab::State::Await(uint32_t awaited) noexcept {
  try {
    const ULONGLONG deadline = ::GetTickCount64() + kAnswerTime;
    for (;;) {
      while (const std::optional<std::string> line = lines.Next()) {
        const std::optional<grab::Report> report = grab::ParseReport(*line);
        if (!report) return std::nullopt;
        if (report->kind == grab::Report::Kind::kPress) {
          PostPress(*report);
        } else if (report->serial == awaited && report->kind != grab::Report::Kind::kReady &&
                   report->kind != grab::Report::Kind::kNoDisplay) {
          return report;
        }
      }
      if (!Readable(link.get(), deadline) || ReadInto(link.get(), lines, kReadBound) == Read::kOver)
        return std::nullopt;
    }
  } catch (...) {
    return std::nullopt;
  }
}

bool TKeyGrab::State::TakeLines() noexcept {
  try {
    std::vector<grab::Report> presses;
    while (const std::optional<std::string> line = lines.Next()) {
      const std::optional<grab::Report> report = grab::ParseReport(*line);
      if (!report) return false;
      if (report->kind != grab::Report::Kind::kPress) continue;
      if (presses.size() == kPressesPerRead) return false;
      presses.push_back(*report);
    }
    for (const grab::Report& press : presses) PostPress(press);
    return true;
  } catch (...) {
    return false;
  }
}

void TKeyGrab::State::PostPress(const grab::Report& report) noexcept {
  if (!grabbed || report.serial != grabbed->serial || pending == kPendingPresses) return;
  ++pending;
  // One message in the queue at a time: whatever else came meanwhile is served between two captures.
  if (!pressPosted) pressPosted = ::PostMessageW(window, kWmKeyGrabPress, 0, 0) != FALSE;
}

TKeyGrab::State::Answer TKeyGrab::State::GrabOnLink() {
  const uint32_t id = ++serial;
  const std::optional<grab::Report> answer =
      Send({grab::Request::Kind::kGrab, id, wanted->key, wanted->modifiers}) ? Await(id) : std::nullopt;
  if (!answer) return Answer::kNone;
  if (answer->kind == grab::Report::Kind::kGrabbed) {
    grabbed = Armed{id, wanted->key, wanted->modifiers};
    return Answer::kGrabbed;
  }
  std::wstring refusal;
  switch (answer->kind) {
    case grab::Report::Kind::kHeld:
      refusal = L"Another program on the X display holds the combination";
      break;
    case grab::Report::Kind::kNoKey:
      refusal = L"No key of this keyboard gives \"" + std::wstring(1, static_cast<wchar_t>(wanted->key)) +
                L"\"; choose another";
      break;
    case grab::Report::Kind::kNoAlt:
      refusal = L"This keyboard has no Alt key";
      break;
    default:
      return Answer::kGrabbed;  // a code it does not take: only Wine's registration can match it
  }
  wanted.reset();
  throw EOSError(L"Cannot register hot key. " + refusal);
}

void TKeyGrab::State::GrabWanted() {
  // A second try where the first helper stopped answering: its successor ends it first.
  for (int attempt = 0; attempt < 2 && wanted; ++attempt) {
    if (!Connect()) return;
    if (GrabOnLink() == Answer::kGrabbed) return;
    Replace();
  }
}

void TKeyGrab::State::StartInBackground() {
  Start start;
  if (!StartHelper(start, window)) return;
  starting = std::move(start);
}

void TKeyGrab::State::LinkLost(bool broken) {
  const bool quick = ::GetTickCount64() - linkedAt < kQuickEnd;
  if (broken) {
    Replace();
  } else {
    Disconnect();  // it is gone: its number may already be another's
  }
  if (!wanted) return;
  quickEnds = quick ? quickEnds + 1 : 0;
  if (quickEnds >= kQuickEnds) cannot = L"snapvik-keygrab beside Snapvik.exe keeps failing";
  StartInBackground();
}

TKeyGrab::TKeyGrab() : state_(std::make_unique<State>()) {}

TKeyGrab::~TKeyGrab() = default;

void TKeyGrab::Grab(HWND window, int32_t key, uint32_t modifiers) {
  State& s = *state_;
  if (s.window != window) {
    s.Disconnect();
    s.starting.reset();
  }
  s.window = window;
  s.grabbed.reset();
  s.pending = 0;
  s.wanted = State::Wanted{key, modifiers};
  s.GrabWanted();
}

void TKeyGrab::Release() noexcept {
  State& s = *state_;
  s.starting.reset();
  s.wanted.reset();
  s.grabbed.reset();
  s.pending = 0;
  if (!s.link) return;
  const uint32_t id = ++s.serial;
  if (!s.Send({grab::Request::Kind::kRelease, id, 0, 0}) || !s.Await(id)) s.Replace();
}

void TKeyGrab::Serve(WPARAM socket, LPARAM) {
  State& s = *state_;
  if (!s.link && s.starting) {
    s.Proceed(socket);
    if (const std::wstring notice = Notice(); !notice.empty()) throw EOSError(notice);
    return;
  }
  // The event says only that something may have come: what the socket in use reads decides.
  if (!s.link || socket != static_cast<WPARAM>(s.link.get())) return;
  const Read read = ReadInto(s.link.get(), s.lines, kReadBound);
  const bool ours = s.TakeLines();
  if (read == Read::kData) {
    // More may wait: read on after the messages queued meanwhile.
    ::PostMessageW(s.window, kWmKeyGrab, socket, FD_READ);
  }
  if (read == Read::kOver || !ours) s.LinkLost(!ours);
  if (const std::wstring notice = Notice(); !notice.empty()) throw EOSError(notice);
}

bool TKeyGrab::TakePress() noexcept {
  State& s = *state_;
  s.pressPosted = false;
  if (!s.grabbed || s.pending == 0) return false;
  if (--s.pending > 0) s.pressPosted = ::PostMessageW(s.window, kWmKeyGrabPress, 0, 0) != FALSE;
  return true;
}

std::wstring TKeyGrab::Notice() {
  State& s = *state_;
  if (s.cannot.empty() || s.told) return {};
  s.told = true;
  return kOnlyInWine + s.cannot;
}

}  // namespace snapvik
