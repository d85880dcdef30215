function varargout = pc_stats(v)
% min, max, mean and range, as many as asked for; without outputs it prints them.
names = {'min', 'max', 'mean', 'range'};
vals = {min(v), max(v), mean(v), max(v) - min(v)};
if nargout == 0
  for k = 1:numel(names)
    fprintf('%s=%g ', names{k}, vals{k});
  end
  fprintf('\n');
  return
end
if nargout > numel(vals)
  error('stats:outputs', 'at most %d outputs, %d asked', numel(vals), nargout);
end
varargout = vals(1:nargout);
