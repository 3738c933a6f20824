#!/usr/bin/env python3
"""Writes docs/token-vectors-v1.json: keys, component texts and the version-1 tokens they give,
computed here with Python's own hmac module, apart from the library. The suite checks the library
against the file; a port to another language can check itself against it too.
Usage: tools/make_token_vectors.py > docs/token-vectors-v1.json"""
import hashlib
import hmac
import json

NAMES = ["cpu", "volume", "os-install", "board", "nics"]


def digest(key, name, text):
    mac = hmac.new(key, name.encode() + b"\0" + text.encode("utf-8"), hashlib.sha256)
    return mac.hexdigest()[:16]


def token(key, components):
    fields = []
    for name in NAMES:
        value = components.get(name)
        if value is None:
            fields.append("x")
            continue
        texts = value if isinstance(value, list) else [value]
        # One digest per distinct text, sorted, the 64 lowest; no text at all (an empty nic
        # set) writes x like an unavailable component.
        digests = sorted({digest(key, name, t) for t in texts})[:64]
        fields.append("+".join(digests) if digests else "x")
    return "vfp1-" + "-".join(fields)


CPU = "GenuineIntel/family 6/model 158/stepping 10/Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz"
VECTORS = [
    ("desktop, os-install unavailable", {"key": "app-key"},
     {"cpu": CPU, "volume": "1C2D3E4F", "board": "4c4c4544-0031-3510-8052-b4c04f564433",
      "nics": ["00:1a:2b:3c:4d:5e", "52:54:00:12:34:56"]}),
    ("every component", {"key": "licence-server-2026"},
     {"cpu": "AuthenticAMD/family 25/model 33/stepping 0/AMD Ryzen 7 5800X 8-Core Processor",
      "volume": "A0B1C2D3", "os-install": "6083b3903c3c42dbbf67b25a094610bd",
      "board": "8f2d7c10-5a3e-4b6f-9c1d-2e4f6a8b0c1d", "nics": ["00:1a:2b:3c:4d:5e"]}),
    ("a laptop docked: three adapters, digests sorted", {"key": "app-key"},
     {"cpu": CPU, "volume": "0000BEEF", "os-install": "0f1e2d3c4b5a69788796a5b4c3d2e1f0",
      "board": "2b5e4c1a-9d3f-4e6a-8b7c-0d1e2f3a4b5c",
      "nics": ["f8:75:a4:00:00:01", "00:e0:4c:68:00:02", "a0:ce:c8:00:00:03"]}),
    ("no CPUID, nothing else", {"key": "k"}, {}),
    ("UTF-8 key", {"key": "cl\u00e9 \U0001f511"}, {"cpu": CPU, "volume": "1C2D3E4F"}),
    ("binary key with a zero byte", {"keyHex": "00ff7f80010203"},
     {"volume": "1C2D3E4F", "nics": ["00:1a:2b:3c:4d:5e"]}),
    ("key longer than a SHA-256 block (hashed first)", {"key": "k" * 100},
     {"cpu": CPU, "board": "4c4c4544-0031-3510-8052-b4c04f564433"}),
    ("70 adapters: the 64 lowest digests are kept", {"key": "app-key"},
     {"volume": "1C2D3E4F", "nics": ["02:00:00:00:00:%02x" % i for i in range(70)]}),
    ("no physical adapter: an empty nic set is x", {"key": "app-key"},
     {"cpu": CPU, "volume": "1C2D3E4F", "os-install": "0f1e2d3c4b5a69788796a5b4c3d2e1f0",
      "nics": []}),
    ("one address listed twice: one digest", {"key": "app-key"},
     {"volume": "1C2D3E4F", "nics": ["52:54:00:12:34:56", "00:1a:2b:3c:4d:5e", "52:54:00:12:34:56"]}),
]


def main():
    rows = []
    for name, key_field, components in VECTORS:
        key = bytes.fromhex(key_field["keyHex"]) if "keyHex" in key_field \
            else key_field["key"].encode("utf-8")
        rows.append({"name": name, **key_field,
                     "components": {n: components.get(n) for n in NAMES},
                     "token": token(key, components)})
    print(json.dumps({
        "about": "Version-1 fingerprint tokens. A field is x when the component is null "
                 "(unavailable) or, for nics, an empty list; else the first 8 bytes of "
                 "HMAC-SHA-256(key, name NUL text) in lower-case hex, texts taken as UTF-8; nics "
                 "holds one digest per distinct text, sorted, the 64 lowest, joined by +. The key "
                 "is the UTF-8 bytes of key, or the bytes of keyHex.",
        "vectors": rows}, indent=1, ensure_ascii=False))


if __name__ == "__main__":
    main()
