#!/usr/bin/env python3
"""Runs vreltest as a user would: exit codes and messages of the subcommands, bad input, and
output that cannot be written (a full device, a closed stdout). Arguments: native <vreltest>,
or wine <wine-run.sh> <vreltest.exe>."""
import os
import re
import subprocess
import sys

TOKEN = r"vfp1(-(x|[0-9a-f]{16}(\+[0-9a-f]{16})*)){5}\n"


def run(command, args, stdout=subprocess.PIPE, close_stdout=False):
    result = subprocess.run(command + args, stdout=stdout, stderr=subprocess.PIPE, timeout=600,
                            preexec_fn=(lambda: os.close(1)) if close_stdout else None)
    text = lambda data: (data or b"").decode(errors="replace").replace("\r\n", "\n")
    return result.returncode, text(result.stdout), text(result.stderr)


def main():
    platform, command = sys.argv[1], sys.argv[2:]
    failures = []

    def check(name, args, want_code, out=None, err=None, **how):
        code, stdout, stderr = run(command, args, **how)
        if code != want_code or (out and not re.fullmatch(out, stdout, re.S)) or \
                (err and not re.fullmatch(err, stderr, re.S)):
            failures.append(f"{name}: exit {code}, stdout {stdout[:300]!r}, stderr {stderr[:300]!r}")
        return stdout

    token = check("fingerprint", ["fingerprint", "--key", "app"], 0, TOKEN).strip()
    if not failures:  # another key shares no digest, so it matches as another machine does
        check("fingerprint again", ["fingerprint", "--key", "app"], 0, re.escape(token) + "\n")
        other = check("other key", ["fingerprint", "--key", "App"], 0, TOKEN).strip()
        shared = set(re.findall("[0-9a-f]{16}", token)) & set(re.findall("[0-9a-f]{16}", other))
        if shared:
            failures.append(f"two keys share digests {shared}")
    foreign = "vfp1-" + "-".join(["0123456789abcdef"] * 5)
    usage = r'vreltest: .+\nRun "vreltest --help" for the usage\.\n'
    rows = [  # name, arguments, exit code, stdout, stderr
        ("version", ["--version"], 0, r"vreltest \d+\.\d+\.\d+\n", ""),
        ("help", ["--help"], 0, r"Prints this machine.*fingerprint.*match.*components.*", ""),
        ("components", ["components"], 0,
         r"cpu: .+\nvolume: .+\nos-install: .+\nboard: .+\nnics: .+\nhypervisor: .+\n", ""),
        ("another machine", ["match", "--key", "app", foreign], 1, r".*result: different machine.*", ""),
        ("empty key", ["fingerprint", "--key", ""], 2, "", r"vreltest: the key is empty\n.*"),
        # The parser's messages are the token tests' business; here only that they reach the user.
        ("foreign version", ["match", "--key", "app", "vfp7-x-x-x-x-x"], 2, "",
         r"vreltest: bad token: token version 7 is not supported.*"),
    ]
    for name, args, code, out, err in rows:
        check(name, args, code, out, err)
    for args in (["fingerprint"], ["match", "--key", "", token], ["match", "--key", "app"],
                 ["--frobnicate"], ["frobnicate"], ["components", "components"],
                 ["match", "--key", "app", "--min-matches", "5", token]):
        check(f"usage {args}", args, 2, "", usage)
    # Against its own token every component matches or is unavailable; the
    # machine is the same when two strong ones are available.
    code, out, _ = run(command, ["match", "--key", "app", token])
    states = re.findall(r"^(cpu|volume|os-install|board|nics): (\w+)", out, re.M)
    strong = sum(state == "match" for name, state in states if name != "cpu")
    if len(states) != 5 or ("differ" in dict(states).values()) or code != (0 if strong >= 2 else 1):
        failures.append(f"own token: exit {code}, {out!r}")

    # Wine 8.0 reproduces both: /dev/full fails the write ("No space left on
    # device"), a closed descriptor 1 leaves no output handle ("Bad file descriptor").
    lost = r"vreltest: cannot write the report: .+\n"
    for args in ([], ["fingerprint", "--key", "app"], ["components"], ["--help"]):
        with open("/dev/full", "wb") as full:
            check(f"{args} to /dev/full", args, 1, None, lost, stdout=full)
        check(f"{args} to a closed stdout", args, 1, None, lost, stdout=None, close_stdout=True)

    for failure in failures:
        print("FAIL " + failure)
    print(f"{platform}: {len(failures)} checks failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
