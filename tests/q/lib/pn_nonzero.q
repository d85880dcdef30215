function x = pn_nonzero(x)
% Returns x, or raises pn:zero for zero.
if x == 0
  error('pn:zero', 'zero is not allowed');
end
