function v = pf_sortby(v, before)
% Stable insertion sort of an array, cell or struct array with a comparator handle.
for k = 2:numel(v)
  x = v(k);
  j = k - 1;
  while j >= 1 && before(x, v(j))
    v(j + 1) = v(j);
    j = j - 1;
  end
  v(j + 1) = x;
end
