#!/usr/bin/env python3
"""vrel-registry as a user runs it: bad arguments and lines, missing and newer databases, output
that cannot be written, several enrollers at once, a kill mid-batch; then the C interface through
the Python example; licences from keygen to a file vreltest accepts on this machine.
Usage: check_registry.py <vrel-registry> <libvrel_registry.so> <examples/python> <vreltest>"""
import ctypes
import json
import os
import random
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading

TOOL, LIB, EXAMPLES, VRELTEST = (os.path.abspath(a) if a != "none" else a for a in sys.argv[1:5])
failures = []


def expect(what, ok):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def token(rng):
    return "vfp1-" + "-".join("%016x" % rng.getrandbits(64) for _ in range(5))


def run(db, args, stdin="", stdout=subprocess.PIPE, **options):
    return subprocess.run([TOOL, "--db", db] + args, input=stdin.encode("latin-1"), stdout=stdout,
                          stderr=subprocess.PIPE, **options)


def dump(path):
    with sqlite3.connect(path) as db:
        return list(db.iterdump())


def feed(pipe, lines):
    try:
        pipe.write(("\n".join(lines) + "\n").encode())
        pipe.flush()
    except BrokenPipeError:
        pass


def results(out):
    return [json.loads(line) for line in out.decode().splitlines()]


tmp = tempfile.mkdtemp(prefix="vrel-registry-")
rng = random.Random(7)
db = os.path.join(tmp, "fleet.db")
known = [token(rng) for _ in range(3)]
expect("enroll makes the database", run(db, ["enroll"] + known).returncode == 0)
before = dump(db)

# Bad arguments: (arguments, stdin, exit code, text on standard error); nothing may change.
overlong = "vfp1-" + "0" * 2000
for args, stdin, code, message in [
        (["--shared-at", "1", "stats"], "", 2, "--shared-at must be an integer of at least 2"),
        (["--history", "x", "stats"], "", 2, "--history must be an integer of at least 1"),
        (["--colour", "stats"], "", 2, "unknown option --colour"),
        (["--db"], "", 2, "--db needs a value"),
        (["--db=", "stats"], "", 2, "--db needs a URI"),
        (["--db=sqlite:", "stats"], "", 3, "no database path given"),
        (["--shared-at=2", "--", "show", "x"], "", 2, "a machine id must be an integer"),
        ([], "", 2, "no command given"),
        (["frobnicate"], "", 2, "unknown command frobnicate"),
        (["show"], "", 2, "show takes one machine id"),
        (["stats", "1"], "", 2, "stats takes no operand"),
        (["remove", "0"], "", 2, "a machine id must be an integer of at least 1"),
        (["remove", "99"], "", 2, "no machine 99"),
        (["show", "99"], "", 2, "no machine 99"),
        (["--history", "+5", "stats"], "", 2, "--history must be"),
        (["--history= 5", "stats"], "", 2, "--history must be"),
        (["--shared-at=", "stats"], "", 2, "--shared-at must be"),
        (["--shared-at", "99999999999999999999", "stats"], "", 2, "--shared-at must be"),
        (["enroll"], "\n vfp1-zz\n\nvfp2-1-2\n%s\n\xff\xfe\n\x01\n\x00\n" % overlong, 2, ""),
        (["identify", "vfp1-" + "0" * 16], "", 2, ""),
        (["licence"], "", 2, "licence needs a command"),
        (["licence", "create", "--name", "x"], "", 2, "licence create needs --seats N"),
        (["licence", "create", "--seats", "0"], "", 2, "--seats must be a whole number of at least 1"),
        (["licence", "create", "--seats=1", "--expires", "2027-02-30T00:00:00Z"], "", 2, "--expires takes a time"),
        (["licence", "create", "--seats=1", "--colour", "red"], "", 2, "licence create has no option --colour"),
        (["licence", "create", "--seats=1"], "", 2, "no application named: give --application NAME"),
        (["licence", "create", "--seats=1", "--application", " padded"], "", 2, "application"),
        (["licence", "show", "7"], "", 2, "no licence 7"),
        (["licence", "revoke", "x"], "", 2, "a licence id must be an integer"),
        (["activate", "--licence", "K", known[0]], "", 2, "activate needs --signing-key PATH"),
        (["deactivate", "--licence", "K"], "", 2, "deactivate takes --machine ID or one TOKEN"),
        (["deactivate", "--licence", "K", "--machine", "1", known[0]], "", 2, "not both"),
        (["deactivate", "--machine", "1"], "", 2, "no licence key: give --licence KEY"),
        (["licence", "create", "--", "--seats"], "", 2, "licence create takes no operand"),
        (["licence", "create", "--seats=1", "--name"], "", 2, "--name needs a value"),
        (["--signing-key=", "stats"], "", 2, "--signing-key needs a path"),
        (["licence", "create", "--seats=1000000001", "--application=a"], "", 2, "1 to 1000000000 seats"),
        (["licence", "create", "--seats=1", "--application", "a" * 201], "", 2, "at most 200 characters"),
        (["licence", "create", "--seats=1", "--application=a", "--feature="], "", 2, "1 to 64 characters"),
        (["licence", "create", "--seats=1", "--application=a"] + ["--feature=f"] * 65, "", 2, "at most 64 features"),
        (["licence", "create", "--seats=1", "--application=a", "--feature=a,b"], "", 2, "feature"),
        (["licence", "create", "--seats=1", "--application=a", "--expires=1969-01-01T00:00:00Z"], "", 2, "--expires"),
        (["licence", "create", "--seats=1", "--ttl", "99999999999999999999"], "", 2, "--ttl must be a whole number"),
        (["deactivate", "--licence-file", "/nonexistent", "--machine", "1"], "", 2, "cannot read a licence key"),
        (["deactivate", "--licence", "K", "--machine", "x"], "", 2, "--machine must be a whole number"),
        (["deactivate", "--licence", "K", "vfp1-zz"], "", 2, "the token: ")]:
    r = run(db, args, stdin)
    err = r.stderr.decode()
    expect("%s: exit %d, got %d" % (args, code, r.returncode), r.returncode == code)
    expect("%s: says %r, said %r" % (args, message, err), message in err and err.count("\n") <= 1)
