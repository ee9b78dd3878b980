#pragma once
// opt.dat on disk: where it lives, whether it exists, reading and writing it.
#include <cstddef>
#include <string>

#include "app/settings_logic.h"

namespace snapvik {

// The main module's folder, with its trailing backslash.
std::wstring ProgramFolder();
std::wstring SettingsFilePath();

// Exists when attributes are reported and are not a directory's; links and
// unreadable entries are judged as the platform lets us see them.
bool SettingsFileExists(const std::wstring& path);

// Five lines take a few kilobytes even with the longest folder path; a file
// larger than this is not a settings file, and one that never ends (a link
// to a device) must not hold the start.
inline constexpr size_t kLargestSettingsFile = 1 << 20;
inline constexpr wchar_t kTooLargeForSettings[] = L"The file is too large for a settings file";

// All bytes, with readers allowed and writers kept out meanwhile. A file
// larger than kLargestSettingsFile cannot be opened as settings
// (EFOpenError), and costs no more than that to find out.
std::string ReadWholeFile(const std::wstring& path);

// Replaces `path` only once the new bytes are complete. A read-only file
// is not replaced (the platform's move would ignore the mark under Wine).
// Where `path` itself is a link, the file it points to is replaced and the
// link stays; a link to nothing is refused rather than made a plain file.
// Errors name `path`.
void ReplaceFileSafely(const std::wstring& path, std::string_view bytes);

// What the start made of opt.dat: none there; there, with its lines (or
// some of them) applied; or there with nothing of it applied, because it
// could not be opened or read, or its text could not be decoded.
enum class SettingsRead { Missing, Applied, Unread };

// Fills the target from opt.dat, or gives it the program's folder when
// there is none. `read` is set also when it throws.
void LoadSettings(settings::SettingsTarget& target, SettingsRead& read);
void SaveSettings(const settings::Settings& values);

// Whether a start would show `values` from opt.dat as it is now, so that a
// close that cannot write it loses nothing: it holds, byte for byte, what
// SaveSettings would write, or there is none and `withoutFile` (what a start
// without one showed; may be null) is `values`. Never throws.
bool SettingsFileWouldShow(const settings::Settings& values, const settings::Settings* withoutFile) noexcept;

}  // namespace snapvik
