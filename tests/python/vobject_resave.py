"""Reads an iCalendar file with python3-vobject and writes it again as
vobject serialises it, as a calendar program built on it re-saves a feed;
prints the number of events and the X-OSTRAND-CONTENT values it read, as
JSON. Run with Debian's /usr/bin/python3: resave.py IN OUT."""
import json
import sys

import vobject

with open(sys.argv[1], encoding="utf-8", newline="") as f:
    calendar = vobject.readOne(f.read())
contents = []
for event in calendar.contents.get("vevent", []):
    for line in event.contents.get("x-ostrand-content", []):
        contents.append(line.value)
with open(sys.argv[2], "w", encoding="utf-8", newline="") as f:
    f.write(calendar.serialize())
print(json.dumps({"events": len(calendar.contents.get("vevent", [])), "contents": contents},
                 ensure_ascii=False))
