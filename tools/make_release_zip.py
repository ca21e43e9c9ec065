#!/usr/bin/env python3
"""Writes the release zip: the program, README.txt, LICENSE.txt, SHA256SUMS.txt.

    make_release_zip.py OUT.zip Tolvex111.exe README.txt LICENSE

The same inputs give the same bytes: the entries come in a fixed order, with
fixed attributes and the time SOURCE_DATE_EPOCH (seconds since 1970, UTC;
tools/release.sh sets it to the commit's time), or 1980-01-01 without it.
The text files get CR LF line ends, for Notepad, whatever the checkout has.
"""
import hashlib
import os
import sys
import time
import zipfile

FILE_ATTRIBUTE_ARCHIVE = 0x20
EARLIEST_ZIP_TIME = 315532800  # 1980-01-01 00:00:00 UTC


def crlf(data):
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def main(argv):
    if len(argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    out, exe, readme, licence = argv[1:]
    with open(exe, "rb") as f:
        exe_data = f.read()
    with open(readme, "rb") as f:
        readme_data = crlf(f.read())
    with open(licence, "rb") as f:
        licence_data = crlf(f.read())
    # Checked with `sha256sum -c SHA256SUMS.txt`: "<hash>  <name>" with LF ends.
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n"
                   for name, data in (("Tolvex111.exe", exe_data),
                                      ("README.txt", readme_data))).encode("ascii")

    stamp = max(int(os.environ.get("SOURCE_DATE_EPOCH", EARLIEST_ZIP_TIME)),
                EARLIEST_ZIP_TIME)
    date_time = time.gmtime(stamp)[:6]
    entries = [("Tolvex111.exe", exe_data), ("README.txt", readme_data),
               ("LICENSE.txt", licence_data), ("SHA256SUMS.txt", sums)]

    temporary = out + ".part"
    with zipfile.ZipFile(temporary, "w") as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time)
            info.create_system = 0  # MS-DOS attributes, as Windows' own zips have
            info.external_attr = FILE_ATTRIBUTE_ARCHIVE
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)
    os.replace(temporary, out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
