function d = pt_levenshtein(a, b)
% Edit distance by dynamic programming over a (m+1)-by-(n+1) matrix.
m = length(a);
n = length(b);
D = zeros(m + 1, n + 1);
D(:, 1) = (0:m)';
D(1, :) = 0:n;
for i = 1:m
  for j = 1:n
    cost = a(i) ~= b(j);
    D(i + 1, j + 1) = min([D(i, j + 1) + 1, D(i + 1, j) + 1, D(i, j) + cost]);
  end
end
d = D(end, end);
