function [m, s] = stats(x)
% STATS  Mean and standard deviation of the values of x.
%   [m, s] = stats(x) treats x as one list of values, whatever its shape.
values = x(:);
m = sum(values) / numel(values);
s = spread(values, m);
end

function s = spread(values, m)
% The sample standard deviation around the mean m.
if numel(values) < 2
  s = 0;
else
  s = sqrt(sum((values - m) .^ 2) / (numel(values) - 1));
end
end
