function [L, U, p] = pn_lu(A)
% LU factorization with partial pivoting: A(p, :) = L * U.
n = size(A, 1);
p = 1:n;
L = eye(n);
U = A;
for k = 1:n - 1
  [~, m] = max(abs(U(k:n, k)));
  m = m + k - 1;
  U([k m], :) = U([m k], :);
  L([k m], 1:k - 1) = L([m k], 1:k - 1);
  p([k m]) = p([m k]);
  for i = k + 1:n
    L(i, k) = U(i, k) / U(k, k);
    U(i, :) = U(i, :) - L(i, k) * U(k, :);
  end
end
