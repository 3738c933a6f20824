#include "vrel/vreltest/report.h"

#include <cstdio>
#include <cstring>

#include "vrel/identity/machine_info.h"

namespace vrel {
namespace {

constexpr int kLabelColumns = 40;

// The label, then blanks so that ": " starts at column 41; a label of 40
// characters or more gets none.
void WriteLabel(const char* label, std::ostream& out) {
  out << label;
  const int padding = kLabelColumns - static_cast<int>(std::strlen(label));
  for (int i = 0; i < padding; ++i) out << ' ';
  out << ": ";
}

}  // namespace

void PrintHexLine(const char* label, int missing, std::uint32_t value, std::ostream& out) {
  WriteLabel(label, out);
  if (missing != 0) {
    out << "N/A";
  } else {
    out << std::hex << value << std::dec;
  }
  out << std::endl;
}

void PrintSignedHexLine(const char* label, int missing, std::int32_t value, std::ostream& out) {
  PrintHexLine(label, missing, static_cast<std::uint32_t>(value), out);
}

void PrintShortHexLine(const char* label, int missing, std::uint16_t value, std::ostream& out) {
  PrintHexLine(label, missing, value, out);
}

void PrintMacLine(const char* label, int missing, MacAddress mac, std::ostream& out) {
  WriteLabel(label, out);
  if (missing != 0) {
    out << "N/A";
  } else {
    out << std::hex;
    WriteMac(out, mac);
    out << std::dec;
  }
  out << std::endl;
}

std::ostream& WriteMac(std::ostream& out, const MacAddress& mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac.bytes[0], mac.bytes[1],
                mac.bytes[2], mac.bytes[3], mac.bytes[4], mac.bytes[5]);
  return out << text;
}

void PrintMac(const MacAddress& mac, std::ostream& out) { WriteMac(out, mac); }

void PrintDottedIp(std::uint32_t ip, std::ostream& out) {
  out << (ip >> 24) << '.' << ((ip >> 16) & 0xFF) << '.' << ((ip >> 8) & 0xFF) << '.'
      << (ip & 0xFF);
}

void PrintCardBlock(int index, const NetCardInfo& card, std::ostream& out) {
  out << "Card #" << index + 1 << ":\n";
  out << "\tName: " << card.name << '\n';
  out << "\tIP:   ";
  PrintDottedIp(card.ip, out);
  out << '\n';
  out << "\tMAC:  ";
  PrintMac(card.mac, out);
  out << "\n\n";
}

void PrintReport(MachineInfo& collector, std::ostream& out) {
  MachineIds ids;
  collector.Enumerate();
  const int status = collector.GetIds(ids);

  out << "Machine specific info:\n\n";
  PrintHexLine("CPUID", status & MISSING_CPU_SIGNATURE, ids.cpuSignature, out);
  PrintMacLine("MAC", status & MISSING_MAC, ids.mac, out);
  PrintSignedHexLine("IP address", status & MISSING_IP, static_cast<std::int32_t>(ids.ip), out);
  PrintHexLine("WIN Vol SN", status & MISSING_VOLUME_SERIAL, ids.volumeSerial, out);
  PrintShortHexLine("Short WIN Vol SN", status & MISSING_VOLUME_SERIAL, ids.shortVolumeSerial, out);

  out << "Netcard info (new API):\n";
  NetCardList list(kCardListGrowStep);
  if (!collector.CopyNetCards(list)) {
    out << "Retrieval failed!\n";
  } else {
    for (int i = 0; i < list.GetCount(); ++i) PrintCardBlock(i, *list.GetItem(i), out);
  }
  out.flush();
}

void PrintReport(std::ostream& out) {
  MachineInfo collector;
  PrintReport(collector, out);
}

}  // namespace vrel
