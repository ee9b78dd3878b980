// winprobe: looks at and drives other programs' windows, for the end-to-end tests and the run command's session.
// Reads one command per line on standard input (fields separated by tabs) and
// answers each with one line of JSON on standard output.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/handles.h"

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Json(const std::wstring& text) {
  std::string out = "\"";
  for (unsigned char c : Utf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Handle(HWND hwnd) { return std::to_string(reinterpret_cast<uintptr_t>(hwnd)); }
HWND ParseHandle(const std::string& text) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(text)));
}

std::wstring WindowText(HWND hwnd) {
  wchar_t buffer[4096];
  const LRESULT n = ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                                          SMTO_ABORTIFHUNG, 2000, nullptr)
                        ? ::GetWindowTextLengthW(hwnd)
                        : 0;
  buffer[4095] = 0;
  return n >= 0 ? std::wstring(buffer) : std::wstring();
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[256] = {};
  ::GetClassNameW(hwnd, buffer, 256);
  return buffer;
}

std::wstring ProcessImage(DWORD pid) {
  const snapvik::UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return {};
  wchar_t buffer[MAX_PATH * 4];
  DWORD size = MAX_PATH * 4;
  std::wstring out;
  if (::QueryFullProcessImageNameW(process.get(), 0, buffer, &size)) out.assign(buffer, size);
  return out;
}

std::string Rect(const RECT& r) {
  std::ostringstream s;
  s << "[" << r.left << "," << r.top << "," << (r.right - r.left) << "," << (r.bottom - r.top) << "]";
  return s.str();
}

std::string Describe(HWND hwnd) {
  RECT window{}, client{};
  ::GetWindowRect(hwnd, &window);
  ::GetClientRect(hwnd, &client);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  std::ostringstream s;
  s << "{\"hwnd\":" << Handle(hwnd) << ",\"class\":" << Json(ClassOf(hwnd)) << ",\"text\":" << Json(WindowText(hwnd))
    << ",\"id\":" << ::GetDlgCtrlID(hwnd) << ",\"style\":" << ::GetWindowLongW(hwnd, GWL_STYLE)
    << ",\"exstyle\":" << ::GetWindowLongW(hwnd, GWL_EXSTYLE) << ",\"visible\":" << (::IsWindowVisible(hwnd) ? 1 : 0)
    << ",\"enabled\":" << (::IsWindowEnabled(hwnd) ? 1 : 0) << ",\"window\":" << Rect(window)
    << ",\"client\":" << Rect(client) << ",\"owner\":" << Handle(::GetWindow(hwnd, GW_OWNER))
    << ",\"iconic\":" << (::IsIconic(hwnd) ? 1 : 0) << ",\"zoomed\":" << (::IsZoomed(hwnd) ? 1 : 0)
    << ",\"pid\":" << pid;
  const std::wstring cls = ClassOf(hwnd);
  if (cls == L"Button")
    s << ",\"checked\":" << ::SendMessageW(hwnd, BM_GETCHECK, 0, 0);
  if (cls == L"Edit") s << ",\"limit\":" << ::SendMessageW(hwnd, EM_GETLIMITTEXT, 0, 0);
  if (cls == L"Static" && (::GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
    s << ",\"icon\":" << (::SendMessageW(hwnd, STM_GETICON, 0, 0) ? 1 : 0);
  if (::GetParent(hwnd) && (::GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD)) {
    POINT origin{window.left, window.top};
    ::ScreenToClient(::GetParent(hwnd), &origin);
    s << ",\"pos\":[" << origin.x << "," << origin.y << "]";
  }
  s << "}";
  return s.str();
}

struct TopLevelQuery {
  std::wstring image;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM param) {
  auto* query = reinterpret_cast<TopLevelQuery*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  if (query->image.empty() || lstrcmpiW(ProcessImage(pid).c_str(), query->image.c_str()) == 0)
    query->found.push_back(hwnd);
  return TRUE;
}

std::string List(const std::vector<HWND>& windows) {
  std::string out = "[";
  for (size_t i = 0; i < windows.size(); ++i) {
    if (i) out += ",";
    out += Describe(windows[i]);
  }
  return out + "]";
}

snapvik::UniqueFile g_held;

// A block of memory in another process, for the controls whose messages carry pointers.
class RemoteBlock {
 public:
  RemoteBlock(HWND window, size_t size) : size_(size) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    process_.reset(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (process_) address_ = ::VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    if (!address_) throw std::runtime_error("no memory in the other process");
  }
  ~RemoteBlock() { ::VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE); }
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;
  void* Address() const { return address_; }
  void Write(const void* data, size_t size, size_t offset = 0) {
    ::WriteProcessMemory(process_.get(), static_cast<char*>(address_) + offset, data, size, nullptr);
  }
  void Read(void* data, size_t size, size_t offset = 0) const {
    ::ReadProcessMemory(process_.get(), static_cast<char*>(address_) + offset, data, size, nullptr);
  }

 private:
  snapvik::UniqueKernelHandle process_;
  void* address_ = nullptr;
  size_t size_;
};

// Every node a tree view holds, in tree order: handle, text, depth, state.
std::string TreeNodes(HWND tree) {
  constexpr size_t kText = 520;
  RemoteBlock block(tree, sizeof(TVITEMW) + kText * sizeof(wchar_t));
  const HTREEITEM selected = TreeView_GetSelection(tree);
  std::string out = "[";
  std::vector<HTREEITEM> parents;
  for (HTREEITEM node = TreeView_GetRoot(tree); node;) {
    TVITEMW item{};
    item.mask = TVIF_TEXT | TVIF_STATE | TVIF_HANDLE | TVIF_CHILDREN;
    item.hItem = node;
    item.stateMask = TVIS_EXPANDED;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(block.Address()) + sizeof(TVITEMW));
    item.cchTextMax = kText;
    block.Write(&item, sizeof item);
    ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(block.Address()));
    block.Read(&item, sizeof item);
    wchar_t text[kText] = {};
    block.Read(text, sizeof text - sizeof(wchar_t), sizeof(TVITEMW));
    if (out.size() > 1) out += ",";
    out += "{\"item\":" + std::to_string(reinterpret_cast<uintptr_t>(node)) + ",\"text\":" + Json(text) +
           ",\"level\":" + std::to_string(parents.size()) + ",\"selected\":" + (node == selected ? "1" : "0") +
           ",\"expanded\":" + ((item.state & TVIS_EXPANDED) ? "1" : "0") +
           ",\"children\":" + std::to_string(item.cChildren) + "}";
    if (HTREEITEM child = TreeView_GetChild(tree, node)) {
      parents.push_back(node);
      node = child;
      continue;
    }
    for (;;) {
      if (HTREEITEM next = TreeView_GetNextSibling(tree, node)) {
        node = next;
        break;
      }
      if (parents.empty()) {
        node = nullptr;
        break;
      }
      node = parents.back();
      parents.pop_back();
    }
  }
  return out + "]";
}

