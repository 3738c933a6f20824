#!/usr/bin/env python3
"""compare_builds.py <wine-run.sh> <vreltest.exe> <other vreltest.exe>: runs the two Windows
builds of vreltest (x64 and x86) on one Wine prefix and checks that they print the same report,
the same components (but the process line: bitness and WoW64 differ by design) and the same token
for one key. Exits 77 (skipped) when the other build is not there. Where i386 programs run under qemu-i386 (binfmt_misc), the 32-bit build sees qemu's
processor, so the processor's lines and token field are left out, and the output says so."""
import os, subprocess, sys

QEMU_ENTRY = "/proc/sys/fs/binfmt_misc/qemu-i386"
EMULATED = os.path.exists(QEMU_ENTRY) and open(QEMU_ENTRY).readline().strip() == "enabled"
KEY = "compare-builds-key"


def run(runner, exe, args):
    result = subprocess.run([runner, exe] + args, capture_output=True, text=True, timeout=600)
    if result.returncode:
        sys.exit("%s %s: exit code %d: %s" % (exe, args, result.returncode, result.stderr))
    return result.stdout.replace("\r\n", "\n")


def comparable(command, text):
    text = "\n".join(line for line in text.splitlines() if not line.startswith("process:"))
    if not EMULATED:
        return text.splitlines()
    if command == "fingerprint":  # vfp1-<cpu>-<volume>-...
        fields = text.strip().split("-")
        return ["-".join(fields[:1] + ["<cpu>"] + fields[2:])]
    cpu_lines = ("CPUID ", "cpu:", "hypervisor:")
    return [line for line in text.splitlines() if not line.startswith(cpu_lines)]


def main():
    runner, exe, other = sys.argv[1:4]
    if not os.path.exists(other):
        print("compare_builds: skipped, %s is not built" % other)
        return 77
    if EMULATED:
        print("compare_builds: i386 programs run under qemu-i386 here; left out: the CPUID "
              "report line, the cpu and hypervisor components and the token's cpu field")
    differ = 0
    for command, args in [("report", []), ("components", ["components"]),
                          ("fingerprint", ["fingerprint", "--key", KEY])]:
        mine, theirs = (comparable(command, run(runner, e, args)) for e in (exe, other))
        print("---- %s\n%s" % (command, "\n".join(mine)))
        if mine != theirs:
            differ += 1
            print("DIFFERS from %s:\n%s" % (other, "\n".join(theirs)))
    print("compare_builds: %s" % ("FAILED" if differ else "both builds give the same answers"))
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
