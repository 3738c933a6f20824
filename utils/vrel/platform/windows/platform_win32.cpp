// The real platform on Windows: kernel32, ole32 and the processor.
#ifdef _WIN32

#include "vrel/platform/platform.h"
#include "vrel/platform/processor.h"

namespace vrel::platform {

const Api& Real() {
  // Each entry forwards to the Windows function of its name; the lambdas give
  // the table one calling convention whatever the system's is.
  static const Api api = {
      [](const char* name, char* buffer, DWORD size) -> DWORD {
        return ::GetEnvironmentVariableA(name, buffer, size);
      },
      [](const char* root, char* volumeName, DWORD volumeNameSize, DWORD* serial,
         DWORD* maxComponentLength, DWORD* flags, char* fsName, DWORD fsNameSize) -> BOOL {
        return ::GetVolumeInformationA(root, volumeName, volumeNameSize, serial,
                                       maxComponentLength, flags, fsName, fsNameSize);
      },
      []() -> DWORD { return ::GetLastError(); },
      []() -> DWORD { return ::GetVersion(); },
      [](DWORD milliseconds) { ::Sleep(milliseconds); },
      ExecuteCpuid,
      ToggleEflagsId,
      ReadTsc,
      [](void* reserved, DWORD coInit) -> HRESULT { return ::CoInitializeEx(reserved, coInit); },
      [](PSECURITY_DESCRIPTOR descriptor, LONG count, SOLE_AUTHENTICATION_SERVICE* services,
         void* reserved1, DWORD authnLevel, DWORD impLevel, void* authList, DWORD capabilities,
         void* reserved3) -> HRESULT {
        return ::CoInitializeSecurity(descriptor, count, services, reserved1, authnLevel,
                                      impLevel, authList, capabilities, reserved3);
      },
      [](REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object) -> HRESULT {
        return ::CoCreateInstance(clsid, outer, context, iid, object);
      },
      [](IUnknown* proxy, DWORD authnService, DWORD authzService, OLECHAR* principal,
         DWORD authnLevel, DWORD impLevel, RPC_AUTH_IDENTITY_HANDLE authInfo,
         DWORD capabilities) -> HRESULT {
        return ::CoSetProxyBlanket(proxy, authnService, authzService, principal, authnLevel,
                                   impLevel, authInfo, capabilities);
      },
      []() { ::CoUninitialize(); },
      QueryMachineRegistryValue,
      ReadSystemFirmwareTable,
      ReadSmallFile,
      ListNetInterfaces,
      ProcessIsElevated,
      CurrentProcessIsWow64,
  };
  return api;
}

}  // namespace vrel::platform

#endif  // _WIN32
