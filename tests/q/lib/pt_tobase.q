function s = pt_tobase(n, base)
% Digits of a non-negative integer in a base up to 16.
digits = '0123456789ABCDEF';
if n == 0
  s = '0';
  return
end
s = '';
while n > 0
  s = [digits(mod(n, base) + 1), s];
  n = floor(n / base);
end
