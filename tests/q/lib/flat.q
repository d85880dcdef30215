function r = flat(c)
% The numbers of nested cells, in order, as one row.
r = [];
for k = 1:numel(c)
  if iscell(c{k})
    r = [r, flat(c{k})];
  else
    r = [r, c{k}];
  end
end
