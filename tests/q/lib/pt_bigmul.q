function s = pt_bigmul(a, b)
% The product of two non-negative integers written as decimal texts, digit by digit.
x = a(end:-1:1) - '0';
y = b(end:-1:1) - '0';
r = zeros(1, numel(x) + numel(y));
for i = 1:numel(x)
  for j = 1:numel(y)
    r(i + j - 1) = r(i + j - 1) + x(i) * y(j);
  end
end
for k = 1:numel(r) - 1
  r(k + 1) = r(k + 1) + floor(r(k) / 10);
  r(k) = mod(r(k), 10);
end
k = find(r, 1, 'last');
if isempty(k)
  s = '0';
  return
end
s = char(r(k:-1:1) + '0');