HTREEITEM ParseItem(const std::string& text) { return reinterpret_cast<HTREEITEM>(static_cast<uintptr_t>(std::stoull(text))); }

void Release() { g_held.reset(); }

// A thread that sends a window empty messages one after another and keeps
// the longest answer: how long that window's thread was held at most.
struct Watch {
  HWND window = nullptr;
  volatile LONG stop = 0;
  volatile LONG longest = 0;  // milliseconds
  volatile LONG rounds = 0;
  HANDLE thread = nullptr;
};
Watch g_watch;

DWORD WINAPI WatchWindow(void*) {
  LARGE_INTEGER frequency, before, after;
  ::QueryPerformanceFrequency(&frequency);
  while (!::InterlockedCompareExchange(&g_watch.stop, 0, 0)) {
    DWORD_PTR result = 0;
    ::QueryPerformanceCounter(&before);
    const bool answered =
        ::SendMessageTimeoutW(g_watch.window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result) != 0;
    ::QueryPerformanceCounter(&after);
    if (!answered) break;
    const LONG ms = static_cast<LONG>((after.QuadPart - before.QuadPart) * 1000 / frequency.QuadPart);
    if (ms > g_watch.longest) ::InterlockedExchange(&g_watch.longest, ms);
    ::InterlockedIncrement(&g_watch.rounds);
    ::Sleep(1);
  }
  return 0;
}

std::string EndWatch() {
  if (!g_watch.thread) return "null";
  ::InterlockedExchange(&g_watch.stop, 1);
  ::WaitForSingleObject(g_watch.thread, INFINITE);
  ::CloseHandle(g_watch.thread);
  g_watch.thread = nullptr;
  return "{\"longest\":" + std::to_string(g_watch.longest) + ",\"rounds\":" + std::to_string(g_watch.rounds) + "}";
}

