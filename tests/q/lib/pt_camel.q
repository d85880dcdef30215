function out = pt_camel(s)
% snake_case to camelCase.
parts = strsplit(s, '_');
for k = 2:numel(parts)
  if ~isempty(parts{k})
    parts{k}(1) = upper(parts{k}(1));
  end
end
out = strjoin(parts, '');
