"""Prints the events of an iCalendar file as JSON, read with Python's
icalendar: one object per VEVENT with its UID, texts, times (ISO, with the
zone name), TRANSP and CLASS. Run with Debian's /usr/bin/python3."""
import json
import sys

import icalendar


def when(prop):
    if prop is None:
        return None
    value = prop.dt
    zone = getattr(getattr(value, "tzinfo", None), "zone", None) or str(getattr(value, "tzinfo", ""))
    return {"at": value.isoformat(), "tzid": prop.params.get("TZID"), "zone": zone}


with open(sys.argv[1], "rb") as f:
    calendar = icalendar.Calendar.from_ical(f.read())
events = []
for e in calendar.walk("VEVENT"):
    events.append({
        "uid": str(e.get("UID")),
        "summary": str(e.get("SUMMARY", "")),
        "location": str(e.get("LOCATION", "")),
        "description": str(e.get("DESCRIPTION", "")),
        "transp": str(e.get("TRANSP", "")),
        "class": str(e.get("CLASS", "")),
        "sequence": int(e.get("SEQUENCE", -1)),
        "start": when(e.get("DTSTART")),
        "end": when(e.get("DTEND")),
    })
zones = [str(z.get("TZID")) for z in calendar.walk("VTIMEZONE")]
print(json.dumps({"events": events, "zones": zones, "name": str(calendar.get("X-WR-CALNAME", ""))},
                 ensure_ascii=False))
