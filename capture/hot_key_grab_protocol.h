#pragma once
// The lines that the program and its X key grabber (keygrab/) exchange over
// their loopback connection, one message a line.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace snapvik::grab {

// From the program. A grab replaces whatever was grabbed before.
struct Request {
  enum class Kind { kGrab, kRelease };
  Kind kind = Kind::kGrab;
  uint32_t serial = 0;     // echoed by the answer and by each press of this grab
  int32_t key = 0;         // virtual-key code
  uint32_t modifiers = 0;  // ModifierMask bits
  bool operator==(const Request&) const = default;
};

// From the grabber: first kReady (with its process id) or kNoDisplay with the
// token it was given, then one answer per request and a kPress for each press
// of the combination. A grab's answer: kGrabbed; kHeld (another X client has
// it); kNoKey (no key of this keyboard gives the code); kNoAlt (the keyboard
// has no Alt); kWineOnly (a code it does not take, such as a modifier key's own
// code: Wine's registration serves alone).
struct Report {
  enum class Kind { kReady, kNoDisplay, kGrabbed, kHeld, kNoKey, kNoAlt, kWineOnly, kReleased, kPress };
  Kind kind = Kind::kReady;
  uint32_t serial = 0;
  std::string token;
  uint32_t pid = 0;  // kReady's
  bool operator==(const Report&) const = default;
};

std::string Format(const Request& request);
std::string Format(const Report& report);
std::optional<Request> ParseRequest(std::string_view line);
std::optional<Report> ParseReport(std::string_view line);

// Bytes in, whole lines out (without their line feed). A line that runs past
// kMaxLine makes Append fail: nothing we send is that long. Each byte is
// looked at once on the way in and once on the way out, and what is kept is
// only the lines not yet taken.
class LineBuffer {
 public:
  static constexpr size_t kMaxLine = 256;
  bool Append(std::string_view bytes);
  std::optional<std::string> Next();
  // Bytes kept: the lines not taken yet and the open one.
  size_t Pending() const { return pending_.size() - start_; }

 private:
  std::string pending_;
  size_t start_ = 0;  // where the first line not taken begins
  size_t open_ = 0;   // bytes of the last line so far, its line feed not yet come
};

}  // namespace snapvik::grab
