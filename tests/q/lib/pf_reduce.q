function acc = pf_reduce(f, list, acc)
% Folds f(acc, element) over a cell or an array, left to right.
if iscell(list)
  for k = 1:numel(list)
    acc = f(acc, list{k});
  end
else
  for k = 1:numel(list)
    acc = f(acc, list(k));
  end
end
