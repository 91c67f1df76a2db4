#!/usr/bin/env python3
"""Checks morvane-classify --json --mrz output (on stdin) for zones.xml
against a README table of printed zones ("| file.jpg | document | `L1` / `L2` |";
no zone: "(none)"). Prints one line per page: the class, the characters read
right raw and decoded, and whether the decoded zone is valid and as printed.
Exits 1 when any page has the wrong class or a zone that is not valid after
decoding."""
import json
import os
import re
import sys


def expected_id(lines):
    if not lines:
        return "UNKNOWN"
    if len(lines) == 3:
        return "ZONE-TD1"
    visa = lines[0].startswith("V")
    if len(lines[0]) == 44:
        return "ZONE-VISA-A" if visa else "ZONE-PASSPORT"
    return "ZONE-VISA-B" if visa else "ZONE-TD2"


def right(read, printed):
    n = 0
    for a, b in zip(read, printed):
        n += sum(1 for x, y in zip(a, b) if x == y)
    return n


def main():
    table = {}
    with open(sys.argv[1], encoding="utf-8") as f:
        for row in f:
            m = re.match(r"\| (\S+\.jpg) \|", row)
            if m:
                table[m.group(1)] = re.findall(r"`([^`]*)`", row)
    bad = 0
    chars = raw_right = dec_right = zones = valid = 0
    for line in sys.stdin:
        line = line.strip()
        if not line.startswith("{"):
            continue
        page = json.loads(line)
        name = os.path.basename(page.get("path", ""))
        if name not in table:
            continue
        printed = table[name]
        want = expected_id(printed)
        got = page.get("id", page.get("error", "?"))
        ok = got == want
        msg = f"{'ok   ' if ok else 'WRONG'}  {name}\t{got}"
        if printed:
            zones += 1
            z = page.get("mrz") or {}
            raw = z.get("lines", [])
            dec = (z.get("decoded") or {}).get("lines", [])
            total = sum(len(p) for p in printed)
            chars += total
            raw_right += right(raw, printed)
            dec_right += right(dec, printed)
            dvalid = (z.get("decoded") or {}).get("valid", False) and dec == printed
            valid += 1 if dvalid else 0
            ok = ok and dvalid
            msg += f"\traw {right(raw, printed)}/{total} valid={z.get('valid')}\tdecoded {right(dec, printed)}/{total} valid={dvalid}"
            if not dvalid:
                msg = "WRONG" + msg[5:]
        if not ok:
            bad += 1
        print(msg)
    if chars:
        print(f"zones: characters right raw {raw_right}/{chars} ({100.0 * raw_right / chars:.2f} %), "
              f"decoded {dec_right}/{chars} ({100.0 * dec_right / chars:.2f} %); valid after decoding {valid}/{zones}")
    sys.exit(1 if bad or not table else 0)


if __name__ == "__main__":
    main()
