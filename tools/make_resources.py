#!/usr/bin/python3
"""Regenerates every picture and the icon font in resources/.

Each make_*.py script can also run on its own.  All outputs are deterministic:
running this again on the same Debian packages gives byte-identical files.

Run with Debian's interpreter: /usr/bin/python3 tools/make_resources.py
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_appicon  # noqa: E402
import make_font  # noqa: E402
import make_frames  # noqa: E402
import make_glyphs  # noqa: E402
import make_splash  # noqa: E402
from raster import repo_root  # noqa: E402


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else repo_root()
    for script in (make_font, make_frames, make_glyphs, make_splash, make_appicon):
        script.main(root)


if __name__ == "__main__":
    main()
