function [a, b, c] = pf_outs()
% Computes only the outputs asked for.
a = 1;
if nargout > 1
  b = 2;
end
if nargout > 2
  c = 3;
end
