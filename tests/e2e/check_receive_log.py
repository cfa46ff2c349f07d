#!/usr/bin/env python3
"""Reads a receive.txt (GBK, CR LF) as whole records and checks every one of them.

    check_receive_log.py FILE [PREFIX]

Prints "records N" then, for the records whose body starts with PREFIX, "unique N" and
"duplicates N", then each damaged place as "bad: ...". Exits 1 when the file is not made of
whole records: date line, sender line, rule, body, four empty lines, every line CR LF.
"""
import re
import sys

path = sys.argv[1]
prefix = sys.argv[2] if len(sys.argv) > 2 else ""
data = open(path, "rb").read() if path != "-" else sys.stdin.buffer.read()
bad = []
if data and not data.endswith(b"\r\n"):
    bad.append("the last line is not ended by CR LF")
if re.search(rb"(?<!\r)\n|\r(?!\n)", data):
    bad.append("a line break that is not CR LF")
lines = data.decode("gbk", errors="replace").split("\r\n")[:-1] if data else []
date = re.compile(r"^\d{4}年\d{1,2}月\d{1,2}日 \d{1,2}:\d{1,2}$")
records, i = [], 0
while i < len(lines):
    if not date.match(lines[i]) or i + 2 >= len(lines) or not lines[i + 1].startswith("发送者:") \
            or lines[i + 2] != "-----------------":
        bad.append(f"line {i + 1} does not start a record: {lines[i]!r}")
        break
    j = i + 3
    # The body runs to the four empty lines that end the record.
    while j + 3 < len(lines) and lines[j:j + 4] != ["", "", "", ""]:
        j += 1
    if j + 3 >= len(lines):
        bad.append(f"the record at line {i + 1} has no end")
        break
    records.append("\n".join(lines[i + 3:j]))
    i = j + 4
print("records", len(records))
mine = [r for r in records if r.startswith(prefix)]
print("unique", len(set(mine)))
print("duplicates", len(mine) - len(set(mine)))
for b in bad:
    print("bad:", b)
sys.exit(1 if bad else 0)
