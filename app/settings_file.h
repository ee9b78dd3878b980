#pragma once
// opt.dat on disk: where it lives, whether it exists, reading and writing it.
#include <string>

#include "app/settings_logic.h"

namespace snapvik {

// The main module's folder, with its trailing backslash.
std::wstring ProgramFolder();
std::wstring SettingsFilePath();

// Exists when attributes are reported and are not a directory's; links and
// unreadable entries are judged as the platform lets us see them.
bool SettingsFileExists(const std::wstring& path);

// All bytes, with readers allowed and writers kept out meanwhile.
std::string ReadWholeFile(const std::wstring& path);

// Replaces `path` only once the new bytes are complete. A read-only file
// is not replaced (the platform's move would ignore the mark under Wine).
// Where `path` is a link, the file it points to is replaced and the link
// stays.
void ReplaceFileSafely(const std::wstring& path, std::string_view bytes);

// Fills the target from opt.dat, or gives it the program's folder when
// there is none.
void LoadSettings(settings::SettingsTarget& target);
void SaveSettings(const settings::Settings& values);

}  // namespace snapvik
