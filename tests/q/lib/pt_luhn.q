function ok = pt_luhn(digits)
% The Luhn check of a text of decimal digits.
d = digits(end:-1:1) - '0';
d(2:2:end) = d(2:2:end) * 2;
d(d > 9) = d(d > 9) - 9;
ok = mod(sum(d), 10) == 0;
