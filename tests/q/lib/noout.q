function r = noout(x)
if x > 0
  r = x;
end
