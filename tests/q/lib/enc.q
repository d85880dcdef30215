function t = enc(v)
% Encodes a value as JSON-like text: a char row as a string, a cell as a list, a scalar struct as
% an object, a scalar as a number, any other array as a list of numbers.
if ischar(v)
  t = ['"', v, '"'];
elseif iscell(v)
  t = ['[', strjoin(cellfun(@enc, v, 'UniformOutput', false), ','), ']'];
elseif isstruct(v)
  keys = fieldnames(v);
  parts = cell(1, numel(keys));
  for k = 1:numel(keys)
    parts{k} = sprintf('"%s":%s', keys{k}, enc(v.(keys{k})));
  end
  t = ['{', strjoin(parts, ','), '}'];
elseif isscalar(v)
  t = sprintf('%g', v);
else
  t = ['[', strjoin(arrayfun(@enc, v, 'UniformOutput', false), ','), ']'];
end
