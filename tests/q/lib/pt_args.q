function [opts, pos] = pt_args(argv)
% Parses command-line words: --name=value, --flag, -abc (one flag per letter), '--' ends the
% options; the other words are positional.
opts = struct();
pos = {};
k = 1;
while k <= numel(argv)
  a = argv{k};
  if strcmp(a, '--')
    pos = [pos, argv(k + 1:end)];
    break
  end
  t = regexp(a, '^--(\w+)(=(.*))?$', 'tokens', 'once');
  if ~isempty(t)
    if isempty(t{2})
      opts.(t{1}) = true;
    else
      opts.(t{1}) = t{3};
    end
  elseif numel(a) > 1 && a(1) == '-'
    for c = a(2:end)
      opts.(c) = true;
    end
  else
    pos{end + 1} = a;
  end
  k = k + 1;
end
