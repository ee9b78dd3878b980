#pragma once
// opt.dat as bytes and lines, apart from the window and the file system.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ansi_codec.h"

namespace snapvik::settings {

// What the five lines fill; the window implements it.
class SettingsTarget {
 public:
  virtual ~SettingsTarget() = default;
  virtual void SetDirectory(const std::wstring& text) = 0;
  virtual void CheckShift() = 0;
  virtual void CheckAlt() = 0;
  virtual void CheckCtrl() = 0;
  virtual void SetKey(const std::wstring& text) = 0;
};

struct Settings {
  std::wstring directory;
  bool shift = false;
  bool alt = false;
  bool ctrl = false;
  std::wstring key;
  bool operator==(const Settings&) const = default;
};

// Whether closing writes opt.dat: always, so that the copy closed last
// decides, except when the file was there at start with nothing of it
// applied (it could not be opened, read or decoded) and the window still
// holds what it showed then: such a file is never replaced by values nobody
// chose. A short file had its lines applied: writing it loses nothing.
bool ShouldWrite(bool nothingAppliedAtStart, const Settings& shownAtStart, const Settings& now);

// The mark decides the encoding; without one the bytes are ANSI. Nothing
// when the text cannot be decoded (a UTF-8 mark before bytes that are not).
std::optional<std::wstring> DecodeTextStrict(std::string_view bytes, const AnsiCodec& ansi);
// As above, a text that cannot be decoded being empty.
std::wstring DecodeText(std::string_view bytes, const AnsiCodec& ansi);

// Breaks at CR, LF or CR LF; a NUL ends the text.
std::vector<std::wstring> SplitLines(std::wstring_view text);

// Applies lines 1 to 5 in order; a missing line throws EStringListError
// after the lines before it were applied.
void ApplyLines(const std::vector<std::wstring>& lines, SettingsTarget& target);

// Whole-file conveniences. The writer uses the code page unless the reader
// would then give back another text; then UTF-8 with its mark.
void ReadSettings(std::string_view bytes, const AnsiCodec& ansi, SettingsTarget& target);
std::string EncodeSettings(const Settings& settings, const AnsiCodec& ansi);

}  // namespace snapvik::settings