expect("bad arguments and lines leave the database as it was", dump(db) == before)
lines = results(run(db, ["enroll"], "\n vfp1-zz\n\nvfp2-1-2\n%s\n\xff\xfe\n" % overlong).stdout)
expect("each bad line answered by its line number and reason: %s" % lines,
       [(x["line"], x["error"][:22]) for x in lines] ==
       [(2, "the token has only 1 o"), (4, "token version 2 is not"),
        (5, "the line is longer tha"), (6, "the line is not text")])

# Missing database (only enroll creates one), newer schema, output that cannot be written.
missing = os.path.join(tmp, "missing.db")
for args in (["identify", known[0]], ["stats"], ["show", "1"], ["remove", "1"]):
    r = run(missing, args)
    expect("%s on a missing database: exit 3" % args, r.returncode == 3 and b"no registry" in r.stderr)
expect("nothing created", not os.path.exists(missing))
with open(os.devnull, "w") as _, open("/dev/full", "w") as full:
    r = run(db, ["identify"] + known, stdout=full)
    expect("unwritable output: exit 3, one line", r.returncode == 3 and r.stderr.count(b"\n") == 1)
newer = os.path.join(tmp, "newer.db")
run(newer, ["enroll", known[0]])
with sqlite3.connect(newer) as con:
    con.execute("PRAGMA user_version=3")
r = run(newer, ["enroll", "vfp1-zz"])
expect("a newer schema refused, 3 over 2: %s" % r.stderr,
       r.returncode == 3 and b"schema 3, newer than" in r.stderr and r.stdout == b"")

# Several processes enroll the same new tokens at once into a new database: each machine once.
shared_db = os.path.join(tmp, "together.db")
batch = [token(rng) for _ in range(200)]
procs = [subprocess.Popen([TOOL, "--db", shared_db, "enroll"], stdin=subprocess.PIPE,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE) for _ in range(4)]
outs = [p.communicate("\n".join(batch).encode()) for p in procs]
per_token = {}
for p, (out, err) in zip(procs, outs):
    expect("concurrent enroller exit 0: %s" % err, p.returncode == 0)
    for x in results(out):
        per_token.setdefault(x["line"], set()).add(x["machine"])
expect("each token one machine across the enrollers",
       len(per_token) == 200 and all(len(m) == 1 for m in per_token.values()))
