function n = pt_frombase(s, base)
% Value of digits in a base up to 16 (either case).
digits = '0123456789ABCDEF';
n = 0;
for c = upper(s)
  n = n * base + (find(digits == c) - 1);
end
