function s = std2(v)
% The standard deviation of the values of v.
m = mean(v(:));
s = sqrt(sum((v(:) - m).^2) / (numel(v) - 1));