stats = json.loads(run(shared_db, ["stats"]).stdout)
expect("200 machines, not more: %s" % stats["machines"], stats["machines"] == 200)

# show, remove; a registry exported and imported keeps every machine, then refuses them again;
# bad import lines are answered by line.
shown = json.loads(run(shared_db, ["show", "7"]).stdout)
expect("show: %s" % shown, shown["machine"] == 7 and len(shown["history"]) == 1)
expect("remove", json.loads(run(shared_db, ["remove", "7"]).stdout) == {"schema": 1, "removed": 7, "tokens": 1})
renewed = batch[0][:-16] + "%016x" % 5  # a new card: the same machine, a second token
expect("renewed", results(run(shared_db, ["enroll", renewed]).stdout)[0]["verdict"] == "same")
cards = [batch[1][:-16] + "%016x" % n for n in range(20)]  # a full history: a line of 2,500 bytes
expect("a card swapped 20 times", {x["machine"] for x in results(run(shared_db, ["enroll"] + cards).stdout)} == {2})
exported = run(shared_db, ["export"]).stdout
moved = os.path.join(tmp, "moved.db")
r = run(moved, ["import"], exported.decode())
expect("import: %s" % r.stdout, r.returncode == 0 and json.loads(r.stdout)["imported"] == 199)
expect("the import exports as it was", run(moved, ["export"]).stdout == exported)
expect("an id already there stops the import", run(moved, ["import"], exported.decode()).returncode == 3)
machine = json.loads(exported.decode().splitlines()[0])
bad = [dict(machine, firstSeen="yesterday"), dict(machine, machine=0), dict(machine, history=[]),
       dict(machine, lastSeen=5), dict(machine, history=[dict(machine["history"][0], lastSeen="x")])]
r = run(os.path.join(tmp, "bad-import.db"), ["import"], 'x\n{"schema":2}\n \n{"schema":1,"machine":"1"}\n%s\n%s\n%s\n'
        % (overlong, "\n".join(json.dumps(m) for m in bad), "[" * ((4 << 20) + 1)))
expect("bad import lines: %s" % r.stdout[-300:], r.returncode == 2 and [x.get("line") for x in results(r.stdout)]
       == [1, 2, 4, 5, 6, 7, 8, 9, 10, 11, None] and b"too long for a machine" in r.stdout)
r = subprocess.run([TOOL, "enroll", known[0]], env=dict(os.environ, VREL_REGISTRY_DB=tmp), stdout=subprocess.PIPE,
                   stderr=subprocess.PIPE)
expect("VREL_REGISTRY_DB names the database; a folder is none: %s" % r.stderr,
       r.returncode == 3 and b"cannot open " + tmp.encode() in r.stderr)
# A digest three machines hold is listed by stats; a database of another program is refused.
board = "%016x" % 3
trio = ["vfp1-%016x-%016x-%016x-%s-%016x" % (1, 10 * i, 10 * i + 1, board, 10 * i + 2) for i in range(1, 4)]
stats = json.loads(run(os.path.join(tmp, "trio.db"), ["enroll"] + trio).returncode == 0 and
                   run(os.path.join(tmp, "trio.db"), ["stats"]).stdout)
expect("stats lists the shared board: %s" % stats, stats["shared"] ==
       [{"component": "board", "digest": board, "machines": 3}])

# Operators' mistakes: (what, URI, arguments, input, exit code, message). Nothing is made in the
# folder, and another program's database stays byte for byte as it was, with nothing left beside it.
other = os.path.join(tmp, "other.db")
with sqlite3.connect(other) as con:
    con.execute("CREATE TABLE notes(text)")
with open(other, "rb") as f:
    other_bytes = f.read()
