function r = pf_twoargs(a, b)
% Uses b even when it is not given.
r = a + b;
