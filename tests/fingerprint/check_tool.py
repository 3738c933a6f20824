#!/usr/bin/env python3
"""Runs vreltest as a user would: exit codes and messages of the subcommands, the key's sources,
--json, bad input, and output that cannot be written (a full device, a closed stdout); natively
also licences for this machine, signed at test time by the fixture maker.
Arguments: native <vreltest> [--maker <make_licence_fixtures>], or wine <wine-run.sh> <vreltest.exe>."""
import json
import os
import re
import subprocess
import sys
import tempfile
import time

TOKEN = r"vfp1(-(x|[0-9a-f]{16}(\+[0-9a-f]{16})*)){5}\n"
COMMANDS = ("fingerprint", "match", "compare", "components", "licence")


def usage(args, message=r"[^\n]+"):
    """One line saying what is wrong, then the help of the subcommand it happened in."""
    command = args[0] + " " if args and args[0] in COMMANDS else ""
    return rf'vreltest: {message}\nRun "vreltest {command}--help" for the usage\.\n'


def run(command, args, stdout=subprocess.PIPE, close_stdout=False, stdin=b"", env=None):
    result = subprocess.run(command + args, input=stdin, stdout=stdout, stderr=subprocess.PIPE,
                            timeout=600, env={**os.environ, **(env or {})},
                            preexec_fn=(lambda: os.close(1)) if close_stdout else None)
    text = lambda data: (data or b"").decode(errors="replace").replace("\r\n", "\n")
    return result.returncode, text(result.stdout), text(result.stderr)


def clock_moves():
    """Whether faketime (Debian's, an LD_PRELOAD library) moves a program's clock 2 hours here."""
    try:
        out = subprocess.run(["faketime", "+2 hours", "date", "+%s"], capture_output=True, timeout=60)
        return abs(int(out.stdout) - time.time() - 7200) < 600
    except (OSError, ValueError, subprocess.TimeoutExpired):
        return False


