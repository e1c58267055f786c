#!/usr/bin/env python3
"""Writes a zip whose bytes depend only on the files: entries in the order given, every one
with the time SOURCE_DATE_EPOCH (UTC), made on "MS-DOS" with the archive attribute only,
deflated at level 9. Text files get Windows line ends, for Notepad.
  release_zip.py ZIP FOLDER NAME...
"""
import os
import sys
import time
import zipfile

TEXT = (".txt",)


def main(argv):
    out, folder, names = argv[1], argv[2], argv[3:]
    when = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))  # zip times start in 1980
    tmp = out + ".part"
    with zipfile.ZipFile(tmp, "w") as z:
        for name in names:
            data = open(os.path.join(folder, name), "rb").read()
            if name.endswith(TEXT):
                data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            info = zipfile.ZipInfo(name, date_time=when[:6])
            info.create_system = 0
            info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
    os.replace(tmp, out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
