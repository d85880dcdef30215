# mandelbrot: the n by n bitmap of the Mandelbrot set over [-1.5, 0.5] x [-1, 1], 50 iterations
# at most; prints how many points are inside and a checksum of the bitmap packed eight points to a
# byte, rows in order.
import sys


def main(n):
    inside = checksum = 0
    for y in range(n):
        ci = 2 * y / n - 1
        bits = bit_count = 0
        for x in range(n):
            cr = 2 * x / n - 1.5
            zr = zi = tr = ti = 0.0
            point = 1
            for i in range(50):
                zi = 2 * zr * zi + ci
                zr = tr - ti + cr
                tr = zr * zr
                ti = zi * zi
                if tr + ti > 4:
                    point = 0
                    break
            inside = inside + point
            bits = bits * 2 + point
            bit_count = bit_count + 1
            if bit_count == 8:
                checksum = (checksum * 31 + bits) % 1000000007
                bits = bit_count = 0
        if bit_count > 0:
            bits = bits * 2 ** (8 - bit_count)
            checksum = (checksum * 31 + bits) % 1000000007
    print("%d points inside\nchecksum %d" % (inside, checksum))


main(int(sys.argv[1]) if len(sys.argv) > 1 else 1200)
