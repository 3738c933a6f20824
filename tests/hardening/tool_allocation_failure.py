#!/usr/bin/env python3
"""Runs vreltest (built with the allocation hooks) once per allocation it
makes, with that allocation failing: every run must end with exit code 0 and
a whole report (the failure was absorbed as a failed step) or exit code 1 and
a "vreltest: " message on standard error, never by a signal or another code.
Usage: tool_allocation_failure.py path/to/vreltest_failing"""
import os
import subprocess
import sys

MAX_RUNS = 20000


def run(program, n=None):
    env = dict(os.environ)
    if n is not None:
        env["VREL_FAIL_ALLOCATION"] = str(n)
    return subprocess.run([program], env=env, capture_output=True, text=True, timeout=60)


def main():
    program = sys.argv[1]
    full = run(program)
    if full.returncode != 0 or not full.stdout.startswith("Machine specific info:"):
        print("the tool fails without an allocation failure:", full.returncode, full.stderr)
        return 1
    counts = {"report": 0, "message": 0}
    for n in range(1, MAX_RUNS):
        result = run(program, n)
        if "vrel-alloc: not reached" in result.stderr:
            if result.returncode != 0 or result.stdout != full.stdout:
                print(f"run {n}: no failure reached, yet the output differs")
                return 1
            print(f"vreltest: {n - 1} allocations, each failed once: "
                  f"{counts['report']} whole reports, {counts['message']} error messages")
            return 0
        if result.returncode == 0 and result.stdout.startswith("Machine specific info:") \
                and "Netcard info (new API):" in result.stdout:
            counts["report"] += 1
        elif result.returncode == 1 and result.stderr.startswith("vreltest: "):
            counts["message"] += 1
        else:
            print(f"allocation {n}: exit code {result.returncode}, stderr {result.stderr!r}")
            return 1
    print(f"more than {MAX_RUNS} allocations")
    return 1


if __name__ == "__main__":
    sys.exit(main())
