function d = pn_cofactor(A)
% Determinant by cofactor expansion along the first row.
n = size(A, 1);
if n == 1
  d = A;
  return
end
d = 0;
for j = 1:n
  M = A(2:end, :);
  M(:, j) = [];
  d = d + (-1)^(j + 1) * A(1, j) * pn_cofactor(M);
end
