#!/usr/bin/env python3
"""Runs vreltest and checks its report against this machine, read independently.

  check_report.py native  <vreltest>
  check_report.py wine    <wine-run.sh> <vreltest.exe>

Checks the exact frame of the report, that the CPUID line is the signature
packed from this processor's leaf 0 and leaf 1 (read from /proc/cpuinfo), and
that the volume lines are drive C's serial as the platform reports it: the
low 32 bits of statvfs("/").f_fsid natively, and what Wine's own `vol`
command prints under Wine. The card blocks and the MAC and IP address lines
are checked against the host's interfaces by check_cards.py.
"""
import os
import re
import subprocess
import sys

from check_cards import check_cards

LABELS = ["CPUID", "MAC", "IP address", "WIN Vol SN", "Short WIN Vol SN"]


def fail(message, report=None):
    print("FAIL: " + message)
    if report is not None:
        print("---- report ----\n" + report + "---- end ----")
    sys.exit(1)


def cpuinfo():
    fields = {}
    with open("/proc/cpuinfo") as f:
        for line in f:
            if not line.strip():
                break  # the first processor is enough
            key, _, value = line.partition(":")
            fields[key.strip()] = value.strip()
    return fields


def expected_signature():
    info = cpuinfo()
    vendor = info["vendor_id"]
    first = ord(vendor[0])
    signature = (first | (0xFFFFFF00 if first >= 0x80 else 0)) << 16 & 0xFFFFFFFF
    if vendor in ("GenuineIntel", "AuthenticAMD"):
        family = int(info["cpu family"])
        base_family = 15 if family >= 15 else family
        base_model = int(info["model"]) & 0xF
        stepping = int(info["stepping"]) & 0xF
        # The processor-type bits (Intel only) are 0 on every non-OverDrive part.
        signature |= ((base_family << 4 | base_model) << 8) | (stepping << 4)
    return signature


def expected_serial(platform, runner):
    if platform == "native":
        return os.statvfs("/").f_fsid & 0xFFFFFFFF
    out = subprocess.run(runner + ["cmd", "/c", "vol", "c:"], capture_output=True, text=True,
                         timeout=600).stdout
    match = re.search(r"([0-9A-Fa-f]{4})-([0-9A-Fa-f]{4})", out)
    if not match:
        fail("Wine's vol command printed no serial: " + repr(out))
    return int(match.group(1) + match.group(2), 16)


def parse(report):
    lines = report.split("\n")
    if lines[0] != "Machine specific info:" or lines[1] != "":
        fail("heading", report)
    values = {}
    for label, line in zip(LABELS, lines[2:7]):
        prefix = label + " " * (40 - len(label)) + ": "
        if not line.startswith(prefix):
            fail("label line for %r: %r" % (label, line), report)
        values[label] = line[len(prefix):]
    if lines[7] != "Netcard info (new API):":
        fail("card heading", report)
    rest = "\n".join(lines[8:])
    if rest not in ("", "Retrieval failed!\n"):
        block = r"Card #(\d+):\n\tName: [^\n]*\n\tIP:   \d+\.\d+\.\d+\.\d+\n\tMAC:  (?:[0-9a-f]{2}:){5}[0-9a-f]{2}\n\n"
        numbers = re.findall(block, rest + "\n")
        if re.sub(block, "", rest + "\n") not in ("\n", "") or \
                numbers != [str(i + 1) for i in range(len(numbers))]:
            fail("card blocks", report)
    return values


def main():
    platform = sys.argv[1]
    runner = sys.argv[2:-1]
    result = subprocess.run(runner + [sys.argv[-1]], capture_output=True, text=True, timeout=600)
    report = result.stdout.replace("\r\n", "\n")
    if result.returncode != 0:
        fail("exit code %d; stderr: %s" % (result.returncode, result.stderr), report)
    values = parse(report)

    hex_value = re.compile(r"^(0|[1-9a-f][0-9a-f]*)$")
    for label in ("CPUID", "WIN Vol SN", "Short WIN Vol SN"):
        if not hex_value.match(values[label]):
            fail("%s is not bare lowercase hex: %r" % (label, values[label]), report)
    if int(values["CPUID"], 16) != expected_signature():
        fail("CPUID %s, expected %x" % (values["CPUID"], expected_signature()), report)
    serial = expected_serial(platform, runner)
    if int(values["WIN Vol SN"], 16) != serial:
        fail("WIN Vol SN %s, expected %x" % (values["WIN Vol SN"], serial), report)
    folded = (serial ^ (serial >> 16)) & 0xFFFF
    if int(values["Short WIN Vol SN"], 16) != folded:
        fail("Short WIN Vol SN %s, expected %x" % (values["Short WIN Vol SN"], folded), report)
    # Wine's WMI gives no "Caption", so card names are compared natively only.
    errors = check_cards(report, check_names=(platform == "native"))
    if errors:
        fail("cards: " + "; ".join(errors), report)
    print(report, end="")
    print("check_report: frame, CPUID, volume serial and card lines agree with this machine")


if __name__ == "__main__":
    main()
