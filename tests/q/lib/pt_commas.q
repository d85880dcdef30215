function s = pt_commas(n)
% An integer with thousands separators, built by inserting commas from the right.
neg = n < 0;
digits = sprintf('%d', abs(n));
k = length(digits) - 3;
while k > 0
  digits = [digits(1:k), ',', digits(k + 1:end)];
  k = k - 3;
end
if neg
  s = ['-', digits];
else
  s = digits;
end
