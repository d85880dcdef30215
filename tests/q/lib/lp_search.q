function [r, c] = lp_search(M, target)
% The first row and column holding target, scanning rows; -1 -1 when there is none.
r = -1;
c = -1;
i = 0;
while true
  i = i + 1;
  if i > size(M, 1)
    return;
  end
  for j = 1:size(M, 2)
    if M(i, j) ~= target
      continue;
    end
    r = i;
    c = j;
    return;
  end
end
