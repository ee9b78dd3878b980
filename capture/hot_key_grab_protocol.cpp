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
    {Report::Kind::kNoKey, "nokey"},   {Report::Kind::kReleased, "released"},
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
      const bool greeting = report.kind == Report::Kind::kReady || report.kind == Report::Kind::kNoDisplay;
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
  if (w.size() != 2) return std::nullopt;
  for (const Name& name : kReportNames) {
    if (name.word != w[0]) continue;
    if (name.kind == Report::Kind::kReady || name.kind == Report::Kind::kNoDisplay) {
      if (!IsToken(w[1])) return std::nullopt;
      return Report{name.kind, 0, std::string(w[1])};
    }
    if (const auto serial = Number<uint32_t>(w[1])) return Report{name.kind, *serial, {}};
    return std::nullopt;
  }
  return std::nullopt;
}

bool LineBuffer::Append(std::string_view bytes) {
  pending_.append(bytes);
  const size_t end = pending_.rfind('\n');
  const size_t open = end == std::string::npos ? pending_.size() : pending_.size() - end - 1;
  if (open > kMaxLine) return false;
  size_t start = 0;
  for (size_t at; (at = pending_.find('\n', start)) != std::string::npos; start = at + 1)
    if (at - start > kMaxLine) return false;
  return true;
}

std::optional<std::string> LineBuffer::Next() {
  const size_t end = pending_.find('\n');
  if (end == std::string::npos) return std::nullopt;
  std::string line = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  return line;
}

}  // namespace snapvik::grab