def main():
    platform, *rest = sys.argv[1:]
    cut = rest.index("--maker") if "--maker" in rest else len(rest)
    command, maker = rest[:cut], rest[cut + 1:]
    failures = []
    os.environ.pop("VREL_FINGERPRINT_KEY", None)
    scratch = tempfile.mkdtemp()
    # A path the program can open: under Wine, the host's root is drive Z:.
    host = (lambda p: "Z:" + p.replace("/", "\\")) if platform == "wine" else (lambda p: p)

    def check(name, args, want_code, out=None, err=None, **how):
        code, stdout, stderr = run(command, args, **how)
        if code != want_code or (out and not re.fullmatch(out, stdout, re.S)) or \
                (err and not re.fullmatch(err, stderr, re.S)):
            failures.append(f"{name}: exit {code}, stdout {stdout[:300]!r}, stderr {stderr[:300]!r}")
        return stdout

    def key_file(name, data):
        path = os.path.join(scratch, name)
        with open(path, "wb") as f:
            f.write(data)
        return host(path)

    token = check("fingerprint", ["fingerprint", "--key", "app"], 0, TOKEN).strip()
    if not failures:  # every source of one key gives one token; another key shares no digest
        same = re.escape(token) + "\n"
        check("again", ["fingerprint", "--key", "app"], 0, same)
        check("key file, CRLF", ["fingerprint", "--key-file", key_file("crlf", b"app\r\n")], 0, same)
        check("key on stdin", ["fingerprint", "--key-file", "-"], 0, same, stdin=b"app\n")
        check("key variable", ["fingerprint"], 0, same, env={"VREL_FINGERPRINT_KEY": "app"})
        other = check("other key", ["fingerprint", "--key", "App"], 0, TOKEN).strip()
        if set(re.findall("[0-9a-f]{16}", token)) & set(re.findall("[0-9a-f]{16}", other)):
            failures.append("two keys share digests")
        check("compare itself", ["compare", token, token], 0, r".*result: same machine.*", "")
        check("wrong key", ["match", "--key", "App", token], 1,
              r".*result: different machine.*\nnote: [^\n]*another key[^\n]*\n", "")
        # Against its own token nothing differs; same machine when two strong ones are there.
        itself = lambda o, code: "differ" not in o["components"].values() and \
            code == (0 if o["strongMatches"] >= 2 else 1) == (0 if o["sameMachine"] else 1)
        for args, holds in (
                (["fingerprint", "--key", "app"], lambda o, code: o["token"] == token),
                (["components"], lambda o, code: len(o["components"]) == 5 and "hypervisor" in o and "environment" in o),
                (["match", "--key", "app", token], itself),
                (["match", "--key", "App", token], lambda o, code: code == 1 and o["everyComponentDiffers"]),
                (["compare", token, "vfp1-x-x-x-x-x"],
                 lambda o, code: code == 1 and not o["sameMachine"] and not o["everyComponentDiffers"])):
            code, stdout, _ = run(command, args + ["--json"])
            try:
                obj = json.loads(stdout)
                ok = stdout.count("\n") == 1 and obj["schema"] == 1 and holds(obj, code)
            except (ValueError, KeyError):
                ok = False
            if not ok:
                failures.append(f"--json {args[0]}: exit {code}, {stdout[:200]!r}")

    foreign = "vfp1-" + "-".join(["0123456789abcdef"] * 5)
    # Windows limits a command line to 32767 characters; Linux one argument to 128 KiB.
    huge = "vfp1-" + "a" * (100_000 if platform == "native" else 30_000)
    rows = [  # name, arguments, exit code, stdout, stderr
        ("version", ["--version"], 0, r"vreltest \d+\.\d+\.\d+\n", ""),
        ("help", ["--help"], 0,
         r"Prints this machine.*fingerprint.*match.*compare.*components.*VREL_FINGERPRINT_KEY.*", ""),
        ("fingerprint help", ["fingerprint", "--help"], 0,
         r".*--key-file PATH.*--key KEY.*Exit codes: 0 [^\n]*; 1 the output could not be written.*", ""),
        ("match help", ["match", "--help"], 0, r".*--key-file PATH.*Exit codes: 0 the same machine.*", ""),
        ("compare help", ["compare", "--help"], 0, r"(?!.*--key).*Exit codes: 0 the same machine.*", ""),
        ("components help", ["components", "--help"], 0, r".*Exit codes: 0 printed; 1 the output.*", ""),
        ("compare with a key", ["compare", "--key-file", "k", foreign, foreign], 2, "",
         usage(["compare"], "compare takes no key[^\n]*")),
        ("components", ["components"], 0,
         r"cpu: .+\nvolume: .+\nos-install: .+\nboard: .+\nnics: .+\nhypervisor: .+\n"
         r"container: \w+\nrights: .+\nprocess: (32|64)-bit( under WoW64)?\n", ""),
        ("another machine", ["match", "--key", "app", foreign], 1, r".*result: different machine.*", ""),
        ("foreign version", ["compare", foreign, "vfp7-x-x-x-x-x"], 2, "",
         r"vreltest: bad current token: token version 7 is not supported.*"),
    ]
    if maker:  # this machine's licences (this.lic valid, due.lic past its check-in), and others
        mine = check("key file", ["fingerprint", "--key-file", key_file("app", b"app")], 0, TOKEN)
        subprocess.run(maker + [scratch, mine.strip()], check=True)
        lic = lambda name: ["licence", os.path.join(scratch, name)]
        key = ["--key-file", key_file("app", b"app"), "--public-key-file"]
        with open(os.path.join(scratch, "signer.pub"), "rb") as f:  # CR LF, blank lines
            pub = key + [key_file("crlf.pub", b"\r\n\n" + f.read().replace(b"\n", b"\r\n"))]
        refused = lambda name: rf"not valid: {name}: [^\n]+\n"
        rows += [
            ("licence help", ["licence", "--help"], 0, r".*--public-key-file PATH.*--state.*", ""),
            ("valid", lic("this.lic") + pub, 0, r"valid: licence L-TEST-1 for Example Ltd\n", ""),
            ("valid, state made", lic("this.lic") + pub + ["--state", scratch + "/s"], 0, None, ""),
            ("valid, state read", lic("this.lic") + pub + ["--state", scratch + "/s"], 0, None, ""),
            ("check-in due", lic("due.lic") + pub, 1, refused("check-in-due"), ""),
            ("other application", lic("this.lic") + pub + ["--application", "x"], 1,
             refused("wrong-application"), ""),
            ("home machine's", lic("valid.lic") + pub, 1, refused("other-machine"), ""),
            ("untrusted key", lic("this.lic") + key + [os.path.join(scratch, "stranger.pub")], 1,
             refused("unknown-key"), ""),
            ("malformed", ["licence", key_file("x.lic", b"x")] + pub, 2, refused("malformed"), ""),
            ("issued now", lic("now.lic") + pub, 0, r"valid: [^\n]+\n", "")]
        if clock_moves():  # a server whose clock is ahead signs now.lic in a folder of its own
            ahead = os.path.join(scratch, "ahead")
            os.mkdir(ahead)
            asan = os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"  # preloaded first
            subprocess.run(["faketime", "+2 hours"] + maker + [ahead, mine.strip()], check=True,
                           env={**os.environ, "ASAN_OPTIONS": asan})
            rows.append(("signer's clock ahead", ["licence", os.path.join(ahead, "now.lic")] + key +
                         [os.path.join(ahead, "signer.pub")], 1, refused("not-yet-issued"), ""))
        else:
            print("SKIP signer's clock ahead: faketime does not move a program's clock here "
                  "(tools/setup.sh native installs Debian's faketime)")
        for args, code, reason in (  # --json: one object, "licence" null when unread
                (lic("this.lic") + pub, 0, "valid"), (lic("due.lic") + pub, 1, "check-in-due"),
                (lic("format2.lic") + pub, 2, "unsupported-format"),
                (lic("this.lic") + key + [key_file("bad.pub", b"key")], 2, "bad-public-key"),
                (["licence", key_file("big.lic", b"x" * 70_000)] + pub, 2, "too-large"),
                (["licence", key_file("nul.lic", b"\0")] + pub, 2, "not-text"),
                (["licence", key_file("x.lic", b"x")] + pub, 2, "malformed")):
            code_got, stdout, _ = run(command, args + ["--json"])
            try:
                o = json.loads(stdout)
                ok = (code_got, o["reason"], o["valid"]) == (code, reason, code == 0) and \
                    (o["licence"] is None) == (code == 2 and reason != "bad-public-key") and \
                    (o["licence"] is None or o["licence"]["features"] == ["export", "print"] and
                     o["licence"]["token"] == mine.strip() and o["licence"]["issued"] == "2025-01-01T00:00:00Z")
            except (ValueError, KeyError, TypeError):
                ok = False
            if stdout.count("\n") != 1 or not ok:
                failures.append(f"licence --json {reason}: exit {code_got}, {stdout[:300]!r}")
    for name, args, code, out, err in rows:
        check(name, args, code, out, err)
    # Bad input: one message, a usage hint, nothing on stdout.
    for args in (["fingerprint"], ["fingerprint", "--key", ""], ["match", "--key", "app"],
                 ["--frobnicate"], ["frobnicate"], ["components", "components"], ["--"],
                 ["fingerprint", "--frobnicate"],
                 ["match", "--key", "app", "--min-matches", "5", foreign], ["compare", foreign],
                 ["match", "--key", "app", huge], ["compare", foreign, "vfp1-\u00e9-x-x-x-x"],
                 ["fingerprint", "--key", "a", "--key-file", key_file("k", b"a")],
                 ["fingerprint", "--key-file", host(scratch)],
                 ["fingerprint", "--key-file", host(scratch + "/missing")],
                 ["fingerprint", "--key-file", key_file("empty", b"\n")],
                 ["fingerprint", "--key-file", key_file("big", b"k" * 10_000_000)],
                 ["licence", host(scratch), "--public-key-file", host(scratch), "--key", "k"],
                 ["licence", key_file("l", b""), "--public-key-file", host(scratch + "/missing"),
                  "--key", "k"], ["match", foreign],
                 ["licence", key_file("l", b""), "--public-key-file", key_file("p", b"")]):
        check(f"bad input {[a[:40] for a in args]}", args, 2, "", usage(args))
    check("empty key variable", ["fingerprint"], 2, "", usage(["fingerprint"]),
          env={"VREL_FINGERPRINT_KEY": ""})

    # Wine 8.0 reproduces both: /dev/full fails the write ("No space left on
    # device"), a closed descriptor 1 leaves no output handle ("Bad file descriptor").
    lost = r"vreltest: cannot write the report: .+\n"
    for args in ([], ["fingerprint", "--key", "app"], ["components", "--json"], ["--help"]):
        with open("/dev/full", "wb") as full:
            check(f"{args} to /dev/full", args, 1, None, lost, stdout=full)
        check(f"{args} to a closed stdout", args, 1, None, lost, stdout=None, close_stdout=True)

    for failure in failures:
        print("FAIL " + failure)
    print(f"{platform}: {len(failures)} checks failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
