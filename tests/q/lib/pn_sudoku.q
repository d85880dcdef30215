function [ok, where] = pn_sudoku(G)
% Checks a filled n^2-by-n^2 sudoku grid: rows, columns and boxes hold 1..n^2 once each.
N = size(G, 1);
n = round(sqrt(N));
want = 1:N;
ok = true;
where = '';
for k = 1:N
  if ~isequal(sort(G(k, :)), want)
    ok = false; where = sprintf('row %d', k); return
  end
  if ~isequal(sort(G(:, k))', want)
    ok = false; where = sprintf('column %d', k); return
  end
end
for r = 1:n:N
  for c = 1:n:N
    box = G(r:r + n - 1, c:c + n - 1);
    if ~isequal(sort(box(:))', want)
      ok = false; where = sprintf('box at %d,%d', r, c); return
    end
  end
end
