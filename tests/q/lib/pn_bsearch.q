function [idx, steps] = pn_bsearch(v, x)
% Index of x in the sorted vector v, or minus the index where it would be inserted.
lo = 1;
hi = numel(v);
steps = 0;
while lo <= hi
  steps = steps + 1;
  mid = floor((lo + hi) / 2);
  if v(mid) == x
    idx = mid;
    return
  elseif v(mid) < x
    lo = mid + 1;
  else
    hi = mid - 1;
  end
end
idx = -lo;
