function g = pn_gcd(a, b)
% Greatest common divisor by Euclid's recursion.
if b == 0
  g = a;
else
  g = pn_gcd(b, mod(a, b));
end
