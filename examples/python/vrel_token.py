#!/usr/bin/env python3
"""This machine's vrel token from Python through ctypes alone (nothing to install).

Usage: vrel_token.py <libvrel.so or vrel.dll> <key> [<token>]
Prints the library's version, this machine's token under the key, and how <token> (this
machine's own by default) compares with it: 1 same machine, 0 different. A 32-bit vrel.dll
needs a 32-bit Python."""
import ctypes
import sys


class VrelError(Exception):
    pass


def load(path):
    lib = ctypes.CDLL(path)  # cdecl: CDLL, also for the 32-bit DLL
    text = ctypes.c_char_p  # static texts: read, never freed
    out = ctypes.POINTER(ctypes.c_char)
    lib.vrel_version.restype = text
    lib.vrel_error_text.restype, lib.vrel_error_text.argtypes = text, [ctypes.c_int]
    lib.vrel_fingerprint.argtypes = [text, ctypes.c_size_t, out, ctypes.c_size_t]
    lib.vrel_compare.argtypes = [text, text]
    return lib


def checked(lib, result):
    if result < 0:
        raise VrelError(lib.vrel_error_text(result).decode())
    return result


def fingerprint(lib, key):
    """The length convention: ask for the length with no buffer, then fill one of length + 1
    (again if the token grew in between)."""
    size, buffer = 0, None
    while True:
        length = checked(lib, lib.vrel_fingerprint(key, len(key), buffer, size))
        if length < size:
            return buffer.value.decode()
        size = length + 1
        buffer = ctypes.create_string_buffer(size)


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__.split("\n\n")[1].split("\n")[0], file=sys.stderr)  # the Usage line
        sys.exit(2)
    lib = load(sys.argv[1])
    token = fingerprint(lib, sys.argv[2].encode())
    other = sys.argv[3] if len(sys.argv) > 3 else token
    print("vrel", lib.vrel_version().decode())
    print("token:", token)
    print("compare:", checked(lib, lib.vrel_compare(other.encode(), token.encode())))


if __name__ == "__main__":
    try:
        main()
    except VrelError as error:
        sys.exit(f"vrel_token: {error}")
