// The scripted machines and the licence the fixture files in data/ hold
// (written by make_licence_fixtures from these, read by the tests on every
// target): a volume serial and one adapter's permanent MAC, the two strong
// components every target reads alike; the other sources fail.
#pragma once

#include <cstdint>
#include <string>

#include "fake_machine.h"
#include "vrel/licence/licence_file.h"

namespace vrel::test {

constexpr char kLicenceAppKey[] = "licence test key";
constexpr char kLicenceApp[] = "vrel test application";
constexpr std::int64_t kIssued = 1735689600;  // 2025-01-01T00:00:00Z
constexpr std::int64_t kDay = 86400;

// The machine a fixture licence is for (home) or another one.
inline void ScriptLicenceMachine(FakeMachine& m, bool home) {
  static std::uint8_t lastMacByte;
  lastMacByte = home ? 0x01 : 0x02;
  m.volumeSerial = home ? 0x1C2D3E4Fu : 0x5A6B7C8Du;
  m.api.QueryMachineRegistryValue = [](const char*, DWORD, const char*, DWORD*, BYTE*, DWORD*) {
    return LONG{2};  // ERROR_FILE_NOT_FOUND
  };
  m.api.GetSystemFirmwareTable = [](DWORD, DWORD, void*, DWORD) { return UINT{0}; };
  m.api.ReadSmallFile = [](const char*, char*, std::size_t*) { return 2; };  // ENOENT
  m.api.ListNetInterfaces = [](std::vector<platform::NetInterfaceFacts>* out) {
    *out = {{true, true, {0x00, 0x1b, 0x21, 0x0a, 0x0b, lastMacByte}, {}, -1}};
    return DWORD{0};
  };
}

// The fixture licence's fields (the token added by the fixture maker).
inline LicenceFields FixtureFields() {
  LicenceFields fields;
  fields.application = kLicenceApp;
  fields.licenceId = "L-TEST-1";
  fields.licensee = "Example Ltd";
  fields.features = {"export", "print"};
  fields.machineId = "42";
  fields.issued = kIssued;
  fields.checkIn = kIssued + 90 * kDay;
  fields.expires = kIssued + 365 * kDay;
  return fields;
}

}  // namespace vrel::test
