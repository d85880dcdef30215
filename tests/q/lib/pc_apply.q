function out = pc_apply(f, varargin)
% Calls f with as many of the given arguments as it declares (all of them for varargin).
n = nargin(f);
if n < 0
  out = f(varargin{:});
else
  out = f(varargin{1:min(n, numel(varargin))});
end
