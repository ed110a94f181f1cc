// Configuration of the emulated machine outside the registry (native build
// only): files and drives, environment, version, code pages, locale, token,
// shell folders, process start and program resources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/WinApi.h"

namespace emul {

enum class Arch { Windows32, Windows64 };

// 64-bit Windows runs the program as a WOW64 process: registry views, file
// system redirection, IsWow64Process and the WOW64 environment all follow.
// Switching puts the environment back to that machine's defaults, so set
// variables after the architecture.
void SetArch(Arch arch);
Arch GetArch();

void SetVersion(os::DWORD major, os::DWORD minor, os::DWORD build, os::BYTE productType,
                std::u16string_view servicePack = u"");

// ANSI code page seen by GetACP, CP_ACP conversions and
// GetLocaleInfoW(LOCALE_IDEFAULTANSICODEPAGE). 1252 and 932 are supported.
void SetCodePage(os::UINT codePage);
void SetLocaleSeparators(char16_t date, char16_t time);
// GetUserDefaultUILanguage answer; 1033 (English, United States) after a reset.
void SetUILanguage(os::LANGID language);

void SetEnv(std::u16string_view name, std::u16string_view value);
void UnsetEnv(std::u16string_view name);

// Drive letter -> host folder. Lookups below it are case-insensitive per
// component. A not-ready drive answers ERROR_NOT_READY.
void MapDrive(char16_t letter, const std::filesystem::path& hostFolder);
void SetDriveNotReady(char16_t letter, bool notReady);
// Maps C: to hostFolder and lays out the folders a fresh 64-bit Windows 7
// holds, spelled as Windows spells them: Windows\System32, Windows\SysWOW64,
// Windows\Fonts, Program Files, Program Files (x86) with their Common Files,
// ProgramData, Users\root with its Start Menu\Programs. Folders already
// there in any case are kept as they are. Only for a scratch folder of the
// caller's own: a folder that holds a user's files is mapped with MapDrive,
// which creates nothing.
void MapStandardSystemDrive(const std::filesystem::path& hostFolder);
// Host path for a Windows path as a 64-bit program sees it (no
// redirection); empty when the drive is not mapped.
std::filesystem::path HostPath(std::u16string_view windowsPath);
// A file that opens with a sharing violation, as one held by another program
// (the path as a 64-bit program names it, like HostPath).
void SetFileLocked(std::u16string_view windowsPath, bool locked);

// File, search and token handles open now (not closed with CloseHandle or
// FindClose), for leak checks.
std::size_t OpenHandleCount();

// GetModuleFileNameW(nullptr, ...) answer, e.g. u"C:\\Tallowmend\\tallowmend.exe".
void SetModuleFileName(std::u16string_view path);
void SetShellFolder(int csidl, std::u16string_view path);

// Token privileges: held or not, enabled or not.
void SetPrivilege(std::u16string_view name, bool held, bool enabled);
bool PrivilegeEnabled(std::u16string_view name);

// Process start and shell open, in call order.
std::vector<std::string> WinExecLog();
std::vector<std::u16string> ShellExecuteLog();

// Program resources, as the build embeds them in tallowmend.exe.
void RegisterResource(std::u16string_view name, os::LPCWSTR type, std::string bytes);

// IsWow64Process absent from kernel32 (systems before XP SP2).
void SetIsWow64ProcessAvailable(bool available);

}  // namespace emul
