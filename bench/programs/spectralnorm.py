# spectral-norm: the largest singular value of the infinite matrix A(i,j) = 1/((i+j)(i+j+1)/2+i+1)
# cut to n by n, by ten rounds of the power method on A'A.
import math
import sys


def a(i, j):
    ij = i + j
    return 1.0 / (ij * (ij + 1) / 2 + i + 1)


def multiply_av(v, av, count):
    for i in range(count):
        total = 0.0
        for j in range(count):
            total = total + a(i, j) * v[j]
        av[i] = total


def multiply_atv(v, atv, count):
    for i in range(count):
        total = 0.0
        for j in range(count):
            total = total + a(j, i) * v[j]
        atv[i] = total


def multiply_atav(v, atav, temporary, count):
    multiply_av(v, temporary, count)
    multiply_atv(temporary, atav, count)


def main(n):
    u = [1.0] * n
    v = [0.0] * n
    temporary = [0.0] * n
    for round in range(10):
        multiply_atav(u, v, temporary, n)
        multiply_atav(v, u, temporary, n)
    vbv = vv = 0.0
    for i in range(n):
        vbv = vbv + u[i] * v[i]
        vv = vv + v[i] * v[i]
    print("%.9f" % math.sqrt(vbv / vv))


main(int(sys.argv[1]) if len(sys.argv) > 1 else 800)
