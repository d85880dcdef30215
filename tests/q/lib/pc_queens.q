function count = pc_queens(n, cols)
% Number of ways to place n queens; cols holds the columns of the rows placed so far.
if nargin < 2
  cols = [];
end
row = numel(cols) + 1;
if row > n
  count = 1;
  return
end
count = 0;
for c = 1:n
  ok = true;
  for r = 1:numel(cols)
    if cols(r) == c || abs(cols(r) - c) == row - r
      ok = false;
      break
    end
  end
  if ok
    count = count + pc_queens(n, [cols, c]);
  end
end
