function [x, iters] = pn_bisect(f, a, b, tol)
% A root of f in [a, b] by bisection; the ends must bracket a sign change.
if sign(f(a)) == sign(f(b))
  error('pn:bracket', 'f(%g) and f(%g) have the same sign', a, b);
end
iters = 0;
while (b - a) / 2 > tol
  iters = iters + 1;
  m = (a + b) / 2;
  if sign(f(m)) == sign(f(a))
    a = m;
  else
    b = m;
  end
end
x = (a + b) / 2;
