#!/usr/bin/env python3
# make-small-files.py ROOT FOLDERS: FOLDERS folders of 1,000 small C files
# each under ROOT, of 1 to 40 lines, for the measures of many small files.
import os
import sys

root, folders = sys.argv[1], int(sys.argv[2])
for d in range(folders):
    sub = os.path.join(root, f"d{d:03}")
    os.makedirs(sub, exist_ok=True)
    for f in range(1000):
        with open(os.path.join(sub, f"f{f:04}.c"), "w") as out:
            out.write("int x;\n" * (1 + (d * 1000 + f) % 40))
