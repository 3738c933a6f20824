// Pure decoding for the fingerprint's components: raw bytes and register
// values in, canonical texts out. Nothing here touches the platform, so every
// rule is tested on any host with fabricated input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vrel/fingerprint/components.h"
#include "vrel/platform/identity_sources.h"

namespace vrel::fingerprint {

// An available component with one canonical text.
ComponentValue Available(std::string text);
// An unavailable component with `reason`.
ComponentValue Unavailable(std::string reason);

// The cpu text from the vendor string of leaf 0 (12 characters), leaf 1 EAX
// and the brand leaves 0x80000002-4 (48 characters, or nullptr when the
// processor has none).
std::string CpuText(const char vendor[12], std::uint32_t leaf1Eax, const char* brand48);

// 8 upper-case hex digits.
std::string VolumeText(std::uint32_t serial);

// The os-install component from a GUID or machine-id as stored ("{...}",
// dashes, any case, padded with white space or NULs): 32 lower-case hex
// digits; unavailable as "placeholder" (placeholders.h) or "malformed".
ComponentValue InstallIdComponent(const char* data, std::size_t size);

// The board component from the 16 bytes of an SMBIOS UUID field. From SMBIOS
// 2.6 on, the first three fields are stored little-endian; earlier versions
// store all bytes in order. Unavailable as "placeholder" (placeholders.h).
ComponentValue SmbiosUuidComponent(const std::uint8_t uuid[16], int major, int minor);

// The board component from a UUID as text (Linux product_uuid): unavailable
// as "placeholder" (placeholders.h) or "malformed".
ComponentValue UuidComponent(const char* data, std::size_t size);

// The system UUID from a raw SMBIOS table as GetSystemFirmwareTable('RSMB')
// returns it (8-byte header: used-20-calling-method, major, minor, DMI
// revision, table length; then the structures). Returns the component: the
// UUID, or unavailable with the reason (malformed table, no type 1 record,
// placeholder).
ComponentValue BoardFromRawSmbios(const std::uint8_t* data, std::size_t size);

// The nics component: the permanent addresses of physical adapters (hardware
// and connector both set), sorted and unique. An adapter counts with its
// permanent address when that is a 6-byte unicast non-zero address, else with
// its current address when the system says that one is the permanent one
// (assignType 0). Unavailable ("no physical adapter") when none counts.
ComponentValue NicsFromInterfaces(const std::vector<platform::NetInterfaceFacts>& interfaces);

// What a Linux system shows of the container a process runs in. A text is
// empty when its file is absent or unreadable.
struct ContainerMarkers {
  bool dockerEnv = false;        // /.dockerenv exists (Docker creates it)
  bool containerEnv = false;     // /run/.containerenv exists (Podman creates it)
  std::string managerName;       // /run/systemd/container: the container manager's name
  std::string initCgroups;       // /proc/1/cgroup: the control groups of process 1
  std::string kernelRelease;     // /proc/sys/kernel/osrelease
};

// "docker", "podman", "lxc", "wsl", "other" or "none". A container's own
// markers come first, so a container inside WSL reads as that container.
std::string ContainerKind(const ContainerMarkers& markers);

}  // namespace vrel::fingerprint