for what, uri, args, stdin, code, message in [
        ("a misspelled scheme", "sqllite:x.db", ["enroll", known[0]], "", 2, 'unknown registry URI scheme "sqllite:"'),
        ("SQLite's own URI form", "file:x.db", ["enroll", known[0]], "", 2, 'unknown registry URI scheme "file:"'),
        ("a scheme of every allowed sign", "my+sq.l-ite:x.db", ["stats"], "", 2, 'scheme "my+sq.l-ite:"'),
        ("no scheme: a path with a colon", "9:x.db", ["stats"], "", 3, "no registry database at 9:x.db"),
        ("no scheme: a path starting with a colon", ":x.db", ["stats"], "", 3, "no registry database at :x.db"),
        ("another program's database: enroll", other, ["enroll", known[0]], "", 3, "is not a vrel registry database"),
        ("another program's database: import", other, ["import"], exported.decode(), 3, "is not a vrel registry"),
        ("another program's database: stats", other, ["stats"], "", 3, "is not a vrel registry database")]:
    before_files = sorted(os.listdir(tmp))
    r = run(uri, args, stdin, cwd=tmp)
    err = r.stderr.decode()
    expect("%s: exit %d, said %r" % (what, r.returncode, err), r.returncode == code and message in err and
           err.count("\n") == 1)
    with open(other, "rb") as f:
        expect("%s: nothing changed" % what, f.read() == other_bytes and sorted(os.listdir(tmp)) == before_files)
# A truncated export imports nothing; the whole one then imports into the same registry.
again_db = os.path.join(tmp, "again.db")
r = run(again_db, ["import"], exported.decode()[:-40])
expect("a truncated export: exit 2, nothing imported: %s" % r.stdout[-60:], r.returncode == 2 and
       results(r.stdout)[-1] == {"schema": 2, "imported": 0, "licences": 0, "seats": 0} and b'"machines":0' in run(again_db, ["stats"]).stdout)
expect("then the whole export imports", run(again_db, ["import"], exported.decode()).returncode == 0 and
       run(again_db, ["export"]).stdout == exported)
# A registry in a folder nobody may write (see also the suite's read-only test): the commands
# that only read still answer.
ro_dir = os.path.join(tmp, "readonly")
os.mkdir(ro_dir)
with open(moved, "rb") as f, open(os.path.join(ro_dir, "fleet.db"), "wb") as g:
    g.write(f.read())
os.chmod(ro_dir, 0o555)
os.chmod(tmp, 0o755)
nobody = (lambda: (os.setgid(65534), os.setuid(65534))) if os.getuid() == 0 else None
for args in (["identify", batch[3]], ["show", "1"], ["stats"], ["export"]):
    r = run(os.path.join(ro_dir, "fleet.db"), args, preexec_fn=nobody)
    expect("%s on a read-only registry: %s" % (args, r.stderr), r.returncode == 0 and r.stdout)
