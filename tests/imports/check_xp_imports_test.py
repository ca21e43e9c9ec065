#!/usr/bin/env python3
"""The XP check must reject what XP's loader refuses, naming the culprit.

Each row edits a trimmed `objdump -p` listing of the real program (binutils
2.40) and says which complaint the check must make, or none.
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_xp_imports import problems  # noqa: E402

LISTING = """
Tolvex111.exe:     file format pei-i386

Characteristics 0x30e
\texecutable

Time/Date\t\tThu Jan  1 00:00:00 1970
Magic\t\t\t010b\t(PE32)
MajorOSystemVersion\t5
MinorOSystemVersion\t1
MajorImageVersion\t0
MinorImageVersion\t0
MajorSubsystemVersion\t5
MinorSubsystemVersion\t1
Win32Version\t\t00000000
Subsystem\t\t00000002\t(Windows GUI)
DllCharacteristics\t00000140
\t\t\t\t\tDYNAMIC_BASE
\t\t\t\t\tNX_COMPAT
SizeOfStackReserve\t00200000
NumberOfRvaAndSizes\t00000010

The Data Directory
Entry 1 0004e000 00000e78 Import Directory [parts of .idata]

The Import Tables (interpreted .idata section contents)
 vma:            Hint    Time      Forward  DLL       First
                 Table   Stamp     Chain    Name      Thunk
 0004e000\t0004e078 00000000 00000000 0004ec34 0004e290

\tDLL Name: KERNEL32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t4e4f2\t  136  CloseHandle
\t4e718\t 1196  ReplaceFileW
\t4e7ea\t 1577  lstrcmpiW

 0004e03c\t0004e0f8 00000000 00000000 0004ed20 0004e2d0

\tDLL Name: msvcrt.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t4e7f6\t   69  __mb_cur_max
\t4e8a6\t  342  _iob

 0004e050\t0004e1a0 00000000 00000000 0004ed34 0004e378

\tDLL Name: USER32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t4e9e2\t    5  AdjustWindowRectEx
\t4eb6e\t  657  MessageBoxW

 0004e064\t00000000 00000000 00000000 00000000 00000000
"""

CLOSE = "\t4e4f2\t  136  CloseHandle\n"

# (case, [(text in LISTING, its replacement)], the complaint, or None for none)
CASES = [
    ("the program as it is", [], None),
    ("a Vista function", [(CLOSE, CLOSE + "\t4e500\t  700  GetTickCount64\n")],
     "kernel32.dll!GetTickCount64"),
    ("a lock XP lacks", [(CLOSE, CLOSE + "\t4e500\t  880  InitializeSRWLock\n")],
     "kernel32.dll!InitializeSRWLock"),
    ("comctl32, which would be looked for beside the program first",
     [("\tDLL Name: KERNEL32.dll", "\tDLL Name: COMCTL32.DLL\n"
       "\tvma:  Hint/Ord Member-Name Bound-To\n\t4e4a8\t   96  InitCommonControlsEx\n\n"
       " 0004e028\t0004e090 00000000 00000000 0004ed0c 0004e2a8\n\n\tDLL Name: KERNEL32.dll")],
     "imports from COMCTL32.DLL"),
    ("a DPI function from Vista",
     [("  MessageBoxW\n", "  MessageBoxW\n\t4eb80\t  800  SetProcessDPIAware\n")],
     "user32.dll!SetProcessDPIAware"),
    ("a secure CRT function XP's msvcrt lacks",
     [("  _iob\n", "  _iob\n\t4e8b0\t 1200  wcscpy_s\n")], "msvcrt.dll!wcscpy_s"),
    ("a DLL nobody allowed", [("DLL Name: USER32.dll", "DLL Name: SHELL32.dll")],
     "imports from SHELL32.dll"),
    ("an import by ordinal", [(CLOSE, CLOSE + "\t4e500\t   17  <none>\n")], "by ordinal"),
    ("subsystem Vista", [("MajorSubsystemVersion\t5", "MajorSubsystemVersion\t6"),
                         ("MinorSubsystemVersion\t1", "MinorSubsystemVersion\t0")],
     "subsystem version 6.00"),
    ("subsystem Server 2003", [("MinorSubsystemVersion\t1", "MinorSubsystemVersion\t2")],
     "subsystem version 5.02"),
    ("subsystem Windows 2000", [("MinorSubsystemVersion\t1", "MinorSubsystemVersion\t0")],
     None),
    ("OS version Windows 7", [("MajorOSystemVersion\t5", "MajorOSystemVersion\t6")],
     "OS version 6.01"),
    ("no NX_COMPAT", [("\t\t\t\t\tNX_COMPAT\n", "")], "NX_COMPAT is not set"),
    ("no DYNAMIC_BASE", [("\t\t\t\t\tDYNAMIC_BASE\n", "")], "DYNAMIC_BASE is not set"),
    ("the 64-bit build", [("pei-i386", "pei-x86-64"), ("010b\t(PE32)", "020b\t(PE32+)")],
     "not a 32-bit x86 program"),
    ("no import table read", [(LISTING[LISTING.index("The Import Tables"):], "")],
     "not understood"),
]


class XpCheckTest(unittest.TestCase):
    def test_cases(self):
        for case, edits, complaint in CASES:
            with self.subTest(case):
                text = LISTING
                for old, new in edits:
                    self.assertIn(old, text)
                    text = text.replace(old, new, 1)
                found = problems(text)
                if complaint is None:
                    self.assertEqual(found, [])
                else:
                    self.assertEqual(len(found), 1, found)
                    self.assertIn(complaint, found[0])


if __name__ == "__main__":
    unittest.main()
