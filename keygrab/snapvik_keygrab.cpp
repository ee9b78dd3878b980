// snapvik-keygrab: the hot key's X side when Snapvik.exe runs under Wine.
// Wine sees a key only while one of its own windows has the focus, because it
// grabs none; this grabs the armed combination on the X root window, so a
// press reaches the program whatever is in front, and tells the program over
// the loopback connection that the program opened for it.
//   SNAPVIK_KEYGRAB_TOKEN=TOKEN snapvik-keygrab PORT [PID]
// The token, which proves to the program that this is the grabber it started,
// comes in the environment, which only the user's own processes can read (a
// command line every user can). PID is a grabber of the program that stopped
// answering: it is ended first, so that its grab is free again.
// It ends when that connection closes (the program ended, however it ended);
// the X server then drops its grabs with its connection.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "capture/hot_key_grab_protocol.h"
#include "capture/hot_key_logic.h"
#include "keygrab/key_syms.h"

namespace {

using namespace snapvik;

int lastXError = Success;

int RecordXError(Display*, XErrorEvent* event) {
  lastXError = event->error_code;
  return 0;
}

// The display went away: nothing left to grab on.
int DisplayLost(Display*) { std::_Exit(0); }

struct DisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};
using UniqueDisplay = std::unique_ptr<Display, DisplayCloser>;

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }
  bool Send(const std::string& text) const {
    size_t sent = 0;
    while (sent < text.size()) {
      const ssize_t n = send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
};

// The modifier bit of the first modifier key found bound to one of `syms`; 0 for none.
unsigned int ModifierBitOf(Display* display, std::initializer_list<KeySym> syms) {
  XModifierKeymap* map = XGetModifierMapping(display);
  if (!map) return 0;
  unsigned int bit = 0;
  for (int mod = 0; mod < 8 && !bit; ++mod)
    for (int k = 0; k < map->max_keypermod && !bit; ++k) {
      const KeyCode code = map->modifiermap[mod * map->max_keypermod + k];
      if (!code) continue;
      for (const KeySym sym : syms)
        if (XkbKeycodeToKeysym(display, code, 0, 0) == sym) bit = 1u << mod;
    }
  XFreeModifiermap(map);
  return bit;
}

// The key at an XKB place ("AC02"); 0 when the keyboard has none there.
KeyCode KeyAtPlace(Display* display, const char* place) {
  if (!*place) return 0;
  XkbDescPtr keyboard = XkbGetMap(display, 0, XkbUseCoreKbd);
  if (!keyboard) return 0;
  KeyCode found = 0;
  if (XkbGetNames(display, XkbKeyNamesMask, keyboard) == Success && keyboard->names && keyboard->names->keys)
    for (int code = keyboard->min_key_code; code <= keyboard->max_key_code && !found; ++code)
      if (std::strncmp(keyboard->names->keys[code].name, place, XkbKeyNameLength) == 0)
        found = static_cast<KeyCode>(code);
  XkbFreeKeyboard(keyboard, 0, True);
  return found;
}

// The layout (XKB group) in use now.
int GroupNow(Display* display) {
  XkbStateRec state;
  return XkbGetState(display, XkbUseCoreKbd, &state) == Success ? state.group : 0;
}

// The key that gives `sym` at any of its levels in `group`; 0 for none.
KeyCode KeyInGroup(Display* display, KeySym sym, int group) {
  XkbDescPtr keyboard = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
  if (!keyboard) return 0;
  KeyCode found = 0;
  for (int code = keyboard->min_key_code; code <= keyboard->max_key_code && !found; ++code) {
    const int groups = XkbKeyNumGroups(keyboard, code);
    if (groups == 0) continue;
    // A key with fewer groups than the one in use wraps into its own, as X does unless told otherwise.
    const int g = group % groups;
    for (int level = 0; level < XkbKeyGroupWidth(keyboard, code, g) && !found; ++level)
      if (XkbKeySymEntry(keyboard, code, level, g) == sym) found = static_cast<KeyCode>(code);
  }
  XkbFreeKeyboard(keyboard, 0, True);
  return found;
}

// The key Windows gives the code: the one carrying its symbol in the layout
// in use, else (a layout without Latin letters) the one at the letter's or
// digit's US place.
KeyCode KeyOf(Display* display, int32_t virtualKey, int group) {
  const KeySym sym = keygrab::KeySymOf(virtualKey);
  const KeyCode code = sym ? KeyInGroup(display, sym, group) : 0;
  return code ? code : KeyAtPlace(display, keygrab::UsPlaceOf(virtualKey));
}

class Grabber {
 public:
  explicit Grabber(Display* display)
      : display_(display),
        root_(DefaultRootWindow(display)),
        alt_(ModifierBitOf(display, {XK_Alt_L, XK_Alt_R, XK_Meta_L})),
        locks_{LockMask, ModifierBitOf(display, {XK_Num_Lock}), ModifierBitOf(display, {XK_Scroll_Lock})},
        group_(GroupNow(display)) {}

  grab::Report::Kind Grab(int32_t virtualKey, uint32_t modifiers) {
    Drop();
    armed_ = true;
    key_ = virtualKey;
    modifiers_ = modifiers;
    group_ = GroupNow(display_);
    return Take();
  }

  void Release() {
    armed_ = false;
    Drop();
  }

  // The keyboard's mapping changed (another layout, a lock key made a
  // modifier): the modifiers are read again, and the key grabbed anew where
  // it or they changed. An unchanged grab is never lifted, not for a moment.
  void MappingChanged(XEvent& event) {
    if (event.xmapping.request != MappingPointer) XRefreshKeyboardMapping(&event.xmapping);
    const unsigned int alt = ModifierBitOf(display_, {XK_Alt_L, XK_Alt_R, XK_Meta_L});
    const unsigned int numLock = ModifierBitOf(display_, {XK_Num_Lock});
    const unsigned int scrollLock = ModifierBitOf(display_, {XK_Scroll_Lock});
    group_ = GroupNow(display_);
    const bool sameModifiers = alt == alt_ && numLock == locks_[1] && scrollLock == locks_[2];
    if (sameModifiers && code_ && KeyOf(display_, key_, group_) == code_) return;
    Drop();  // with the lock variants it was grabbed with
    alt_ = alt;
    locks_[1] = numLock;
    locks_[2] = scrollLock;
    if (armed_) Take();
  }

  // Another layout of the keymap was chosen: the code may be another key's now, as on Windows.
  void GroupChanged(int group) {
    if (group == group_) return;
    group_ = group;
    if (armed_ && (!code_ || KeyOf(display_, key_, group_) != code_)) {
      Drop();
      Take();
    }
  }

  bool IsPress(const XEvent& event) const {
    const unsigned int relevant = ControlMask | ShiftMask | alt_ | (mods_ & locks_[1]);
    return code_ && event.type == KeyPress && event.xkey.keycode == code_ && (event.xkey.state & relevant) == mods_;
  }

 private:
  grab::Report::Kind Take() {
    if (keygrab::OnNoKeyboard(key_)) return grab::Report::Kind::kNoKey;
    // Codes it has no X key for (the modifier and lock keys' own, the mouse's): Wine's alone.
    if (!keygrab::KeySymOf(key_)) return grab::Report::Kind::kWineOnly;
    const KeyCode code = KeyOf(display_, key_, group_);
    if (!code) return grab::Report::Kind::kNoKey;
    if ((modifiers_ & kModAlt) && !alt_) return grab::Report::Kind::kNoAlt;
    // The keypad gives its digit codes only with Num Lock on, as on Windows.
    const bool keypadDigit = key_ >= 0x60 && key_ <= 0x69;
    if (keypadDigit && !locks_[1]) return grab::Report::Kind::kNoKey;
    mods_ = ((modifiers_ & kModAlt) ? alt_ : 0) | ((modifiers_ & kModCtrl) ? ControlMask : 0) |
            ((modifiers_ & kModShift) ? ShiftMask : 0) | (keypadDigit ? locks_[1] : 0);
    code_ = code;
    lastXError = Success;
    for (const unsigned int locks : LockVariants())
      XGrabKey(display_, code_, mods_ | locks, root_, False, GrabModeAsync, GrabModeAsync);
    XSync(display_, False);
    if (lastXError != Success) {
      // Another client holds the combination (or some of its lock variants): keep none of it.
      Drop();
      return grab::Report::Kind::kHeld;
    }
    return grab::Report::Kind::kGrabbed;
  }

  void Drop() {
    if (!code_) return;
    for (const unsigned int locks : LockVariants()) XUngrabKey(display_, code_, mods_ | locks, root_);
    XSync(display_, False);
    code_ = 0;
  }

  // Caps Lock, Num Lock and Scroll Lock in every combination.
  std::vector<unsigned int> LockVariants() const {
    std::vector<unsigned int> variants{0};
    for (const unsigned int lock : locks_) {
      if (!lock || (lock & mods_)) continue;
      const size_t n = variants.size();
      for (size_t i = 0; i < n; ++i)
        if (!(variants[i] & lock)) variants.push_back(variants[i] | lock);
    }
    return variants;
  }

  Display* display_;
  Window root_;
  unsigned int alt_;
  unsigned int locks_[3];
  KeyCode code_ = 0;
  unsigned int mods_ = 0;
  int32_t key_ = 0;
  uint32_t modifiers_ = 0;
  int group_;
  bool armed_ = false;  // a grab asked for and not released, whether or not it holds now
};

int Serve(const Socket& link, Display* display) {
  int xkbEvent = -1, opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
  if (XkbQueryExtension(display, &opcode, &xkbEvent, &error, &major, &minor))
    XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask, XkbGroupStateMask);
  Grabber grabber(display);
  grab::LineBuffer lines;
  uint32_t serial = 0;
  bool grabbed = false;
  for (;;) {
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MappingNotify) {
        grabber.MappingChanged(event);
        continue;
      }
      if (event.type == xkbEvent) {
        const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
        if (xkb.any.xkb_type == XkbStateNotify) grabber.GroupChanged(xkb.state.group);
        continue;
      }
      if (grabbed && grabber.IsPress(event) && !link.Send(grab::Format({grab::Report::Kind::kPress, serial, {}})))
        return 0;
    }
    pollfd fds[2] = {{link.fd(), POLLIN, 0}, {ConnectionNumber(display), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents) {
      char buffer[512];
      const ssize_t n = recv(link.fd(), buffer, sizeof buffer, 0);
      if (n <= 0 || !lines.Append({buffer, static_cast<size_t>(n)})) return 0;  // the program is gone
      while (const auto line = lines.Next()) {
        const auto request = grab::ParseRequest(*line);
        if (!request) return 1;
        serial = request->serial;
        grab::Report::Kind answer = grab::Report::Kind::kReleased;
        if (request->kind == grab::Request::Kind::kGrab) {
          answer = grabber.Grab(request->key, request->modifiers);
        } else {
          grabber.Release();
        }
        grabbed = answer == grab::Report::Kind::kGrabbed;
        if (!link.Send(grab::Format({answer, serial, {}}))) return 0;
      }
    }
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Whether `pid` is gone or only a zombie (its connections are closed either way).
bool Ended(pid_t pid) {
  FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  if (!f) return true;
  char line[512] = {};
  const bool read = std::fgets(line, sizeof line, f) != nullptr;
  std::fclose(f);
  const char* close = read ? std::strrchr(line, ')') : nullptr;
  return close && close[1] == ' ' && (close[2] == 'Z' || close[2] == 'X');
}

// Ends an earlier grabber of ours that stopped answering, and waits (a second
// at most) until it is gone. Only a process running this very program is
// ended: the number may have passed to another process meanwhile.
void EndEarlier(pid_t pid) {
  const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
  if (pid <= 1 || pid == getpid() || !SameFile(exe, "/proc/self/exe")) return;
  if (kill(pid, SIGKILL) != 0) return;
#ifdef SYS_pidfd_open
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd exited{pidfd, POLLIN, 0};
    poll(&exited, 1, 1000);
    close(pidfd);
    return;
  }
#endif
  for (int i = 0; i < 200 && !Ended(pid); ++i) {
    const timespec pause{0, 5'000'000};
    nanosleep(&pause, nullptr);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) return 2;
  const char* given = std::getenv("SNAPVIK_KEYGRAB_TOKEN");
  if (!given) return 2;
  const std::string token = given;
  unsetenv("SNAPVIK_KEYGRAB_TOKEN");
  std::signal(SIGPIPE, SIG_IGN);
  if (argc == 3) EndEarlier(static_cast<pid_t>(std::atoi(argv[2])));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const Socket link(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (link.fd() < 0 || connect(link.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return 1;
  XSetErrorHandler(&RecordXError);
  XSetIOErrorHandler(&DisplayLost);
  const UniqueDisplay display(XOpenDisplay(nullptr));
  if (!display) {
    link.Send(grab::Format({grab::Report::Kind::kNoDisplay, 0, token}));
    return 0;
  }
  if (!link.Send(grab::Format({grab::Report::Kind::kReady, 0, token, static_cast<uint32_t>(getpid())}))) return 0;
  return Serve(link, display.get());
}
