function s = pn_polystr(c)
% The text of a polynomial from its coefficients, highest power first.
n = numel(c) - 1;
s = '';
for k = 1:numel(c)
  a = c(k);
  p = n - k + 1;
  if a == 0
    continue
  end
  if isempty(s)
    if a < 0
      s = '-';
    end
  elseif a < 0
    s = [s, ' - '];
  else
    s = [s, ' + '];
  end
  a = abs(a);
  if a ~= 1 || p == 0
    s = [s, num2str(a)];
  end
  if p >= 1
    s = [s, 'x'];
    if p > 1
      s = [s, '^', num2str(p)];
    end
  end
end
if isempty(s)
  s = '0';
end