os.chmod(ro_dir, 0o755)
# --help, -h and --version answer on standard output.
for args, text in ((["--help"], b"usage: vrel-registry"), (["-h"], b"Commands:"), (["enroll", "-h"], b"enroll"),
                   (["--version"], b"vrel-registry ")):
    r = subprocess.run([TOOL] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    expect("%s: exit 0 and %s" % (args, text), r.returncode == 0 and r.stdout.startswith(text) or text in r.stdout)
with open("/dev/full", "w") as full:
    expect("help to a full output: exit 3", subprocess.run([TOOL, "--help"], stdout=full, stderr=subprocess.DEVNULL).returncode == 3)

# The licence signing key: keygen and pubkey open no registry; a key others may read is refused.
key, key_db = os.path.join(tmp, "signing.pem"), os.path.join(tmp, "untouched.db")
made, again, printed = (run(key_db, [c, key]) for c in ("keygen", "keygen", "pubkey"))
expect("keygen: mode 0600, the public key text last, printed again by pubkey",
       made.returncode == 0 and os.stat(key).st_mode & 0o777 == 0o600 and
       made.stdout.splitlines()[-1] == printed.stdout.strip() and printed.stdout.startswith(b"vrel-p256-"))
os.chmod(key, 0o604)
r = run(key_db, ["pubkey", key])
expect("never replaced; others may read it: exit 2 saying so (%s)" % r.stderr, again.returncode == 2 and
       r.returncode == 2 and b"too open" in r.stderr and not os.path.exists(key_db))

# Killed mid-batch after the 300th printed result, with thousands of tokens still coming.
kill_db = os.path.join(tmp, "killed.db")
tokens = [token(rng) for _ in range(6000)]
proc = subprocess.Popen([TOOL, "--db", kill_db, "enroll"], stdin=subprocess.PIPE,
                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
proc.stdin.write(("\n".join(tokens[:100]) + "\n").encode())
proc.stdin.flush()
printed = [json.loads(proc.stdout.readline()) for _ in range(100)]
feeder = threading.Thread(target=lambda: feed(proc.stdin, tokens[100:]), daemon=True)
feeder.start()
printed += [json.loads(proc.stdout.readline()) for _ in range(200)]
proc.send_signal(signal.SIGKILL)
proc.wait()
with sqlite3.connect(kill_db) as con:
    expect("integrity check after the kill", con.execute("PRAGMA integrity_check").fetchone()[0] == "ok")
again = results(run(kill_db, ["enroll"] + tokens[:300]).stdout)
expect("every printed result is stored: re-enrolling finds the same machines",
       [(x["verdict"], x["machine"]) for x in again] == [("same", x["machine"]) for x in printed])

# Licences: keygen, a licence of one seat, this machine activated through every way of giving
# the key, its file accepted by vreltest here; a second machine refused, then let in.
app_key = os.path.join(tmp, "app.key")
with open(app_key, "w") as f:
    f.write("check-registry-application-key\n")
here = subprocess.run([VRELTEST, "fingerprint", "--key-file", app_key], stdout=subprocess.PIPE).stdout.decode().strip()
signing, pub, seat_db = (os.path.join(tmp, n) for n in ("seller.pem", "seller.pub", "seats.db"))
r = subprocess.run([TOOL, "keygen", signing], stdout=subprocess.PIPE)
with open(pub, "w") as f:
    f.write(r.stdout.decode().splitlines()[-1] + "\n")
created = results(run(seat_db, ["licence", "create", "--seats", "1", "--application", "Example Writer",
                                "--feature", "export", "--name", "Example Ltd"]).stdout)[0]
key_file = os.path.join(tmp, "licence.key")
with open(key_file, "w") as f:
    f.write(created["key"].lower() + "\r\n")
other = token(rng)
signed = ["--signing-key", signing]
for how, args, env in [("--licence", ["--licence", created["key"]], {}),
                       ("--licence-file", ["--licence-file", key_file], {}),
                       ("VREL_LICENCE_KEY", [], {"VREL_LICENCE_KEY": created["key"]})]:
    r = subprocess.run([TOOL, "--db", seat_db] + signed + ["activate"] + args, input=(here + "\n").encode(),
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=dict(os.environ, **env))
    answer = results(r.stdout)[0]
    expect("activate with %s: exit 0, one seat held: %s" % (how, r.stderr),
           r.returncode == 0 and answer["activated"] and answer["seats"] == {"used": 1, "total": 1})
lic_file = os.path.join(tmp, "this.lic")
with open(lic_file, "w") as f:
    f.write(answer["licenceFile"])
r = subprocess.run([VRELTEST, "licence", lic_file, "--public-key-file", pub, "--key-file", app_key,
                    "--application", "Example Writer"], stdout=subprocess.PIPE)
expect("vreltest accepts the file on this machine: %s" % r.stdout, r.returncode == 0)
r = run(seat_db, signed + ["activate", "--licence", created["key"], other])
expect("a second machine: no seat, exit 1, nothing stored",
       r.returncode == 1 and results(r.stdout)[0]["reason"] == "no-seat" and
       b'"machines":1' in run(seat_db, ["stats"]).stdout)
r = run(seat_db, signed + ["activate", "--licence", created["key"].replace("-", "")[:-1] + "U", here])
expect("a key one symbol off is an unknown key, not echoed: %s" % r.stdout,
       r.returncode == 1 and results(r.stdout)[0]["reason"] == "unknown-licence" and created["key"][:11].encode() not in r.stdout + r.stderr)
expect("deactivate by token frees the seat", run(seat_db, ["deactivate", "--licence-file", key_file, here]).returncode == 0)
r = run(seat_db, signed + ["activate", "--licence", created["key"], other, "vfp1-zz"])
expect("then the other machine activates; a bad line makes it exit 2", r.returncode == 2 and results(r.stdout)[0]["activated"])
shown = results(run(seat_db, ["licence", "show", str(created["licence"])]).stdout)[0]
expect("show: the seat, no key: %s" % shown, shown["seats"] == {"used": 1, "total": 1} and "key" not in shown
       and [m["machine"] for m in shown["machines"]] == [2])
expect("remove frees the machine's seat", run(seat_db, ["remove", "2"]).returncode == 0 and
       results(run(seat_db, ["licence", "list"]).stdout)[0]["seats"]["used"] == 0)
revoked = results(run(seat_db, ["licence", "revoke", str(created["licence"])]).stdout)[0]
r = run(seat_db, signed + ["activate", "--licence", created["key"], here])
expect("revoked: refused as unknown", revoked["revoked"] and results(r.stdout)[0]["reason"] == "unknown-licence")
# Licences move through export and import with their seats and audit rows; lines that name a
# licence or machine the export lacks, or a licence line altered, import nothing.
floating = results(run(seat_db, ["licence", "create", "--seats", "2", "--lease", "3600"]).stdout)[0]
run(seat_db, signed + ["activate", "--licence", floating["key"], here])
expect("a floating seat shows its lease's end",
       results(run(seat_db, ["licence", "show", str(floating["licence"])]).stdout)[0]["machines"][0]["leaseEnds"])
moved = run(seat_db, ["export"]).stdout
r = run(os.path.join(tmp, "seats-copy.db"), ["import"], moved.decode())
expect("licences move: %s" % r.stdout, r.returncode == 0 and results(r.stdout)[-1]["licences"] == 2 and
       run(os.path.join(tmp, "seats-copy.db"), ["export"]).stdout == moved)
lines = moved.decode().splitlines()
for n, (what, kept) in enumerate([
        ("seats of machines not among the lines", [x for x in lines if '"schema":1' not in x]),
        ("audit rows of licences not among the lines", [x for x in lines if '"licence":{' not in x and '"seat"' not in x]),
        ("a licence of no seats", [x.replace('"seats":2,', '"seats":0,') for x in lines]),
        ("a line of no kind", lines + ['{"schema":2,"other":{}}', '{"schema":3}', '[]']),
        ("a machine of no sequence", [x.replace('"sequence":', '"sequence":-') for x in lines]),
        ("a machine's time that is not one", [x.replace('"lastSeen":"2', '"lastSeen":"X2') for x in lines]),
        ("a machine without its history", [x.replace('"history":[', '"history":7,"h":[') for x in lines])]):
    r = run(os.path.join(tmp, "bad-copy%d.db" % n), ["import"], "\n".join(kept) + "\n")
    expect("%s: exit 2, nothing imported: %s" % (what, r.stdout[-120:]),
           r.returncode == 2 and results(r.stdout)[-1]["imported"] == 0 and "error" in results(r.stdout)[-2])
os.chmod(signing, 0o640)
r = run(seat_db, signed + ["activate", "--licence", created["key"], here])
expect("a signing key others can read: exit 2, says so: %s" % r.stderr, r.returncode == 2 and b"too open" in r.stderr)
os.chmod(signing, 0o600)

if LIB != "none":
    # The C interface through the licence-check example: two seats; a copied installation.
    lic_db = os.path.join(tmp, "licences.db")
    a, b, c = (token(rng) for _ in range(3))
    copy = "vfp1-%s-%016x-%s-%016x-%016x" % (c.split("-")[1], 9, c.split("-")[3], 8, 7)
    r = subprocess.run([sys.executable, os.path.join(EXAMPLES, "registry_licence_check.py"), LIB, lic_db,
                        "2", a, b, a, c, copy, "vfp9-1"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    expect("licence check: %s %s" % (r.stdout, r.stderr), r.stdout.decode().splitlines() == [
        "allow 1", "allow 2", "allow 1", "deny 3", "deny 4 copy-of 3",
        "refused: token version 9 is not supported (this is version 1)"])
    tool_view = results(run(lic_db, ["identify", a]).stdout)[0]
    del tool_view["line"]
    sys.path.insert(0, EXAMPLES)
    import registry_licence_check as example
    lib = example.load(LIB)
    handle = ctypes.c_void_p()
    expect("open", lib.vrel_registry_open(("sqlite:" + lic_db).encode(), 3, ctypes.byref(handle), None, 0) == 0)
    n = lib.vrel_registry_identify(handle, a.encode(), None, 0)
    out = ctypes.create_string_buffer(n + 1)
    expect("identify: the tool's object", lib.vrel_registry_identify(handle, a.encode(), out, n + 1) == n
           and json.loads(out.value) == tool_view)
    small = ctypes.create_string_buffer(100)
    expect("enroll refuses a short buffer, changing nothing",
           lib.vrel_registry_enroll(handle, token(rng).encode(), small, 100) == -22)
    expect("malformed token", lib.vrel_registry_enroll(handle, b"vfp1-zz", out, 4096) == -3)
    n = lib.vrel_registry_stats(handle, None, 0)
    stats = ctypes.create_string_buffer(n + 1)
    lib.vrel_registry_stats(handle, stats, n + 1)
    expect("stats through C: 4 machines", json.loads(stats.value)["machines"] == 4)
    expect("null arguments", lib.vrel_registry_enroll(handle, None, out, 4096) == -1 and
           lib.vrel_registry_stats(None, None, 0) == -1 and
           lib.vrel_registry_open(b"x", 1, ctypes.byref(ctypes.c_void_p()), None, 0) == -21)
    expect("no handle: no text, no stats", lib.vrel_registry_last_error(None) == b"" and
           lib.vrel_registry_stats(handle, None, 5) == -1)
    texts = [lib.vrel_registry_error_text(c) for c in (-1, -3, -4, -5, -6, -20, -21, -22, -23)]
    expect("an error text per code: %s" % texts, len(set(texts)) == len(texts))
    lib.vrel_registry_close(handle)
    handle = ctypes.c_void_p()
    reason = ctypes.create_string_buffer(24)
    # Activation through C: the signing key given at open.
    lib.vrel_registry_open_signing.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p,
                                               ctypes.POINTER(ctypes.c_void_p), ctypes.c_char_p, ctypes.c_size_t]
    lib.vrel_registry_activate.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p,
                                           ctypes.c_char_p, ctypes.c_size_t]
    expect("a missing signing key: -23 with its reason",
           lib.vrel_registry_open_signing(seat_db.encode(), 3, b"/nonexistent.pem", ctypes.byref(handle), reason, 24) == -23
           and reason.value != b"" and not handle.value)
    expect("open with the key", lib.vrel_registry_open_signing(seat_db.encode(), 3, signing.encode(),
                                                                ctypes.byref(handle), None, 0) == 0)
    fresh = results(run(seat_db, ["licence", "create", "--seats", "1"]).stdout)[0]["key"].encode()
    big = ctypes.create_string_buffer(16385)
    expect("activate refuses a short buffer", lib.vrel_registry_activate(handle, fresh, here.encode(), out, 4096) == -22)
    n = lib.vrel_registry_activate(handle, fresh, here.encode(), big, 16385)
    expect("activate through C: the tool's object, the default application: %s" % big.value[:80],
           n > 0 and json.loads(big.value)["activated"] and "Example Writer" in json.loads(big.value)["licenceFile"])
    expect("activate's bad arguments", lib.vrel_registry_activate(handle, fresh, here.encode(), None, 5) == -1 and
           lib.vrel_registry_open_signing(b"x", 3, None, None, None, 0) == -1 and
           lib.vrel_registry_open_signing(seat_db.encode(), 3, b"/nonexistent.pem", ctypes.byref(ctypes.c_void_p()), None, 0) == -23 and
           lib.vrel_registry_activate(handle, None, here.encode(), big, 16385) == -1 and
           lib.vrel_registry_activate(handle, fresh, b"vfp1-zz", big, 16385) == -3 and
           lib.vrel_registry_activate(handle, fresh, b"vfp9-1", big, 16385) == -4 and
           lib.vrel_registry_open_signing(b"x", 3, None, ctypes.byref(ctypes.c_void_p()), None, 0) == -1)
    lib.vrel_registry_close(handle)
    lib.vrel_registry_open(seat_db.encode(), 3, ctypes.byref(handle), None, 0)
    expect("a handle without a key cannot activate", lib.vrel_registry_activate(handle, fresh, here.encode(), big, 16385) == -23)
    lib.vrel_registry_close(handle)
    expect("open refuses a newer schema with its reason, cut to fit: %s" % reason.value,
           lib.vrel_registry_open(("sqlite:" + newer).encode(), 3, ctypes.byref(handle), reason, 24) == -20
           and len(reason.value) == 23 and reason.value.startswith(newer.encode()[:23]))


subprocess.run(["rm", "-rf", tmp])
print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
