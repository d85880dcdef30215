function r = deepcount(n)
% Recurses n levels deep, then returns n.
if n <= 1
  r = 1;
else
  r = 1 + deepcount(n - 1);
end
