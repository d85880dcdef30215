function r = pf_shadowfn()
x = max([1 5 2]);
max = 3;
r = x + max;
