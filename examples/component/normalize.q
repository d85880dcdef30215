function y = normalize(x)
% NORMALIZE  Shift and scale x to mean 0 and standard deviation 1.
%   A constant input has no spread to scale by: that is an error with the identifier
%   demo:constantInput.
[m, s] = stats(x);
if s == 0
  error('demo:constantInput', 'Cannot normalize %d values that are all equal to %g.', ...
        numel(x), m);
end
y = (x - m) / s;
end
