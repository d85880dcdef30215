function r = pn_isqrt(n)
% The largest integer whose square is at most n, by binary search.
lo = 0;
hi = n;
while lo < hi
  mid = ceil((lo + hi) / 2);
  if mid * mid <= n
    lo = mid;
  else
    hi = mid - 1;
  end
end
r = lo;
