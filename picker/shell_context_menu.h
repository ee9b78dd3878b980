#pragma once
// The shell's own context menu for one namespace item, shown and run for a
// control that may take some of its verbs over.
#include <windows.h>

#include <shlobj.h>

#include <optional>
#include <string>

#include "framework/window.h"
#include "picker/shell_folder.h"

namespace snapvik {

// Offered by a control that handles some verbs of the shell's menu itself.
// {7D2A7245-2376-4D33-8008-A130935A2E8B}
class IacShellCommandVerb {
 public:
  static constexpr GUID IID = {0x7D2A7245, 0x2376, 0x4D33, {0x80, 0x08, 0xA1, 0x30, 0x93, 0x5A, 0x2E, 0x8B}};
  // Before the shell runs `Verb`; Handled true keeps the shell from running it.
  virtual void ExecuteCommand(const std::string& Verb, bool& Handled) = 0;
  // After the shell ran it (or would have, when handled).
  virtual void CommandCompleted(const std::string& Verb, bool Succeeded) = 0;

 protected:
  ~IacShellCommandVerb() = default;
};

// The menu-message interface of the context menu on screen, or none.
IContextMenu2* ActiveMenuHandler();

// A menu message for the shell's menu on screen: its result when one is up
// (owner-drawn items of other controls are not its), none otherwise.
std::optional<LRESULT> ForwardMenuMessage(UINT msg, WPARAM wParam, LPARAM lParam);

// Shows the item's context menu at (X, Y) of `Owner`'s client area and runs the chosen command.
void ShowShellContextMenu(TWindow& Owner, const TacShellFolder* Item, int X, int Y);

}  // namespace snapvik
