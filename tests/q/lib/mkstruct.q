function s = mkstruct(n)
% A 1-by-n struct array: s(k).v is k and s(k).name is 'ek'.
for k = 1:n
  s(k).v = k;
  s(k).name = sprintf('e%d', k);
end
