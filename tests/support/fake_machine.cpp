#include "fake_machine.h"

#include <cstring>
#include <stdexcept>

namespace vrel::test {
namespace {

FakeMachine* current = nullptr;

DWORD FakeGetEnvironmentVariableA(const char* name, char* buffer, DWORD size) {
  FakeMachine& m = FakeMachine::Current();
  const auto found = m.environment.find(name);
  if (found == m.environment.end()) {
    m.lastError = ERROR_ENVVAR_NOT_FOUND;
    return 0;
  }
  const std::string& value = found->second;
  if (value.size() >= size) return static_cast<DWORD>(value.size() + 1);
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  return static_cast<DWORD>(value.size());
}

BOOL FakeGetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize,
                               DWORD* serial, DWORD*, DWORD*, char* fsName, DWORD fsNameSize) {
  FakeMachine& m = FakeMachine::Current();
  m.volumeQueries.emplace_back(root);
  if (root != m.volumeRoot || !m.volumeSerial) {
    m.lastError = m.volumeError;
    return FALSE;
  }
  if (volumeName != nullptr && volumeNameSize > 0) volumeName[0] = '\0';
  if (fsName != nullptr && fsNameSize > 0) fsName[0] = '\0';
  *serial = *m.volumeSerial;
  return TRUE;
}

void FakeCpuid(std::uint32_t leaf, std::uint32_t regs[4]) {
  const FakeMachine& m = FakeMachine::Current();
  const auto found = m.cpuid.find(leaf);
  for (int i = 0; i < 4; ++i) regs[i] = found == m.cpuid.end() ? 0 : found->second[i];
}

std::uint64_t FakeReadTsc() {
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
  environment["SYSTEMROOT"] = "C:\\WINDOWS";
  api.GetEnvironmentVariableA = FakeGetEnvironmentVariableA;
  api.GetVolumeInformationA = FakeGetVolumeInformationA;
  api.GetLastError = [] { return FakeMachine::Current().lastError; };
  api.GetVersion = [] { return FakeMachine::Current().version; };
  api.Sleep = [](DWORD ms) { FakeMachine::Current().sleeps.push_back(ms); };
  api.Cpuid = FakeCpuid;
  api.EflagsIdToggles = [] { return FakeMachine::Current().hasCpuid ? 1 : 0; };
  api.ReadTimeStampCounter = FakeReadTsc;
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

}  // namespace vrel::test
