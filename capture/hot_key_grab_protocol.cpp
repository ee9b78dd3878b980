#include "capture/hot_key_grab_protocol.h"

#include <charconv>
#include <vector>

namespace snapvik::grab {

namespace {

struct Name {
  Report::Kind kind;
  std::string_view word;
};

constexpr Name kReportNames[] = {
    {Report::Kind::kReady, "ready"},   {Report::Kind::kNoDisplay, "nodisplay"},
    {Report::Kind::kGrabbed, "grabbed"}, {Report::Kind::kHeld, "held"},
    {Report::Kind::kNoKey, "nokey"},   {Report::Kind::kNoAlt, "noalt"},
    {Report::Kind::kWineOnly, "wineonly"}, {Report::Kind::kReleased, "released"},
    {Report::Kind::kPress, "press"},
};

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  while (!line.empty()) {
    const size_t end = line.find(' ');
    if (end == 0) return {};  // one blank between words, none at either end
    words.push_back(line.substr(0, end));
    if (end == std::string_view::npos) break;
    line.remove_prefix(end + 1);
    if (line.empty()) return {};
  }
  return words;
}

template <typename T>
std::optional<T> Number(std::string_view word) {
  T value{};
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size() || word.empty()) return std::nullopt;
  return value;
}

bool IsToken(std::string_view word) {
  if (word.empty() || word.size() > 64) return false;
  for (const char c : word)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace

std::string Format(const Request& request) {
  if (request.kind == Request::Kind::kRelease) return "release " + std::to_string(request.serial) + "\n";
  return "grab " + std::to_string(request.serial) + " " + std::to_string(request.key) + " " +
         std::to_string(request.modifiers) + "\n";
}

std::string Format(const Report& report) {
  for (const Name& name : kReportNames)
    if (name.kind == report.kind) {
      if (report.kind == Report::Kind::kReady)
        return std::string(name.word) + " " + report.token + " " + std::to_string(report.pid) + "\n";
      const bool greeting = report.kind == Report::Kind::kNoDisplay;
      return std::string(name.word) + " " + (greeting ? report.token : std::to_string(report.serial)) + "\n";
    }
  return {};
}

std::optional<Request> ParseRequest(std::string_view line) {
  const std::vector<std::string_view> w = Words(line);
  if (w.size() == 2 && w[0] == "release") {
    if (const auto serial = Number<uint32_t>(w[1])) return Request{Request::Kind::kRelease, *serial, 0, 0};
    return std::nullopt;
  }
  if (w.size() == 4 && w[0] == "grab") {
    const auto serial = Number<uint32_t>(w[1]);
    const auto key = Number<int32_t>(w[2]);
    const auto modifiers = Number<uint32_t>(w[3]);
    if (serial && key && modifiers) return Request{Request::Kind::kGrab, *serial, *key, *modifiers};
  }
  return std::nullopt;
}

std::optional<Report> ParseReport(std::string_view line) {
  const std::vector<std::string_view> w = Words(line);
  if (w.size() == 3 && w[0] == "ready") {
    const auto pid = Number<uint32_t>(w[2]);
    if (!IsToken(w[1]) || !pid || *pid == 0) return std::nullopt;
    return Report{Report::Kind::kReady, 0, std::string(w[1]), *pid};
  }
  if (w.size() != 2) return std::nullopt;
  for (const Name& name : kReportNames) {
    if (name.word != w[0] || name.kind == Report::Kind::kReady) continue;
    if (name.kind == Report::Kind::kNoDisplay) {
      if (!IsToken(w[1])) return std::nullopt;
      return Report{name.kind, 0, std::string(w[1])};
    }
    if (const auto serial = Number<uint32_t>(w[1])) return Report{name.kind, *serial, {}};
    return std::nullopt;
  }
  return std::nullopt;
}

bool LineBuffer::Append(std::string_view bytes) {
  if (start_ > 0) {
    pending_.erase(0, start_);
    start_ = 0;
  }
  for (const char c : bytes)
    if (c == '\n') {
      open_ = 0;
    } else if (++open_ > kMaxLine) {
      return false;
    }
  pending_.append(bytes);
  return true;
}

std::optional<std::string> LineBuffer::Next() {
  const size_t end = pending_.find('\n', start_);
  if (end == std::string::npos) return std::nullopt;
  std::string line = pending_.substr(start_, end - start_);
  start_ = end + 1;
  if (start_ == pending_.size()) {
    pending_.clear();
    start_ = 0;
  }
  return line;
}

}  // namespace snapvik::grab
