function r = pf_readlocal()
% Reads a local variable that is never assigned.
if false
  t = 1;
end
r = t;
