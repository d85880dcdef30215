function [x, n] = pn_newton(f, df, x, tol, maxit)
% Newton's iteration from x until a step is smaller than tol.
for n = 1:maxit
  step = f(x) / df(x);
  x = x - step;
  if abs(step) < tol
    return
  end
end
error('pn:noconv', 'no convergence after %d steps', maxit);
