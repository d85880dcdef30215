# fannkuch-redux: for every permutation of 0..n-1, counts the prefix reversals ("flips") that
# bring 0 to the front; prints a checksum of the counts and the largest count.
import sys


def main(n):
    perm1 = list(range(n))
    count = [0] * n
    max_flips = checksum = permutation_count = 0
    r = n
    while True:
        while r != 1:
            count[r - 1] = r
            r = r - 1

        perm = perm1[:]
        flips = 0
        k = perm[0]
        while k != 0:
            i, j = 0, k
            while i < j:
                perm[i], perm[j] = perm[j], perm[i]
                i = i + 1
                j = j - 1
            flips = flips + 1
            k = perm[0]
        if flips > max_flips:
            max_flips = flips
        if permutation_count % 2 == 0:
            checksum = checksum + flips
        else:
            checksum = checksum - flips

        # The next permutation: rotate the first r + 1 elements until a counter runs out.
        while True:
            if r == n:
                print("%d\nPfannkuchen(%d) = %d" % (checksum, n, max_flips))
                return
            first = perm1[0]
            for i in range(r):
                perm1[i] = perm1[i + 1]
            perm1[r] = first
            count[r] = count[r] - 1
            if count[r] > 0:
                break
            r = r + 1
        permutation_count = permutation_count + 1


main(int(sys.argv[1]) if len(sys.argv) > 1 else 10)
