function x = pn_gauss(A, b)
% Solves A*x = b by Gaussian elimination with partial pivoting.
n = size(A, 1);
M = [A, b];
for i = 1:n
  [~, p] = max(abs(M(i:n, i)));
  p = p + i - 1;
  M([i p], :) = M([p i], :);
  for r = i + 1:n
    M(r, :) = M(r, :) - M(r, i) / M(i, i) * M(i, :);
  end
end
x = zeros(n, 1);
for i = n:-1:1
  x(i) = (M(i, end) - M(i, i + 1:n) * x(i + 1:n)) / M(i, i);
end
