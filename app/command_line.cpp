#include "app/command_line.h"

namespace snapvik {

std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine) {
  std::vector<std::wstring> args;
  size_t i = 0;
  const size_t n = commandLine.size();
  while (true) {
    while (i < n && commandLine[i] <= L' ' && commandLine[i] != 0) ++i;
    if (i >= n || commandLine[i] == 0) break;
    std::wstring arg;
    bool quoted = false;
    while (i < n && commandLine[i] != 0 && (quoted || commandLine[i] > L' ')) {
      if (commandLine[i] == L'"')
        quoted = !quoted;
      else
        arg.push_back(commandLine[i]);
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

static std::wstring AsciiLower(std::wstring text) {
  for (wchar_t& c : text)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return text;
}

bool HasVersionSwitch(std::wstring_view commandLine) {
  const std::vector<std::wstring> args = SplitCommandLine(commandLine);
  for (size_t k = 1; k < args.size(); ++k)
    if (AsciiLower(args[k]) == L"/acver") return true;
  return false;
}

}  // namespace snapvik
