function s = pn_simpson(f, a, b, n)
% Composite Simpson rule with n (even) intervals; f takes a vector.
if mod(n, 2) ~= 0
  error('pn:odd', 'n must be even, got %d', n);
end
h = (b - a) / n;
x = a + (0:n) * h;
w = 2 * ones(1, n + 1);
w(2:2:n) = 4;
w([1 end]) = 1;
s = h / 3 * sum(w .* f(x));
