#!/usr/bin/python3
"""Reads a vCard file with python3-vobject and prints what a phone would import, as JSON."""
import json
import sys

import vobject

with open(sys.argv[1], encoding="utf-8") as f:
    card = vobject.readOne(f.read())

out = {"fn": card.fn.value}
n = card.n.value
out["n"] = {"family": n.family, "given": n.given, "suffix": n.suffix}
out["tel"] = [t.value for t in card.contents.get("tel", [])]
out["url"] = [u.value for u in card.contents.get("url", [])]
out["email"] = [e.value for e in card.contents.get("email", [])]
adrs = card.contents.get("adr", [])
if adrs:
    a = adrs[0].value

    def text(value):
        # The program's own ", " before the house number is a value separator in ADR;
        # readers show the street's values joined again.
        return ",".join(value) if isinstance(value, list) else value

    out["adr"] = {k: text(getattr(a, k)) for k in ("street", "city", "region", "code", "country")}
json.dump(out, sys.stdout, ensure_ascii=False)
