// opt.dat against the real file system: existence rules, sharing, safe replacement.
#include "app/settings_file.h"

#include <gtest/gtest.h>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/handles.h"
#include "common/win_error.h"
#include "common/win_text.h"
#include "test_support.h"

namespace snapvik {
namespace {

using testing::Exists;
using testing::ErrorOf;
using testing::ListFolder;
using testing::ReadBytes;
using testing::TestFolder;
using testing::WriteBytes;

TEST(SettingsFile, LivesBesideTheProgram) {
  const std::wstring module = ModuleFileName();
  EXPECT_EQ(SettingsFilePath(), module.substr(0, module.rfind(L'\\') + 1) + L"opt.dat");
  EXPECT_EQ(ProgramFolder().back(), L'\\');
}

TEST(SettingsFile, ExistsForFilesButNotFoldersOrMissingPaths) {
  TestFolder folder;
  WriteBytes(folder / L"opt.dat", "x");
  ::CreateDirectoryW((folder / L"dir.dat").c_str(), nullptr);
  EXPECT_TRUE(SettingsFileExists(folder / L"opt.dat"));
  EXPECT_FALSE(SettingsFileExists(folder / L"dir.dat"));
  EXPECT_FALSE(SettingsFileExists(folder / L"missing.dat"));
  EXPECT_FALSE(SettingsFileExists(folder / L"no\\such\\opt.dat"));
  EXPECT_FALSE(SettingsFileExists(folder / L"bad<name>.dat"));
}

TEST(SettingsFile, ReadingSharesWithReadersOnly) {
  TestFolder folder;
  const std::wstring path = folder / L"opt.dat";
  WriteBytes(path, "abc");
  EXPECT_EQ(ReadWholeFile(path), "abc");
  {
    UniqueFile writer(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    const std::wstring message = ErrorOf<EFOpenError>([&] { ReadWholeFile(path); });
    EXPECT_EQ(message.rfind(L"Cannot open file \"" + path + L"\". ", 0), 0u) << message;
    EXPECT_GT(message.size(), path.size() + 21);  // the system's reason follows
  }
  UniqueFile reader(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(ReadWholeFile(path), "abc");
}

TEST(SettingsFile, AFileLargerThanSettingsCanBeCannotBeOpened) {
  TestFolder folder;
  const std::wstring path = folder / L"opt.dat";
  std::string bytes(kLargestSettingsFile, '\\');
  bytes.replace(bytes.size() - 4, 4, "\r\n0\n");
  WriteBytes(path, bytes);
  EXPECT_TRUE(ReadWholeFile(path) == bytes);
  WriteBytes(path, bytes + "A");
  const std::wstring message = ErrorOf<EFOpenError>([&] { ReadWholeFile(path); });
  EXPECT_EQ(message, L"Cannot open file \"" + path + L"\". The file is too large for a settings file");
}

TEST(SettingsFile, ReplacementIsWholeAndLeavesNoTemporaryFile) {
  TestFolder folder;
  const std::wstring path = folder / L"opt.dat";
  WriteBytes(path, std::string(5000, 'x'));
  ReplaceFileSafely(path, "new\r\n");
  EXPECT_EQ(ReadBytes(path), "new\r\n");
  EXPECT_EQ(ListFolder(folder.Path()), (std::vector<std::wstring>{L"opt.dat"}));
}

TEST(SettingsFile, AFolderInTheWayIsReportedWithTheFullPathAndNothingIsLeft) {
  TestFolder folder;
  const std::wstring path = folder / L"opt.dat";
  ::CreateDirectoryW(path.c_str(), nullptr);
  const std::wstring message = ErrorOf<EFCreateError>([&] { ReplaceFileSafely(path, "x"); });
  EXPECT_EQ(message.rfind(L"Cannot create file \"" + path + L"\". ", 0), 0u) << message;
  EXPECT_NE(message.back(), L'.');
  EXPECT_EQ(ListFolder(folder.Path()), (std::vector<std::wstring>{L"opt.dat"}));
}

TEST(SettingsFile, AMissingFolderIsReportedWithTheAbsolutePath) {
  TestFolder folder;
  wchar_t current[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, current);
  ::SetCurrentDirectoryW(folder.Path().c_str());
  const std::wstring message = ErrorOf<EFCreateError>([&] { ReplaceFileSafely(L"gone\\opt.dat", "x"); });
  ::SetCurrentDirectoryW(current);
  EXPECT_EQ(message.rfind(L"Cannot create file \"" + folder.Path() + L"gone\\opt.dat\". ", 0), 0u) << message;
}

TEST(SettingsFile, AFileHeldOpenIsNotReplacedAndKeepsItsBytes) {
  TestFolder folder;
  const std::wstring path = folder / L"opt.dat";
  WriteBytes(path, "old");
  UniqueFile holder(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  EXPECT_NE(ErrorOf<EFCreateError>([&] { ReplaceFileSafely(path, "new"); }), L"(no error)");
  holder.reset();
  EXPECT_EQ(ReadBytes(path), "old");
  EXPECT_EQ(ListFolder(folder.Path()).size(), 1u);
}

TEST(SettingsFile, AReadOnlyFileIsNotReplacedAndKeepsItsMark) {
  TestFolder folder;
  const std::wstring path = folder / L"opt.dat";
  WriteBytes(path, "old");
  ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  const std::wstring message = ErrorOf<EFCreateError>([&] { ReplaceFileSafely(path, "new"); });
  EXPECT_EQ(message, L"Cannot create file \"" + path + L"\". " + SystemErrorText(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadBytes(path), "old");
  EXPECT_TRUE(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ListFolder(folder.Path()).size(), 1u);
}

TEST(FileBeside, WithoutReplaceAnExistingNameIsKept) {
  TestFolder folder;
  WriteBytes(folder / L"a.bin", "first");
  FileBeside file(folder / L"a.bin");
  file.WriteBuffer("second", 6);
  EXPECT_FALSE(file.MoveTo(folder / L"a.bin", FileBeside::IfTaken::Keep));
  EXPECT_TRUE(file.MoveTo(folder / L"b.bin", FileBeside::IfTaken::Keep));
  EXPECT_EQ(ReadBytes(folder / L"a.bin"), "first");
  EXPECT_EQ(ReadBytes(folder / L"b.bin"), "second");
  EXPECT_EQ(ListFolder(folder.Path()).size(), 2u);
}

TEST(FileBeside, ALargeWriteArrivesByteForByteAfterSmallOnes) {
  TestFolder folder;
  std::string pixels(3 * 256 * 1024 + 4093, '\0');  // several passages and a ragged end
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<char>(i * 7 + i / 4099);
  FileBeside file(folder / L"d.bin");
  file.WriteBuffer("BM", 2);
  file.WriteBuffer(pixels.data(), pixels.size());
  file.WriteBuffer("end", 3);
  // Copied on the way, in steps the copy can count on.
  const auto inverted = [](void* to, const void* from, size_t count) {
    for (size_t i = 0; i < count; ++i) static_cast<char*>(to)[i] = static_cast<char>(~static_cast<const char*>(from)[i]);
  };
  file.WriteCopied(pixels.data(), pixels.size(), inverted);
  file.WriteCopied("ab", 2, inverted);
  ASSERT_TRUE(file.MoveTo(folder / L"d.bin", FileBeside::IfTaken::Keep));
  std::string copied = pixels + "ab";
  for (char& c : copied) c = static_cast<char>(~c);
  EXPECT_TRUE(ReadBytes(folder / L"d.bin") == "BM" + pixels + "end" + copied);
}

TEST(FileBeside, AnAbandonedFileIsRemoved) {
  TestFolder folder;
  std::wstring temporary;
  {
    FileBeside file(folder / L"c.bin");
    file.WriteBuffer("partial", 7);
    temporary = file.TemporaryName();
    EXPECT_TRUE(Exists(temporary));
  }
  EXPECT_FALSE(Exists(temporary));
  EXPECT_TRUE(ListFolder(folder.Path()).empty());
}

TEST(SettingsEncoding, TheProcessCodePageRoundTripsOrFallsBackToUtf8) {
  const SystemAnsiCodec ansi;
  const settings::Settings plain{L"C:\\Shots\\", false, true, false, L"A"};
  EXPECT_EQ(settings::EncodeSettings(plain, ansi), "C:\\Shots\\\r\n0\r\n1\r\n0\r\nA\r\n");
  // Neither 1251 nor 1252 holds both Greek and Cyrillic.
  const settings::Settings mixed{L"C:\\\x03A9\x0416\\", false, false, false, L"A"};
  EXPECT_EQ(settings::EncodeSettings(mixed, ansi).substr(0, 3), "\xEF\xBB\xBF");
}

}  // namespace
}  // namespace snapvik
