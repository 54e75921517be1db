#!/usr/bin/env python3
"""Writes the sources of the colour tests and, with a tessel-cli built
before colour profiles were read, what that build wrote for each command of
runs.txt (into before/). Rerun only to refresh them.

Usage: tests/data/colour/make.py TESSEL_CLI_BEFORE
"""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "fuzz"))
import iccprofiles  # noqa: E402
from PIL import Image  # noqa: E402


def picture():
    im = Image.new("RGB", (48, 32))
    im.putdata([(x * 5 + 10, y * 7 + 8, (x * y) % 200 + 30) for y in range(32) for x in range(48)])
    return im


def sources():
    im = picture()
    im.save(os.path.join(HERE, "plain.jpg"), quality=90)
    im.save(os.path.join(HERE, "plain.png"))
    im.save(os.path.join(HERE, "adobe.jpg"), quality=90, icc_profile=iccprofiles.adobe_rgb())
    im.save(os.path.join(HERE, "p3.png"), icc_profile=iccprofiles.display_p3())
    im.save(os.path.join(HERE, "adobe.tif"), icc_profile=iccprofiles.adobe_rgb())


def main():
    cli = os.path.abspath(sys.argv[1])
    sources()
    subprocess.run(["convert", os.path.join(HERE, "plain.png"), "-define", "png:include-chunk=gAMA",
                    "-set", "gamma", "0.45455", os.path.join(HERE, "gamma.png")], check=True)
    before = os.path.join(HERE, "before")
    shutil.rmtree(before, ignore_errors=True)
    os.makedirs(before)
    with tempfile.TemporaryDirectory() as work:
        for name in ("plain.jpg", "plain.png", "gamma.png", "adobe.jpg", "p3.png", "adobe.tif"):
            shutil.copy(os.path.join(HERE, name), work)
        names = set(os.listdir(work))
        with open(os.path.join(HERE, "runs.txt")) as runs:
            for line in runs:
                if line.strip() and not line.startswith("#"):
                    subprocess.run([cli] + line.split(), cwd=work, check=True)
        for name in sorted(set(os.listdir(work)) - names):
            shutil.copy(os.path.join(work, name), before)


if __name__ == "__main__":
    main()
