function out = pf_defaults(a, b, c)
% Fills missing or empty inputs with defaults, counting what was given.
if nargin < 2 || isempty(b)
  b = 10;
end
if nargin < 3
  c = 'none';
end
out = sprintf('%d:%d:%d:%s', nargin, a, b, c);
