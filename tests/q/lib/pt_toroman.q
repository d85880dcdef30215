function r = pt_toroman(n)
% Roman numeral of a positive integer below 4000.
vals = [1000 900 500 400 100 90 50 40 10 9 5 4 1];
syms = {'M', 'CM', 'D', 'CD', 'C', 'XC', 'L', 'XL', 'X', 'IX', 'V', 'IV', 'I'};
r = '';
for k = 1:numel(vals)
  while n >= vals(k)
    r = [r, syms{k}];
    n = n - vals(k);
  end
end
