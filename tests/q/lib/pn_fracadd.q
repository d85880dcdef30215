function [n, d] = pn_fracadd(n1, d1, n2, d2)
% n1/d1 + n2/d2 in lowest terms.
n = n1 * d2 + n2 * d1;
d = d1 * d2;
g = pn_gcd(abs(n), d);
n = n / g;
d = d / g;
