function r = pf_earlyret(v)
% The first negative element, or 0; returns from inside nested loops.
r = 0;
for i = 1:size(v, 1)
  for j = 1:size(v, 2)
    if v(i, j) < 0
      r = v(i, j);
      return
    end
  end
end
