"""Compares an XLSX workbook with a CSV file, cell by cell, reading them with
openpyxl and Python's csv module, and prints JSON: the rows of the CSV (the
apostrophe guard taken off), the rows of the sheet, its title, its frozen
cell and the fill colour of every cell that has one. Run with Debian's
/usr/bin/python3."""
import csv
import json
import sys

import openpyxl

with open(sys.argv[2], encoding="utf-8-sig", newline="") as f:
    csv_rows = [[c[1:] if c[:1] == "'" and c[1:2] in "=+-@'\t\r" and len(c) > 1 else c
                 for c in row] for row in csv.reader(f)]
book = openpyxl.load_workbook(sys.argv[1])
sheet = book.worksheets[0]
sheet_rows, fills = [], {}
for row in sheet.iter_rows():
    sheet_rows.append(["" if c.value is None else str(c.value) for c in row])
    for c in row:
        if c.fill is not None and c.fill.fill_type == "solid":
            fills[c.coordinate] = str(c.fill.fgColor.rgb)[-6:].upper()
print(json.dumps({"csv": csv_rows, "sheet": sheet_rows, "title": sheet.title,
                  "frozen": sheet.freeze_panes, "fills": fills}, ensure_ascii=False))
