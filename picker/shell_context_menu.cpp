#include "picker/shell_context_menu.h"

#include "common/com.h"
#include "common/handles.h"
#include "framework/application.h"

namespace snapvik {

namespace {

ComPtr<IContextMenu2> g_activeMenuHandler;
ComPtr<IContextMenu3> g_activeMenuHandler3;  // the same menu, when it answers menu characters too

// Set while the menu is up, cleared on every path.
class ActiveMenu {
 public:
  explicit ActiveMenu(IContextMenu* menu) {
    menu->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(g_activeMenuHandler.ReleaseAndGetAddressOf()));
    menu->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(g_activeMenuHandler3.ReleaseAndGetAddressOf()));
  }
  ~ActiveMenu() {
    g_activeMenuHandler3.Reset();
    g_activeMenuHandler.Reset();
  }
  ActiveMenu(const ActiveMenu&) = delete;
  ActiveMenu& operator=(const ActiveMenu&) = delete;
};

}  // namespace

IContextMenu2* ActiveMenuHandler() { return g_activeMenuHandler.Get(); }

std::optional<LRESULT> ForwardMenuMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!g_activeMenuHandler && !g_activeMenuHandler3) return std::nullopt;
  if (msg == WM_DRAWITEM && reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->CtlType != ODT_MENU) return std::nullopt;
  if (msg == WM_MEASUREITEM && reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam)->CtlType != ODT_MENU)
    return std::nullopt;
  if (g_activeMenuHandler3) {
    LRESULT result = 0;
    g_activeMenuHandler3->HandleMenuMsg2(msg, wParam, lParam, &result);
    return result;
  }
  g_activeMenuHandler->HandleMenuMsg(msg, wParam, lParam);
  // Without the newer interface a menu character has no answer: 0 lets the menu go on.
  return msg == WM_DRAWITEM || msg == WM_MEASUREITEM ? LRESULT{TRUE} : LRESULT{0};
}

void ShowShellContextMenu(TWindow& Owner, const TacShellFolder* Item, int X, int Y) {
  if (!Item) return;
  const ComPtr<IShellFolder> parent = Item->ParenTacShellFolder();
  if (!parent) return;
  ComPtr<IContextMenu> menu;
  PCUITEMID_CHILD child = reinterpret_cast<PCUITEMID_CHILD>(Item->RelativeID());
  if (FAILED(parent->GetUIObjectOf(Owner.Handle(), 1, &child, IID_IContextMenu, nullptr,
                                   reinterpret_cast<void**>(menu.GetAddressOf()))) ||
      !menu)
    return;

  POINT at{X, Y};
  ::ClientToScreen(Owner.Handle(), &at);
  const UniqueMenu popup(::CreatePopupMenu());
  if (!popup) return;
  menu->QueryContextMenu(popup.get(), 0, 1, 0x7FFF, CMF_EXPLORE | CMF_CANRENAME);
  UINT command = 0;
  {
    const ActiveMenu active(menu.Get());
    command = static_cast<UINT>(
        ::TrackPopupMenu(popup.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, Owner.Handle(), nullptr));
  }
  if (command == 0) return;

  char verbText[256] = {};
  menu->GetCommandString(command - 1, GCS_VERBA, nullptr, verbText, sizeof verbText);
  verbText[sizeof verbText - 1] = '\0';
  const std::string verb = verbText;
  bool handled = false;
  HRESULT result = S_OK;
  auto* verbs = dynamic_cast<IacShellCommandVerb*>(&Owner);
  if (verbs) verbs->ExecuteCommand(verb, handled);
  if (!handled) {
    CMINVOKECOMMANDINFO info{};
    static_assert(sizeof(void*) != 4 || sizeof info == 36, "the record the shell expects");
    info.cbSize = sizeof info;
    info.fMask = 0;
    info.hwnd = Owner.Handle();
    info.lpVerb = MAKEINTRESOURCEA(command - 1);
    info.nShow = SW_SHOWNORMAL;
    // A close meanwhile must not answer the command's questions for the user.
    const TApplication::ForeignCommandScope running(Owner.Handle());
    result = menu->InvokeCommand(&info);
  }
  if (verbs) verbs->CommandCompleted(verb, result == S_OK);
}

}  // namespace snapvik
