#!/usr/bin/env python3
"""check_report.py native <vreltest> | wine <wine-run.sh> <vreltest.exe>: runs vreltest and
checks its report against this machine read apart: the frame; CPUID packed from /proc/cpuinfo;
drive C's serial (natively statvfs("/").f_fsid's low 32 bits, under Wine what `vol` prints) and
its fold; one card per Ethernet-type interface of `ip -j addr` (no loopback or other link types)
in interface-index order, with its MAC, first IPv4 address (0.0.0.0 for none) and, natively, its
name (Wine's WMI gives no "Caption"); "MAC" the first card's, "IP address" the first card
address outside 127/8 in network byte order."""
import json, os, re, subprocess, sys

LABELS = ["CPUID", "MAC", "IP address", "WIN Vol SN", "Short WIN Vol SN"]
CARD = re.compile(r"Card #(\d+):\n\tName: (.*)\n\tIP:   (\S+)\n\tMAC:  (\S+)\n\n")


def expected_signature():
    first_cpu = open("/proc/cpuinfo").read().split("\n\n")[0].splitlines()
    info = {k.strip(): v.strip() for k, _, v in (l.partition(":") for l in first_cpu)}
    vendor = info["vendor_id"]
    signature = ord(vendor[0]) << 16
    if vendor in ("GenuineIntel", "AuthenticAMD"):  # base family and model; type 0
        family, model, stepping = (int(info[k]) for k in ("cpu family", "model", "stepping"))
        signature |= (min(family, 15) << 4 | model & 15) << 8 | (stepping & 15) << 4
    return "%x" % signature


def expected_serial(platform, runner):
    if platform == "native":
        return os.statvfs("/").f_fsid & 0xFFFFFFFF
    out = subprocess.run(runner + ["cmd", "/c", "vol", "c:"], capture_output=True, text=True).stdout
    match = re.search(r"([0-9A-F]{4})-([0-9A-F]{4})", out, re.I)
    return int(match.group(1) + match.group(2), 16) if match else -1


def host_cards():
    """[(name, mac, dotted IPv4)] of the Ethernet-type interfaces in index order."""
    links = json.loads(subprocess.run(["ip", "-j", "addr", "show"], capture_output=True,
                                      text=True, check=True).stdout)
    ether = [l for l in sorted(links, key=lambda l: l["ifindex"]) if l.get("link_type") == "ether"]
    ipv4 = lambda l: [a["local"] for a in l.get("addr_info", []) if a.get("family") == "inet"]
    return [(l["ifname"], l.get("address", "").lower(), (ipv4(l) + ["0.0.0.0"])[0]) for l in ether]


def check(report, platform, serial, host):
    lines = report.split("\n")
    pad = [label + " " * (40 - len(label)) + ": " for label in LABELS]
    head = lines[:2] + [line[:len(p)] for line, p in zip(lines[2:7], pad)] + lines[7:8]
    if head != ["Machine specific info:", ""] + pad + ["Netcard info (new API):"]:
        return ["the report's frame or labels"]
    value = dict((label, line[len(p):]) for label, line, p in zip(LABELS, lines[2:7], pad))
    tail = "\n".join(lines[8:])
    cards = [m.groups() for m in CARD.finditer(tail)]
    numbered = [c[0] for c in cards] == [str(i + 1) for i in range(len(cards))]
    errors = [] if numbered and CARD.sub("", tail) == "" else ["card blocks: numbering or text"]
    first_ip = next((h[2] for h in host if not h[2].startswith("127.")), None)
    octets = bytes(int(x) for x in first_ip.split(".")) if first_ip else b""
    want = {"CPUID": expected_signature(), "MAC": host[0][1] if host else "N/A",
            "IP address": "%x" % int.from_bytes(octets, "little") if first_ip else "N/A",
            "WIN Vol SN": "%x" % serial,
            "Short WIN Vol SN": "%x" % ((serial ^ serial >> 16) % 65536)}
    errors += ["%s: %r, want %r" % (k, value[k], want[k]) for k in LABELS if value[k] != want[k]]
    got = [(name, mac, ip) for _, name, ip, mac in cards]
    if platform != "native":  # no names to compare under Wine
        got, host = [c[1:] for c in got], [h[1:] for h in host]
    if got != host:
        errors.append("cards %s, the host's Ethernet interfaces by index %s" % (got, host))
    return errors


def main():
    platform, runner = sys.argv[1], sys.argv[2:-1]
    result = subprocess.run(runner + [sys.argv[-1]], capture_output=True, text=True, timeout=600)
    report = result.stdout.replace("\r\n", "\n")
    errors = ["exit code %d: %s" % (result.returncode, result.stderr)] if result.returncode else []
    errors += check(report, platform, expected_serial(platform, runner), host_cards())
    print(report + "---- end of report ----\n" + "\n".join("FAIL: " + e for e in errors))
    print("check_report: %s" % ("FAILED" if errors else "the report agrees with this machine"))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
