function fe_fused(v, w, k, j)
% Scalar arithmetic whose right operands are variables, numbers and elements v(k) with k a
% variable, and elements read on their own: every form of + - * /, then one whose element is
% an int8 (computed the usual way).
a = v(k) + w(j);
b = v(k) - w(j);
c = v(k) * w(j);
d = (v(k) + w(k)) / v(1);
e = a - k * 2;
f = c - a / j;
g = -v(j) + 4;
h = v(k) - v(j) - w(k);
m = 12 / v(j) * w(1);
n = k * j - v(k) * 1.5;
q = int8([1 2 3]);
p = a + q(j);
fprintf('%g %g %g %g %g %g %g %g %g %g %d %s\n', a, b, c, d, e, f, g, h, m, n, p, class(p));
end
