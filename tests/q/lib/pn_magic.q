function M = pn_magic(n)
% Magic square of odd order by the Siamese method.
if mod(n, 2) == 0
  error('pn:even', 'order %d is not odd', n);
end
M = zeros(n);
i = 1;
j = (n + 1) / 2;
for k = 1:n^2
  M(i, j) = k;
  ni = mod(i - 2, n) + 1;
  nj = mod(j, n) + 1;
  if M(ni, nj) ~= 0
    ni = mod(i, n) + 1;
    nj = j;
  end
  i = ni;
  j = nj;
end
