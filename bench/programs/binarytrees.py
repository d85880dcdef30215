# binary-trees: builds many complete binary trees bottom up, counts their nodes, and keeps one
# long-lived tree meanwhile. A node is a tuple (left, right); a leaf is an empty tuple.
import sys


def bottom_up_tree(depth):
    if depth > 0:
        depth = depth - 1
        return (bottom_up_tree(depth), bottom_up_tree(depth))
    else:
        return ()


def item_check(tree):
    if tree:
        return 1 + item_check(tree[0]) + item_check(tree[1])
    else:
        return 1


def main(n):
    min_depth = 4
    max_depth = max(min_depth + 2, n)
    stretch_depth = max_depth + 1
    print("stretch tree of depth %d\t check: %d"
          % (stretch_depth, item_check(bottom_up_tree(stretch_depth))))
    long_lived_tree = bottom_up_tree(max_depth)
    for depth in range(min_depth, max_depth + 1, 2):
        iterations = 2 ** (max_depth - depth + min_depth)
        check = 0
        for i in range(iterations):
            check = check + item_check(bottom_up_tree(depth))
        print("%d\t trees of depth %d\t check: %d" % (iterations, depth, check))
    print("long lived tree of depth %d\t check: %d" % (max_depth, item_check(long_lived_tree)))


main(int(sys.argv[1]) if len(sys.argv) > 1 else 15)
