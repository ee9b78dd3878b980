#pragma once
// Text conversions that need the platform.
#include <string>

#include "common/ansi_codec.h"

namespace snapvik {

// The process's ANSI code page, through the platform's conversions without flags.
class SystemAnsiCodec final : public AnsiCodec {
 public:
  std::wstring ToWide(std::string_view ansi) const override;
  std::string FromWide(std::wstring_view text) const override;
};

// The platform's lower-case mapping.
void LowerInPlace(std::wstring& text);

// The full path of the running program's main module.
std::wstring ModuleFileName();

}  // namespace snapvik
