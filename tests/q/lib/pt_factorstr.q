function s = pt_factorstr(n)
% The prime factorization of n as text, like '2^3 * 3^2 * 5'.
parts = {};
p = 2;
while n > 1
  e = 0;
  while mod(n, p) == 0
    n = n / p;
    e = e + 1;
  end
  if e == 1
    parts{end + 1} = sprintf('%d', p);
  elseif e > 1
    parts{end + 1} = sprintf('%d^%d', p, e);
  end
  p = p + 1;
end
s = strjoin(parts, ' * ');
