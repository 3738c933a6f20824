#include "fake_machine.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>
#include <stdexcept>

namespace vrel::test {
namespace {

FakeMachine* current = nullptr;

DWORD GetEnvironmentVariableAFake(const char* name, char* buffer, DWORD size) {
  FakeMachine& m = FakeMachine::Current();
  const auto found = m.environment.find(name);
  if (found == m.environment.end()) return m.lastError = ERROR_ENVVAR_NOT_FOUND, 0;
  const std::string& value = found->second;
  if (value.size() >= size) return static_cast<DWORD>(value.size() + 1);
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  return static_cast<DWORD>(value.size());
}

BOOL GetVolumeInformationAFake(const char* root, char*, DWORD, DWORD* serial, DWORD*, DWORD*,
                               char*, DWORD) {
  FakeMachine& m = FakeMachine::Current();
  if (std::strcmp(root, "C:\\") != 0 || !m.volumeSerial) {
    return m.lastError = ERROR_PATH_NOT_FOUND, FALSE;
  }
  *serial = *m.volumeSerial;
  return TRUE;
}

void CpuidFake(std::uint32_t leaf, std::uint32_t regs[4]) {
  const CpuidTable& table = FakeMachine::Current().cpuid;
  const auto found = table.find(leaf);
  for (int i = 0; i < 4; ++i) regs[i] = found == table.end() ? 0 : found->second[i];
}

std::uint64_t RdtscFake() {
  FakeMachine& m = FakeMachine::Current();
  if (m.tscReadings.empty()) return 0;
  const std::size_t i = static_cast<std::size_t>(m.tscReads++);
  return m.tscReadings[i < m.tscReadings.size() ? i : m.tscReadings.size() - 1];
}

}  // namespace

CpuidRegs VendorLeaf(const char vendor[12], std::uint32_t maxLeaf) {
  CpuidRegs regs{maxLeaf, 0, 0, 0};
  std::memcpy(&regs[1], vendor, 4);      // EBX
  std::memcpy(&regs[3], vendor + 4, 4);  // EDX
  std::memcpy(&regs[2], vendor + 8, 4);  // ECX
  return regs;
}

FakeMachine::FakeMachine() : api(platform::Real()) {
  if (current != nullptr) throw std::logic_error("one FakeMachine at a time");
  current = this;
  api.GetEnvironmentVariableA = GetEnvironmentVariableAFake;
  api.GetVolumeInformationA = GetVolumeInformationAFake;
  api.GetLastError = [] { return Current().lastError; };
  api.GetVersion = [] { return Current().version; };
  api.Sleep = [](DWORD ms) { Current().sleeps.push_back(ms); };
  api.Cpuid = CpuidFake;
  api.EflagsIdToggles = [] { return Current().hasCpuid ? 1 : 0; };
  api.Rdtsc = RdtscFake;
  previous_ = platform::Install(&api);
}

FakeMachine::~FakeMachine() {
  platform::Install(previous_);
  current = nullptr;
}

FakeMachine& FakeMachine::Current() {
  if (current == nullptr) throw std::logic_error("no FakeMachine installed");
  return *current;
}

bool UnderWine() {
#ifdef _WIN32
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace vrel::test
