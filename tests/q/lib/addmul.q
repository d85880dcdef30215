function [s, p] = addmul(a, b)
% addmul(a, b): the sum and, when asked for, the product.
s = a + b;
if nargout > 1
  p = a * b;
end
