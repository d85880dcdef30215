function r = pc_parity(n)
% Whether n is even, by mutual recursion of two local functions.
r = iseven(n);
end

function r = iseven(n)
if n == 0
  r = true;
else
  r = isodd(n - 1);
end
end

function r = isodd(n)
if n == 0
  r = false;
else
  r = iseven(n - 1);
end
end