std::string Run(const std::vector<std::string>& a) {
  const std::string& verb = a[0];
  if (verb == "windows") {  // windows <image path>: top-level windows of the processes of that program
    TopLevelQuery query{a.size() > 1 ? Wide(a[1]) : L"", {}};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&query));
    return List(query.found);
  }
  if (verb == "children") {  // children <hwnd>: direct children in z-order
    std::vector<HWND> children;
    for (HWND c = ::GetWindow(ParseHandle(a[1]), GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
      children.push_back(c);
    return List(children);
  }
  if (verb == "describe") return Describe(ParseHandle(a[1]));
  if (verb == "focus") {  // focus <hwnd>: the focus and active window of that window's thread
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = ::GetWindowThreadProcessId(ParseHandle(a[1]), nullptr);
    if (!::GetGUIThreadInfo(thread, &info)) return "null";
    return "{\"focus\":" + (info.hwndFocus ? Describe(info.hwndFocus) : std::string("null")) +
           ",\"active\":" + Handle(info.hwndActive) + "}";
  }
  if (verb == "settext") {
    ::SendMessageW(ParseHandle(a[1]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(a.size() > 2 ? a[2] : "").c_str()));
    return "true";
  }
  if (verb == "click") return ::PostMessageW(ParseHandle(a[1]), BM_CLICK, 0, 0) ? "true" : "false";
  if (verb == "press") {  // press <button>: as the dialog keys press a button, the focus left where it is
    const HWND button = ParseHandle(a[1]);
    return ::PostMessageW(::GetParent(button), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                          reinterpret_cast<LPARAM>(button))
               ? "true"
               : "false";
  }
  if (verb == "tree") return TreeNodes(ParseHandle(a[1]));  // tree <hwnd>: the nodes it holds
  if (verb == "treeselect")  // treeselect <hwnd> <item>
    return ::SendMessageW(ParseHandle(a[1]), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(ParseItem(a[2])))
               ? "true"
               : "false";
  if (verb == "treeexpand")  // treeexpand <hwnd> <item>
    return ::SendMessageW(ParseHandle(a[1]), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(ParseItem(a[2])))
               ? "true"
               : "false";
  if (verb == "drawn") {  // drawn <hwnd>: waits until the window has nothing left to paint and its paint returned
    const HWND window = ParseHandle(a[1]);
    const ULONGLONG deadline = ::GetTickCount64() + 60000;
    while (::GetUpdateRect(window, nullptr, FALSE) && ::GetTickCount64() < deadline) ::Sleep(2);
    // A paint under way has emptied the region already; a sent message is served once it returns.
    DWORD_PTR ignored = 0;
    return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored) ? "true" : "false";
  }
  if (verb == "treerect") {  // treerect <hwnd> <item>: the node's text on screen, as [x, y, w, h]
    const HWND tree = ParseHandle(a[1]);
    RemoteBlock block(tree, sizeof(RECT));
    // The message takes the node in the rectangle's place.
    const HTREEITEM item = ParseItem(a[2]);
    block.Write(&item, sizeof item);
    RECT r{};
    ::SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(block.Address()));
    block.Read(&r, sizeof r);
    ::MapWindowPoints(tree, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return Rect(r);
  }
  if (verb == "treeeditor")  // treeeditor <hwnd>: the in-place editor, or 0
    return Handle(reinterpret_cast<HWND>(::SendMessageW(ParseHandle(a[1]), TVM_GETEDITCONTROL, 0, 0)));
  if (verb == "syscolor") {  // syscolor <index>: the system colour as [r, g, b]
    const COLORREF c = ::GetSysColor(std::stoi(a[1]));
    std::ostringstream s;
    s << "[" << int{GetRValue(c)} << "," << int{GetGValue(c)} << "," << int{GetBValue(c)} << "]";
    return s.str();
  }
  if (verb == "cursor") {  // cursor: whether the cursor on screen now is the hand
    CURSORINFO info{sizeof info, 0, nullptr, {}};
    ::GetCursorInfo(&info);
    std::ostringstream s;
    s << "{\"hand\":" << (info.hCursor == ::LoadCursorW(nullptr, IDC_HAND) ? 1 : 0)
      << ",\"arrow\":" << (info.hCursor == ::LoadCursorW(nullptr, IDC_ARROW) ? 1 : 0) << "}";
    return s.str();
  }
  if (verb == "close")
    return ::PostMessageW(ParseHandle(a[1]), WM_SYSCOMMAND, SC_CLOSE, 0) ? "true" : "false";
  if (verb == "command")  // command <hwnd> <id>: as a dialog button press
    return ::PostMessageW(ParseHandle(a[1]), WM_COMMAND, std::stoi(a[2]), 0) ? "true" : "false";
  if (verb == "move")  // move <hwnd> <x> <y>: as a user drags a window by its caption
    return ::SetWindowPos(ParseHandle(a[1]), nullptr, std::stoi(a[2]), std::stoi(a[3]), 0, 0,
                          SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
               ? "true"
               : "false";
  if (verb == "post") {  // post <hwnd> <message> <wparam> <count>: as another program's messages
    const HWND target = ParseHandle(a[1]);
    const int count = std::stoi(a[4]);
    int posted = 0;
    while (posted < count && ::PostMessageW(target, std::stoul(a[2]), std::stoul(a[3]), 0)) ++posted;
    return std::to_string(posted);
  }
  if (verb == "syscommand")
    return ::PostMessageW(ParseHandle(a[1]), WM_SYSCOMMAND, std::stoul(a[2]), 0) ? "true" : "false";
  if (verb == "terminate") {
    const snapvik::UniqueKernelHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(a[1])));
    if (!process) return "false";
    const BOOL ok = ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 5000);
    return ok ? "true" : "false";
  }
  if (verb == "hold") {  // hold <path> <share mode>: keep the file open until "release"
    Release();
    g_held.reset(::CreateFileW(Wide(a[1]).c_str(), GENERIC_READ | GENERIC_WRITE, std::stoul(a[2]), nullptr,
                               OPEN_EXISTING, 0, nullptr));
    return g_held ? "true" : "false";
  }
  if (verb == "release") {
    Release();
    return "true";
  }
  if (verb == "launch") {  // launch <path> <show command>: as a shell that asks for a show state
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(std::stoi(a[2]));
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + Wide(a[1]) + L"\"";
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      return "0";
    const snapvik::UniqueKernelHandle thread(pi.hThread), process(pi.hProcess);
    return std::to_string(pi.dwProcessId);
  }
  if (verb == "icons") {  // icons <path> <name>: the images of an icon group resource, as [size, bits]
    HMODULE module = ::LoadLibraryExW(Wide(a[1]).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return "null";
    std::string out = "[";
    const std::wstring name = Wide(a[2]);
    if (HRSRC info = ::FindResourceW(module, name.c_str(), MAKEINTRESOURCEW(14))) {  // RT_GROUP_ICON
      const auto* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(module, info)));
      const WORD count = bytes ? *reinterpret_cast<const WORD*>(bytes + 4) : 0;
      for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = bytes + 6 + 14 * i;  // width, height, colours, reserved, planes, bits, size, id
        const int size = entry[0] ? entry[0] : 256;
        out += (i ? ",[" : "[") + std::to_string(size) + "," +
               std::to_string(*reinterpret_cast<const WORD*>(entry + 6)) + "]";
      }
    }
    ::FreeLibrary(module);
    return out + "]";
  }
  if (verb == "watch") {  // watch <hwnd>: from now on, how long the window's thread is held at most
    EndWatch();
    g_watch.window = ParseHandle(a[1]);
    g_watch.stop = 0;
    g_watch.longest = 0;
    g_watch.rounds = 0;
    g_watch.thread = ::CreateThread(nullptr, 0, &WatchWindow, nullptr, 0, nullptr);
    return g_watch.thread ? "true" : "false";
  }
  if (verb == "watched") return EndWatch();  // watched: {"longest": ms, "rounds": answers} since "watch"
  if (verb == "metrics") {
    std::ostringstream s;
    s << "{\"virtual\":[" << ::GetSystemMetrics(SM_XVIRTUALSCREEN) << "," << ::GetSystemMetrics(SM_YVIRTUALSCREEN)
      << "," << ::GetSystemMetrics(SM_CXVIRTUALSCREEN) << "," << ::GetSystemMetrics(SM_CYVIRTUALSCREEN)
      << "],\"screen\":[" << ::GetSystemMetrics(SM_CXSCREEN) << "," << ::GetSystemMetrics(SM_CYSCREEN) << "]"
      << ",\"acp\":" << ::GetACP() << "}";
    return s.str();
  }
  return "{\"error\":\"unknown command\"}";
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> args;
    std::stringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) args.push_back(field);
    std::string reply;
    try {
      reply = args.empty() ? "null" : Run(args);
    } catch (const std::exception& e) {
      reply = "{\"error\":" + Json(Wide(e.what())) + "}";
    }
    std::cout << reply << "\n" << std::flush;
  }
  return 0;
}
