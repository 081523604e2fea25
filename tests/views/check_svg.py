#!/usr/bin/env python3
"""Renders the SVG of a generated report of 64 tiles with 6 steps each and reads it back with
Python's XML parser: it must parse, hold one step rect per sample and a legend of the four kinds,
and carry the texts that needed escaping unchanged in its hover titles.

usage: check_svg.py <render_sample program> <clock hz> <output file>"""
import subprocess
import sys
import xml.etree.ElementTree as ET

SVG = "{http://www.w3.org/2000/svg}"
TILES, STEPS = 64, 6


def main():
    program, clock, path = sys.argv[1:4]
    subprocess.run([program, "svg", str(TILES), str(STEPS), clock, path], check=True)
    root = ET.parse(path).getroot()
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)

    expect(root.tag == SVG + "svg", f"root element is {root.tag}")
    step_groups = [g for g in root.iter(SVG + "g") if g.get("class") == "steps"]
    step_rects = [r for g in step_groups for r in g.iter(SVG + "rect")]
    expect(len(step_rects) == TILES * STEPS, f"{len(step_rects)} step rects")
    legend = [g for g in root.iter(SVG + "g") if g.get("class") == "legend"]
    expect(len(legend) == 1, f"{len(legend)} legends")
    if legend:
        names = [t.text for t in legend[0].iter(SVG + "text")]
        expect(names == ["Exchange", "Compute", "Synchronization", "Idle"], f"legend {names}")
    titles = [r.find(SVG + "title").text for r in step_rects if r.find(SVG + "title") is not None]
    expect(len(titles) == len(step_rects), f"{len(titles)} hover titles")
    expect(any('operation: op<0> & "layer"' in t for t in titles), "escaped operation text not restored")
    unit = "cycles" if clock == "0" else "\u00b5s"
    axis = [t.text for t in root.iter(SVG + "text") if t.text and t.text.startswith("time since")]
    expect(len(axis) == 1 and unit in axis[0], f"axis caption {axis}")
    for failure in failures:
        print("check_svg:", failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
