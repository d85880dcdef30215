function [a, b] = pf_half(x)
a = x;
if x > 0
  b = x / 2;
end
