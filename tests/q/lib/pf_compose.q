function h = pf_compose(varargin)
% pf_compose(f1, f2, ..., fn) is @(x) f1(f2(...fn(x))); with no arguments the identity.
h = @(x) x;
for k = 1:numel(varargin)
  prev = h;
  f = varargin{k};
  h = @(x) prev(f(x));
end
