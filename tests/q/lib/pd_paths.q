function lines = pd_paths(v, prefix)
% Lists the leaves of nested structs and cells as 'path = value' lines.
if isstruct(v)
  lines = {};
  f = fieldnames(v);
  for k = 1:numel(f)
    lines = [lines, pd_paths(v.(f{k}), [prefix, '.', f{k}])];
  end
elseif iscell(v)
  lines = {};
  for k = 1:numel(v)
    lines = [lines, pd_paths(v{k}, sprintf('%s{%d}', prefix, k))];
  end
elseif ischar(v)
  lines = {sprintf('%s = ''%s''', prefix, v)};
else
  lines = {sprintf('%s = %s', prefix, mat2str(v))};
end
