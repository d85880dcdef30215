function s = qs(v)
% Quicksort: the first element is the pivot.
if numel(v) <= 1
  s = v;
  return
end
p = v(1);
rest = v(2:end);
s = [qs(rest(rest < p)), p, qs(rest(rest >= p))];
