function text = greet(name, times)
% GREET  A greeting for name, repeated times times (default 1), as one line.
if nargin < 2
  times = 1;
end
parts = cell(1, times);
for k = 1:times
  parts{k} = sprintf('Hello, %s!', upper(strtrim(name)));
end
text = strjoin(parts, ' ');
end
