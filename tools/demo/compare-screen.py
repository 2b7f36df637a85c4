"""Compares a capture of the X screen with a frame the demo wrote headless.

usage: compare-screen.py SCREEN.png FRAME.png [X Y]

The frame must appear at (X, Y) of the screen (default 0, 0) with every
channel within 8 of the frame's (the window converts 16-bit pixels to 24
bits by its own rounding). Exits 1 with a report otherwise.
"""
import sys

from PIL import Image


def main(argv):
    screen = Image.open(argv[1]).convert("RGB")
    frame = Image.open(argv[2]).convert("RGB")
    x0, y0 = (int(argv[3]), int(argv[4])) if len(argv) > 4 else (0, 0)
    w, h = frame.size
    if screen.width < x0 + w or screen.height < y0 + h:
        print(f"screen {screen.size} cannot hold the {w}x{h} frame at {x0},{y0}")
        return 1
    shown = screen.crop((x0, y0, x0 + w, y0 + h)).getdata()
    wanted = frame.getdata()
    bad = 0
    worst = 0
    first = None
    for i, (a, b) in enumerate(zip(shown, wanted)):
        d = max(abs(a[0] - b[0]), abs(a[1] - b[1]), abs(a[2] - b[2]))
        worst = max(worst, d)
        if d > 8:
            bad += 1
            if first is None:
                first = (i % w, i // w, a, b)
    if bad:
        print(f"{bad} of {w * h} pixels differ by more than 8 (worst {worst}); first at {first}")
        return 1
    print(f"the screen shows the frame: {w * h} pixels within 8 (worst {worst})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
