#!/usr/bin/env python3
"""Generates the 40 x 40 dispersed screen used by ordered dither method 5.

Rows 0 and 1 are the fixed reference rows of the screen. The other 1520 cells are
filled level by level: at threshold level v (1..254) the cells whose threshold is at
most v must number round(1600 * v / 254); the missing cells are taken one at a time
from the largest void of those already on (lowest Gaussian energy, sigma 1.5, on the
40 x 40 torus), which keeps every level's dot pattern evenly spread (blue noise).
Value 255 is never used, so the screen holds 254 distinct values in 1..254.

Prints the C++ initialiser rows; the result is pasted into threshold_matrices.h.
"""
import math

SIZE = 40
SIGMA = 1.5
LEVELS = 254

ROW0 = [1, 154, 250, 72, 132, 30, 186, 228, 93, 108, 7, 162, 253, 63, 139, 36, 192, 234,
        99, 103, 2, 155, 251, 70, 131, 30, 184, 227, 92, 111, 10, 163, 254, 65, 140, 37,
        194, 237, 101, 102]
ROW1 = [51, 140, 38, 194, 218, 81, 119, 17, 172, 247, 58, 148, 45, 201, 213, 86, 125, 24,
        178, 239, 52, 143, 40, 196, 221, 79, 118, 17, 170, 247, 59, 150, 47, 204, 215, 88,
        127, 25, 180, 237]


def torus_kernel():
    """Gaussian weight for every torus offset (dy, dx)."""
    k = [[0.0] * SIZE for _ in range(SIZE)]
    for dy in range(SIZE):
        for dx in range(SIZE):
            ddy = min(dy, SIZE - dy)
            ddx = min(dx, SIZE - dx)
            k[dy][dx] = math.exp(-(ddx * ddx + ddy * ddy) / (2 * SIGMA * SIGMA))
    return k


def main():
    kernel = torus_kernel()
    value = [[0] * SIZE for _ in range(SIZE)]
    value[0] = list(ROW0)
    value[1] = list(ROW1)
    energy = [[0.0] * SIZE for _ in range(SIZE)]
    on = [[False] * SIZE for _ in range(SIZE)]
    count = 0

    def switch_on(y, x):
        nonlocal count
        on[y][x] = True
        count += 1
        for yy in range(SIZE):
            krow = kernel[(yy - y) % SIZE]
            erow = energy[yy]
            for xx in range(SIZE):
                erow[xx] += krow[(xx - x) % SIZE]

    for level in range(1, LEVELS + 1):
        for y in range(2):
            for x in range(SIZE):
                if value[y][x] == level:
                    switch_on(y, x)
        target = round(SIZE * SIZE * level / LEVELS)
        while count < target:
            best = None
            for y in range(2, SIZE):
                for x in range(SIZE):
                    if not on[y][x] and (best is None or energy[y][x] < best[0]):
                        best = (energy[y][x], y, x)
            _, y, x = best
            value[y][x] = level
            switch_on(y, x)

    for row in value:
        print("    " + ", ".join("%3d" % v for v in row) + ",")


if __name__ == "__main__":
    main()
