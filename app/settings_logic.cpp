#include "app/settings_logic.h"

#include "common/error_text.h"
#include "common/errors.h"
#include "common/utf.h"

namespace snapvik::settings {

namespace {

bool StartsWith(std::string_view bytes, std::string_view mark) {
  return bytes.substr(0, mark.size()) == mark;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

}  // namespace

std::wstring DecodeText(std::string_view bytes, const AnsiCodec& ansi) {
  return DecodeTextStrict(bytes, ansi).value_or(std::wstring());
}

std::optional<std::wstring> DecodeTextStrict(std::string_view bytes, const AnsiCodec& ansi) {
  if (StartsWith(bytes, kUtf8Mark)) return DecodeUtf8Strict(bytes.substr(kUtf8Mark.size()));
  if (StartsWith(bytes, kUtf16LeMark)) return DecodeUtf16(bytes.substr(2), ByteOrder::LittleEndian);
  if (StartsWith(bytes, kUtf16BeMark)) return DecodeUtf16(bytes.substr(2), ByteOrder::BigEndian);
  return ansi.ToWide(bytes);
}

std::vector<std::wstring> SplitLines(std::wstring_view text) {
  if (const size_t nul = text.find(L'\0'); nul != std::wstring_view::npos) text = text.substr(0, nul);
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c != L'\r' && c != L'\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

void ApplyLines(const std::vector<std::wstring>& lines, SettingsTarget& target) {
  auto line = [&](size_t index) -> const std::wstring& {
    if (index >= lines.size()) throw EStringListError(ListIndexErrorText(static_cast<long long>(index)));
    return lines[index];
  };
  target.SetDirectory(line(0));
  if (line(1) == L"1") target.CheckShift();
  if (line(2) == L"1") target.CheckAlt();
  if (line(3) == L"1") target.CheckCtrl();
  const std::wstring& key = line(4);
  target.SetKey(key.substr(0, 1));
}

void ReadSettings(std::string_view bytes, const AnsiCodec& ansi, SettingsTarget& target) {
  ApplyLines(SplitLines(DecodeText(bytes, ansi)), target);
}

std::string EncodeSettings(const Settings& settings, const AnsiCodec& ansi) {
  std::wstring text;
  for (std::wstring_view line : {std::wstring_view(settings.directory), std::wstring_view(settings.shift ? L"1" : L"0"),
                                 std::wstring_view(settings.alt ? L"1" : L"0"),
                                 std::wstring_view(settings.ctrl ? L"1" : L"0"), std::wstring_view(settings.key)}) {
    text.append(line).append(L"\r\n");
  }
  std::string bytes = ansi.FromWide(text);
  // A name the code page cannot hold, or one whose bytes start like a mark,
  // would come back altered: keep it whole as UTF-8.
  if (DecodeText(bytes, ansi) != text) bytes = std::string(kUtf8Mark) + EncodeUtf8(text);
  return bytes;
}

bool ShouldWrite(bool nothingAppliedAtStart, const Settings& shownAtStart, const Settings& now) {
  return !nothingAppliedAtStart || now != shownAtStart;
}

}  // namespace snapvik::settings
