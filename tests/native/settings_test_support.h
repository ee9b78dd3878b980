#pragma once
#include <string>
#include <vector>

#include "app/settings_logic.h"

namespace snapvik::testing {

// Stands in for a single-byte code page: bytes are Latin-1; other characters become "?".
class Latin1Codec final : public AnsiCodec {
 public:
  std::wstring ToWide(std::string_view ansi) const override {
    std::wstring out;
    for (char c : ansi) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return out;
  }
  std::string FromWide(std::wstring_view text) const override {
    std::string out;
    for (wchar_t c : text) out.push_back(static_cast<unsigned>(c) <= 0xFF ? static_cast<char>(c) : '?');
    return out;
  }
};

// Records what the reader did, in order, starting from the window's initial state.
class RecordingTarget final : public settings::SettingsTarget {
 public:
  std::wstring directory = L"Edit1";
  bool shift = false, alt = false, ctrl = false;
  std::wstring key = L"A";
  std::vector<std::string> calls;

  void SetDirectory(const std::wstring& text) override {
    directory = text;
    calls.push_back("dir");
  }
  void CheckShift() override {
    shift = true;
    calls.push_back("shift");
  }
  void CheckAlt() override {
    alt = true;
    calls.push_back("alt");
  }
  void CheckCtrl() override {
    ctrl = true;
    calls.push_back("ctrl");
  }
  void SetKey(const std::wstring& text) override {
    key = text;
    calls.push_back("key");
  }
};

}  // namespace snapvik::testing
