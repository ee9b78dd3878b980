// Times the capture inside the program's own code: the hot-key message sent
// to a real main window, and the same work step by step, with the floor of
// writing as many bytes from memory. Prints one line of JSON with medians in
// milliseconds.
#include <windows.h>


#include <algorithm>
#include <cstdio>

#include <string>
#include <vector>

#include "app/main_form.h"
#include "capture/screen_capture.h"
#include "common/handles.h"
#include "bench_clock.h"
#include "framework/application.h"

using namespace snapvik;
using bench::Median;
using bench::Now;

namespace {

void RemoveShots(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  UniqueFind find(::FindFirstFileW((folder + L"Screen*.jpg").c_str(), &found));
  if (!find) return;
  do {
    ::DeleteFileW((folder + found.cFileName).c_str());
  } while (::FindNextFileW(find.get(), &found));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: capture_bench <folder\\> <runs> (0: start only, -1: one capture)\n");
    return 2;
  }
  const std::wstring folder = argv[1];
  const int runs = _wtoi(argv[2]);

  TApplication application;
  application.Initialize(L"Capture benchmark");
  TForm1 form;
  form.Edit1.SetText(folder);

  // For the peak of memory, measured from outside (Wine keeps no count of
  // graphics memory): the program with its window and nothing more, or with one capture.
  if (runs <= 0) {
    if (runs < 0) ::SendMessageW(form.Handle(), WM_HOTKEY, 0, 0);
    RemoveShots(folder);
    return 0;
  }

  std::vector<double> message, copy, convert, write, closed, release, floorWrite, blit;

  // Interleaved, so that whatever the system does meanwhile weighs on each kind alike.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  std::vector<char> bytes;
  const std::wstring floorName = folder + L"floor.bin";
  for (int i = 0; i < runs; ++i) {
    // The program's path: the message to the window, back when the handler is done.
    RemoveShots(folder);
    ScreenCounter = 0;
    double t0 = Now();
    ::SendMessageW(form.Handle(), WM_HOTKEY, 0, 0);
    message.push_back(Now() - t0);
    if (bytes.empty()) {
      ::GetFileAttributesExW((folder + L"Screen0.jpg").c_str(), GetFileExInfoStandard, &data);
      bytes.assign(data.nFileSizeLow, 'x');
    }

    // The same functions in the same order, with the clock read between them.
    RemoveShots(folder);
    t0 = Now();
    {
      TBitmap image;
      const WindowDc screen = CopyScreen(image, PrimaryScreen());
      const double t1 = Now();
      image.EnsureIndependentCopy();
      const double t2 = Now();
      SaveScreenshot(image, folder, 0);
      const double t3 = Now();
      copy.push_back(t1 - t0);
      convert.push_back(t2 - t1);
      write.push_back(t3 - t2);
      closed.push_back(t3 - t0);
      t0 = Now();
    }
    release.push_back(Now() - t0);

    // The floors: the screen copied into a new bitmap, and the file's bytes written from memory.
    {
      WindowDc screen(nullptr);
      const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
      const double b0 = Now();
      UniqueBitmap target(::CreateCompatibleBitmap(screen.get(), w, h));
      UniqueMemoryDc dc(::CreateCompatibleDC(screen.get()));
      SelectedObject selected(dc.get(), target.get());
      ::BitBlt(dc.get(), 0, 0, w, h, screen.get(), 0, 0, SRCCOPY);
      ::GdiFlush();
      blit.push_back(Now() - b0);
    }
    ::DeleteFileW(floorName.c_str());
    t0 = Now();
    {
      UniqueFile file(::CreateFileW(floorName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
      DWORD written = 0;
      ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    floorWrite.push_back(Now() - t0);
  }
  ::DeleteFileW(floorName.c_str());
  RemoveShots(folder);
  const size_t fileBytes = bytes.size();
  std::printf(
      "{\"runs\":%d,\"width\":%d,\"height\":%d,\"bytes\":%zu,\"message\":%.3f,\"copy\":%.3f,\"convert\":%.3f,"
      "\"write\":%.3f,\"closed\":%.3f,\"release\":%.3f,\"blit\":%.3f,\"floor_write\":%.3f}\n",
      runs, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), fileBytes, Median(message),
      Median(copy), Median(convert), Median(write), Median(closed), Median(release), Median(blit),
      Median(floorWrite));
  return 0;
}
