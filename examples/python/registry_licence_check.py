#!/usr/bin/env python3
"""The licence check a server runs on each request, through libvrel_registry.so and ctypes.

Usage: registry_licence_check.py <libvrel_registry.so> <database> <seats> <token>...
Each token is one client request. The token is enrolled (known machines keep their id across
reinstalls and card swaps; an unknown one becomes a new machine), then the request is allowed
when the machine is among the first <seats> machines the registry named. A request from a copied
installation (the same install id on other hardware) is reported too. Prints one line per
request: "allow ID", "deny ID" or "refused: REASON", with " copy-of ID,..." when it is a copy."""
import ctypes
import json
import sys

MAX_RESULT = 2048  # VREL_REGISTRY_MAX_RESULT_LENGTH


def load(path):
    lib = ctypes.CDLL(path)
    handle = ctypes.c_void_p
    lib.vrel_registry_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(handle),
                                       ctypes.c_char_p, ctypes.c_size_t]
    lib.vrel_registry_close.argtypes = [handle]
    for name in ("vrel_registry_enroll", "vrel_registry_identify"):
        getattr(lib, name).argtypes = [handle, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t]
    lib.vrel_registry_last_error.argtypes = [handle]
    lib.vrel_registry_last_error.restype = ctypes.c_char_p
    lib.vrel_registry_error_text.argtypes = [ctypes.c_int]
    lib.vrel_registry_error_text.restype = ctypes.c_char_p
    return lib


def check(lib, registry, seats, token):
    """One request: enroll the client's token and decide."""
    out = ctypes.create_string_buffer(MAX_RESULT + 1)  # enroll never needs a second call
    n = lib.vrel_registry_enroll(registry, token.encode(), out, len(out))
    if n < 0:
        return "refused: " + (lib.vrel_registry_last_error(registry) or
                              lib.vrel_registry_error_text(n)).decode()
    verdict = json.loads(out.value[:n])
    machine = verdict["machine"]
    line = ("allow " if machine <= seats else "deny ") + str(machine)
    if verdict["cloneOf"]:
        line += " copy-of " + ",".join(map(str, verdict["cloneOf"]))
    return line


def main(argv):
    lib = load(argv[1])
    registry, error = ctypes.c_void_p(), ctypes.create_string_buffer(512)
    rc = lib.vrel_registry_open(("sqlite:" + argv[2]).encode(), 3, ctypes.byref(registry), error,
                                len(error))
    if rc < 0:
        print("cannot open the registry:", (error.value or lib.vrel_registry_error_text(rc)).decode(),
              file=sys.stderr)
        return 3
    try:
        for token in argv[4:]:
            print(check(lib, registry, int(argv[3]), token))
    finally:
        lib.vrel_registry_close(registry)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
