// The vreltest report: one block of labelled machine identifiers, then one
// block per network card. Every printer writes to `out` (standard output in
// the tool).
#pragma once

#include <cstdint>
#include <iostream>

#include "vrel/identity/net_card.h"

namespace vrel {

// Label lines: the label, spaces up to column 40, ": ", then "N/A" when
// `missing` is non-zero or else the value, and a flushing line end. Hex
// values are lowercase, without prefix or leading zeros.
void PrintHexLine(const char* label, int missing, std::uint32_t value,
                  std::ostream& out = std::cout);
// As PrintHexLine, for the bit pattern of a signed value (never a minus sign).
void PrintSignedHexLine(const char* label, int missing, std::int32_t value,
                        std::ostream& out = std::cout);
void PrintShortHexLine(const char* label, int missing, std::uint16_t value,
                       std::ostream& out = std::cout);
// As PrintHexLine, with the value written by WriteMac.
void PrintMacLine(const char* label, int missing, MacAddress mac, std::ostream& out = std::cout);

// Writes the six bytes as two lowercase hex digits each, joined by ":"
// (always 17 characters, such as 00:1a:2b:3c:4d:5e). Returns `out`.
std::ostream& WriteMac(std::ostream& out, const MacAddress& mac);
void PrintMac(const MacAddress& mac, std::ostream& out = std::cout);

// Writes an IPv4 address held in host form (first octet most significant)
// as dotted decimal, such as 192.168.1.10.
void PrintDottedIp(std::uint32_t ip, std::ostream& out = std::cout);

// Writes the block of card `index` (numbered from 1 in the text).
void PrintCardBlock(int index, const NetCardInfo& card, std::ostream& out = std::cout);

class MachineInfo;

// The whole report from `collector`: enumerates (if not yet done), writes the
// identifier block and one block per card, or "Retrieval failed!" when the
// enumeration failed.
void PrintReport(MachineInfo& collector, std::ostream& out = std::cout);

// The report of this machine, with a collector of its own.
void PrintReport(std::ostream& out = std::cout);

}  // namespace vrel
