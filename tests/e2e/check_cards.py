#!/usr/bin/env python3
"""Checks the network-card part of a vreltest report against this host.

  check_cards.py [--names] < report.txt

Reads the report from standard input. The host's cards are its Ethernet-type
interfaces (link type "ether", ARPHRD_ETHER) in interface-index order, as
`ip -j addr` reports them: each must appear as one card block, in that order,
with its MAC address and its first IPv4 address (0.0.0.0 when it has none).
The "MAC" line must be the first card's MAC and the "IP address" line the
first address outside 127.0.0.0/8, bytes reversed, as the collector reports
them. With --names the card names must be the interface names too (the
native build; Wine's WMI gives no caption, so its names read "<N/A>").

Exits 0 when everything agrees, 1 otherwise; check_cards() returns the list
of disagreements for use from another script.
"""
import json
import re
import subprocess
import sys

BLOCK = re.compile(r"Card #(\d+):\n\tName: ([^\n]*)\n\tIP:   (\d+)\.(\d+)\.(\d+)\.(\d+)\n"
                   r"\tMAC:  ((?:[0-9a-f]{2}:){5}[0-9a-f]{2})\n")


def host_cards():
    """[(name, mac, ip)] of the host's ARPHRD_ETHER interfaces by index; ip in host form."""
    links = json.loads(subprocess.run(["ip", "-j", "addr", "show"], capture_output=True,
                                      text=True, check=True).stdout)
    cards = []
    for link in sorted(links, key=lambda l: l["ifindex"]):
        if link.get("link_type") != "ether":
            continue
        ip = 0
        for address in link.get("addr_info", []):
            if address.get("family") == "inet":
                a, b, c, d = (int(x) for x in address["local"].split("."))
                ip = a << 24 | b << 16 | c << 8 | d
                break
        cards.append((link["ifname"], link.get("address", "").lower(), ip))
    return cards


def report_cards(report):
    """[(name, mac, ip)] of the report's card blocks, or None when retrieval failed."""
    _, _, tail = report.partition("Netcard info (new API):\n")
    if tail.startswith("Retrieval failed!"):
        return None
    cards = []
    for number, match in enumerate(BLOCK.finditer(tail), start=1):
        if int(match.group(1)) != number:
            raise ValueError("card blocks are not numbered 1, 2, ...")
        a, b, c, d = (int(match.group(i)) for i in range(3, 7))
        cards.append((match.group(2), match.group(7), a << 24 | b << 16 | c << 8 | d))
    return cards


def line_value(report, label):
    match = re.search("^" + re.escape(label) + r" *: (.*)$", report, re.M)
    return match.group(1) if match else None


def dotted(ip):
    return "%d.%d.%d.%d" % (ip >> 24, ip >> 16 & 255, ip >> 8 & 255, ip & 255)


def check_cards(report, check_names=False, host=None):
    report = report.replace("\r\n", "\n")
    host = host_cards() if host is None else host
    errors = []
    try:
        cards = report_cards(report)
    except ValueError as error:
        return [str(error)]
    if cards is None:
        return ["the report says 'Retrieval failed!'"]
    if len(cards) != len(host):
        errors.append("%d card blocks, the host has %d Ethernet interfaces (%s)"
                      % (len(cards), len(host), ", ".join(h[0] for h in host)))
    for i, (card, expected) in enumerate(zip(cards, host), start=1):
        name, mac, ip = card
        if mac != expected[1]:
            errors.append("card %d: MAC %s, %s has %s" % (i, mac, expected[0], expected[1]))
        if ip != expected[2]:
            errors.append("card %d: IP %s, %s has %s" % (i, dotted(ip), expected[0],
                                                          dotted(expected[2])))
        if check_names and name != expected[0]:
            errors.append("card %d: name %r, expected %r" % (i, name, expected[0]))

    mac_line = line_value(report, "MAC")
    want_mac = host[0][1] if host else "N/A"
    if mac_line != want_mac:
        errors.append("MAC line %r, expected %r" % (mac_line, want_mac))
    ip_line = line_value(report, "IP address")
    first = next((h[2] for h in host if h[2] >> 24 != 127), None)
    want_ip = "N/A" if first is None else "%x" % int.from_bytes(first.to_bytes(4, "big"), "little")
    if ip_line != want_ip:
        errors.append("IP address line %r, expected %r" % (ip_line, want_ip))
    return errors


def main():
    check_names = "--names" in sys.argv[1:]
    report = sys.stdin.read()
    errors = check_cards(report, check_names)
    if errors:
        print("check_cards: FAIL")
        for error in errors:
            print("  " + error)
        print("---- report ----\n" + report + "---- end ----")
        return 1
    print("check_cards: %d card(s) agree with the host's Ethernet interfaces"
          % len(host_cards()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
