#include "app/command_line.h"

#include "common/ascii_case.h"

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

bool HasVersionSwitch(std::wstring_view commandLine) {
  const std::vector<std::wstring> args = SplitCommandLine(commandLine);
  for (size_t k = 1; k < args.size(); ++k)
    if (SameIgnoringAsciiCase(args[k], L"/acver")) return true;
  return false;
}

}  // namespace snapvik
