#pragma once
// The system's ANSI code page, as plain logic sees it: supplied by the caller.
#include <string>
#include <string_view>

namespace snapvik {

class AnsiCodec {
 public:
  virtual ~AnsiCodec() = default;
  virtual std::wstring ToWide(std::string_view ansi) const = 0;
  virtual std::string FromWide(std::wstring_view text) const = 0;
};

}  // namespace snapvik
