function j = lp_empty(n, m)
% The variable of the last inner loop, which runs over no values when m is 0.
total = 0;
for i = 1:n
  for j = 1:m
    total = total + j;
  end
end
