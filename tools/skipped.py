#!/usr/bin/env python3
"""Lists the GoogleTest cases that were skipped, with their reasons, from the
JUnit file ctest writes (--output-junit): a test program that passes as a
whole may have cases that did not run on this machine.

    skipped.py RESULTS.xml
"""
import re
import sys
import xml.etree.ElementTree as ET

try:
    tests = ET.parse(sys.argv[1]).getroot().iter("testcase")
except (OSError, ET.ParseError):
    sys.exit(0)
for test in tests:
    out = test.findtext("system-out") or ""
    # GoogleTest prints "file:line: Skipped", the reason, then "[  SKIPPED ] Name".
    for reason, name in re.findall(r": Skipped\n(.*?)\n\[  SKIPPED \] (\S+)", out, re.S):
        print(f"skipped: {test.get('name')} {name}: {' '.join(reason.split())}")
