function [v, count] = pn_sorts(v, method)
% Sorts a row vector by 'bubble' (count: swaps), 'insertion' (count: shifts) or 'merge'
% (count: comparisons), written with local functions.
switch method
  case 'bubble'
    [v, count] = bubble(v);
  case 'insertion'
    [v, count] = insertion(v);
  case 'merge'
    [v, count] = mergesort(v);
  otherwise
    error('pn:method', 'unknown method ''%s''', method);
end
end

function [v, swaps] = bubble(v)
swaps = 0;
n = numel(v);
swapped = true;
while swapped
  swapped = false;
  for k = 1:n - 1
    if v(k) > v(k + 1)
      v([k, k + 1]) = v([k + 1, k]);
      swaps = swaps + 1;
      swapped = true;
    end
  end
  n = n - 1;
end
end

function [v, shifts] = insertion(v)
shifts = 0;
for k = 2:numel(v)
  x = v(k);
  j = k - 1;
  while j >= 1 && v(j) > x
    v(j + 1) = v(j);
    j = j - 1;
    shifts = shifts + 1;
  end
  v(j + 1) = x;
end
end

function [v, cmps] = mergesort(v)
cmps = 0;
if numel(v) <= 1
  return
end
mid = floor(numel(v) / 2);
[a, ca] = mergesort(v(1:mid));
[b, cb] = mergesort(v(mid + 1:end));
cmps = ca + cb;
v = zeros(1, numel(a) + numel(b));
i = 1;
j = 1;
for k = 1:numel(v)
  if j > numel(b) || (i <= numel(a) && a(i) <= b(j))
    if j <= numel(b)
      cmps = cmps + 1;
    end
    v(k) = a(i);
    i = i + 1;
  else
    if i <= numel(a)
      cmps = cmps + 1;
    end
    v(k) = b(j);
    j = j + 1;
  end
end
end
