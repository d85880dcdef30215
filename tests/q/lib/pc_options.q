function opts = pc_options(varargin)
% Name/value options over defaults; a leading struct gives defaults too.
opts = struct('width', 80, 'mode', 'plain', 'verbose', false);
args = varargin;
if ~isempty(args) && isstruct(args{1})
  given = args{1};
  f = fieldnames(given);
  for k = 1:numel(f)
    opts.(f{k}) = given.(f{k});
  end
  args(1) = [];
end
if mod(numel(args), 2) ~= 0
  error('opts:pairs', 'options come in name/value pairs (%d arguments)', numel(args));
end
for k = 1:2:numel(args)
  name = args{k};
  if ~ischar(name)
    error('opts:name', 'option name %d is not text', (k + 1) / 2);
  end
  name = lower(name);
  if ~isfield(opts, name)
    error('opts:unknown', 'unknown option ''%s''', name);
  end
  opts.(name) = args{k + 1};
end
