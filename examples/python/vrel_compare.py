#!/usr/bin/env python3
"""A licence server in Python over vrel's C interface (ctypes alone): each licence was activated
on one machine, whose token the server stored; a client later sends the token it makes now, and
vrel_compare tells whether both come from the same machine. No key, no machine read.

Usage: vrel_compare.py LIBRARY STORE LICENCE TOKEN
  LIBRARY  the path of libvrel.so (libvrel.so.0 when installed under /usr) or vrel.dll
  STORE    a text file, one "LICENCE TOKEN" line per activated licence
Exit codes: 0 the same machine, 1 another machine, 2 an unknown licence or a bad token."""
import ctypes
import sys


def stored_token(store, licence):
    with open(store) as lines:
        for line in lines:
            fields = line.split()
            if len(fields) == 2 and fields[0] == licence:
                return fields[1]
    return None


def main():
    if len(sys.argv) != 5:
        print(__doc__.split("\n\n")[1].split("\n")[0], file=sys.stderr)  # the Usage line
        return 2
    library, store, licence, token = sys.argv[1:]
    lib = ctypes.CDLL(library)
    lib.vrel_compare.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    lib.vrel_error_text.restype, lib.vrel_error_text.argtypes = ctypes.c_char_p, [ctypes.c_int]
    stored = stored_token(store, licence)
    if stored is None:
        print(f"{licence}: unknown licence")
        return 2
    same = lib.vrel_compare(stored.encode(), token.encode())  # 1 same, 0 another, < 0 an error
    if same < 0:
        print(f"{licence}: bad token: {lib.vrel_error_text(same).decode()}")
        return 2
    print(f"{licence}: {'the same machine' if same else 'another machine'}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
