// Times the capture inside the program's own code: the hot-key message sent
// to a real main window, and the same work step by step, with the floor of
// writing as many bytes from memory. Prints one line of JSON with medians in
// milliseconds.
#include <windows.h>


#include <algorithm>
#include <cstdio>
#include <cstring>

#include <string>
#include <vector>

#include <psapi.h>

#include "app/main_form.h"
#include "common/atomic_file.h"
#include "capture/screen_capture.h"
#include "common/handles.h"
#include "bench_clock.h"
#include "framework/application.h"

using namespace snapvik;
using bench::Median;
using bench::Now;

namespace {

// Minor page faults of this process so far, as the kernel counts them (the
// tenth field of /proc/<pid>/stat, through Wine's drive of the Unix root);
// -1 without the process's Unix id in SNAPVIK_UNIX_PID. Wine's server opens
// the file, so "self" would name the server, not this process.
long long MinorFaults() {
  static const std::wstring path = [] {
    wchar_t pid[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"SNAPVIK_UNIX_PID", pid, 32);
    return length > 0 && length < 32 ? L"Z:\\proc\\" + std::wstring(pid) + L"\\stat" : std::wstring();
  }();
  if (path.empty()) return -1;
  const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  char text[1024];
  DWORD got = 0;
  if (!file || !::ReadFile(file.get(), text, sizeof text - 1, &got, nullptr)) return -1;
  text[got] = '\0';
  // After the command's closing parenthesis: state, ppid, pgrp, session, tty, tpgid, flags, then minflt.
  const char* at = std::strrchr(text, ')');
  long long minflt = -1;
  if (!at || std::sscanf(at + 1, " %*c %*d %*d %*d %*d %*d %*u %lld", &minflt) != 1) return -1;
  return minflt;
}

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
    // And as the platform counts it: peak private bytes and peak working set.
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters);
    std::printf("{\"peak_private\":%zu,\"private\":%zu,\"peak_working_set\":%zu}\n",
                static_cast<size_t>(counters.PeakPagefileUsage), static_cast<size_t>(counters.PrivateUsage),
                static_cast<size_t>(counters.PeakWorkingSetSize));
    return 0;
  }

  std::vector<double> message, copy, convert, write, closed, release, floorWrite, blit;
  std::vector<double> writeOpen, writeData, writeMove, fromImage, again;
  // Minor page faults of the process over the same steps.
  std::vector<double> copyFaults, writeFaults, dataFaults, fromImageFaults, floorFaults, againFaults;

  // The image kept between captures, as the main window keeps its own.
  TKeptImage kept;
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
    long long f0 = MinorFaults();
    t0 = Now();
    {
      TBitmap& image = kept.For(PrimaryScreen());
      const WindowDc screen = CopyScreen(image, PrimaryScreen());
      const double t1 = Now();
      const long long f1 = MinorFaults();
      const double t1b = Now();
      image.EnsureIndependentCopy();
      double t2 = Now();
      const long long f2 = MinorFaults();
      const double t2b = Now();
      SaveScreenshot(image, folder, 0);
      double t3 = Now();
      const long long f3 = MinorFaults();
      copyFaults.push_back(static_cast<double>(f1 - f0));
      writeFaults.push_back(static_cast<double>(f3 - f2));
      // The clock leaves out the reading of the fault counts.
      t2 = t1 + (t2 - t1b);
      t3 = t2 + (t3 - t2b);
      copy.push_back(t1 - t0);
      convert.push_back(t2 - t1);
      write.push_back(t3 - t2);
      closed.push_back(t3 - t0);
      t0 = Now();
    }
    release.push_back(Now() - t0);
    // Where the write goes: the temporary file, the four writes, the move; and
    // then the image's own memory written to a plain file in one call, the
    // system's first read of it, against the floor below.
    RemoveShots(folder);
    {
      TBitmap& image = kept.For(PrimaryScreen());
      const WindowDc screen = CopyScreen(image, PrimaryScreen());
      image.EnsureIndependentCopy();
      const std::wstring name = folder + L"Screen0.jpg";
      const double w0 = Now();
      FileBeside file(name);
      const double w1 = Now();
      f0 = MinorFaults();
      const double w1b = Now();
      image.SaveToStream(file);
      const double w2 = Now();
      dataFaults.push_back(static_cast<double>(MinorFaults() - f0));
      file.MoveTo(name, FileBeside::IfTaken::Keep);
      const double w3 = Now();
      writeOpen.push_back(w1 - w0);
      writeData.push_back(w2 - w1b);
      writeMove.push_back(w3 - w2);
      const DIBSECTION& d = image.Image().FDIB;
      ::DeleteFileW(floorName.c_str());
      f0 = MinorFaults();
      const double m0 = Now();
      {
        UniqueFile plain(::CreateFileW(floorName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        ::WriteFile(plain.get(), d.dsBm.bmBits, d.dsBmih.biSizeImage, &written, nullptr);
      }
      fromImage.push_back(Now() - m0);
      fromImageFaults.push_back(static_cast<double>(MinorFaults() - f0));
      // The same copy into a new image, as when the image was made for each
      // capture: what keeping it saves.
      {
        f0 = MinorFaults();
        const double a0 = Now();
        TBitmap fresh;
        const WindowDc context = CopyScreen(fresh, PrimaryScreen());
        ::GdiFlush();
        again.push_back(Now() - a0);
        againFaults.push_back(static_cast<double>(MinorFaults() - f0));
      }
    }

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
    f0 = MinorFaults();
    t0 = Now();
    {
      UniqueFile file(::CreateFileW(floorName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
      DWORD written = 0;
      ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    floorWrite.push_back(Now() - t0);
    floorFaults.push_back(static_cast<double>(MinorFaults() - f0));
  }
  ::DeleteFileW(floorName.c_str());
  RemoveShots(folder);
  const size_t fileBytes = bytes.size();
  std::printf(
      "{\"runs\":%d,\"width\":%d,\"height\":%d,\"bytes\":%zu,\"message\":%.3f,\"copy\":%.3f,\"convert\":%.3f,"
      "\"write\":%.3f,\"closed\":%.3f,\"release\":%.3f,\"blit\":%.3f,\"floor_write\":%.3f,"
      "\"write_open\":%.3f,\"write_data\":%.3f,\"write_move\":%.3f,\"from_image\":%.3f,"
      "\"copy_faults\":%.0f,\"write_faults\":%.0f,\"data_faults\":%.0f,\"from_image_faults\":%.0f,"
      "\"floor_faults\":%.0f,\"again\":%.3f,\"again_faults\":%.0f}\n",
      runs, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), fileBytes, Median(message),
      Median(copy), Median(convert), Median(write), Median(closed), Median(release), Median(blit),
      Median(floorWrite), Median(writeOpen), Median(writeData), Median(writeMove), Median(fromImage),
      Median(copyFaults), Median(writeFaults), Median(dataFaults), Median(fromImageFaults), Median(floorFaults),
      Median(again), Median(againFaults));
  return 0;
}
