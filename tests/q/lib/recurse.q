function r = recurse(n)
r = recurse(n + 1);
