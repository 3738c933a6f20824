// The platform seam: every call the library makes to the operating system or
// the processor goes through the table returned by Current(). The real table
// calls Windows (platform_win32.cpp) or this library's Linux stand-in
// (platform_posix.cpp, com_posix.cpp). Tests install a table of their own to
// script CPUID leaves, environment values, volume answers and COM failures.
#pragma once

#include <cstdint>

#include "vrel/platform/com_api.h"
#include "vrel/platform/identity_sources.h"
#include "vrel/platform/win_api.h"

namespace vrel::platform {

// Each entry laid out as the Windows prototype it mirrors (kept by hand):
// clang-format off
struct Api {
  // ---- kernel32 ----
  // Same as GetEnvironmentVariableA.
  DWORD (*GetEnvironmentVariableA)(const char* name, char* buffer, DWORD size);
  // Same as GetVolumeInformationA.
  BOOL (*GetVolumeInformationA)(const char* root, char* volumeName, DWORD volumeNameSize,
                                DWORD* serialNumber, DWORD* maxComponentLength,
                                DWORD* fileSystemFlags, char* fileSystemName,
                                DWORD fileSystemNameSize);
  // Same as GetLastError.
  DWORD (*GetLastError)();
  // Same as GetVersion.
  DWORD (*GetVersion)();
  // Same as Sleep.
  void (*Sleep)(DWORD milliseconds);

  // ---- processor ----
  // Executes CPUID for `leaf` (sub-leaf 0); regs receives EAX, EBX, ECX, EDX.
  void (*Cpuid)(std::uint32_t leaf, std::uint32_t regs[4]);
  // Inverts the EFLAGS ID bit (21) and reports whether the change held:
  // non-zero when the processor has the CPUID instruction.
  int (*EflagsIdToggles)();
  // Same as RDTSC: the 64-bit time-stamp counter.
  std::uint64_t (*Rdtsc)();

  // ---- ole32 ----
  // Same as CoInitializeEx.
  HRESULT (*CoInitializeEx)(void* reserved, DWORD coInit);
  // Same as CoInitializeSecurity.
  HRESULT (*CoInitializeSecurity)(PSECURITY_DESCRIPTOR descriptor, LONG authnServiceCount,
                                  SOLE_AUTHENTICATION_SERVICE* authnServices, void* reserved1,
                                  DWORD authnLevel, DWORD impLevel, void* authList,
                                  DWORD capabilities, void* reserved3);
  // Same as CoCreateInstance.
  HRESULT (*CoCreateInstance)(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                              void** object);
  // Same as CoSetProxyBlanket.
  HRESULT (*CoSetProxyBlanket)(IUnknown* proxy, DWORD authnService, DWORD authzService,
                               OLECHAR* serverPrincipalName, DWORD authnLevel, DWORD impLevel,
                               RPC_AUTH_IDENTITY_HANDLE authInfo, DWORD capabilities);
  // Same as CoUninitialize.
  void (*CoUninitialize)();

  // ---- machine identity sources (identity_sources.h) ----
  // Same as QueryMachineRegistryValue: a value under HKEY_LOCAL_MACHINE in the
  // registry view `view` (KEY_WOW64_64KEY, KEY_WOW64_32KEY or 0).
  LONG (*QueryMachineRegistryValue)(const char* subKey, DWORD view, const char* name, DWORD* type,
                                    BYTE* data, DWORD* size);
  // Same as GetSystemFirmwareTable.
  UINT (*GetSystemFirmwareTable)(DWORD provider, DWORD tableId, void* buffer, DWORD size);
  // Same as ReadSmallFile: reads a file whole, 0 or errno.
  int (*ReadSmallFile)(const char* path, char* buffer, std::size_t* size);
  // Same as ListNetInterfaces: the network interfaces' raw facts.
  DWORD (*ListNetInterfaces)(std::vector<NetInterfaceFacts>* interfaces);

  // ---- the process's rights and build (identity_sources.h) ----
  // Same as ProcessIsElevated: whether the process has full rights.
  BOOL (*ProcessIsElevated)(BOOL* elevated);
  // Same as CurrentProcessIsWow64: IsWow64Process for this process.
  BOOL (*CurrentProcessIsWow64)(BOOL* wow64);
};
// clang-format on

// The table in use: the real platform unless a test installed another.
const Api& Current();

// The real platform of this build.
const Api& Real();

// Makes *api the table in use (nullptr restores the real one) and returns the
// table that was in use. The table must outlive its installation. Meant for
// tests; not for use while other threads call the library.
const Api* Install(const Api* api);

}  // namespace vrel::platform
