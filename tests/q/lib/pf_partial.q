function g = pf_partial(f, varargin)
% Binds the leading arguments of f.
bound = varargin;
g = @(varargin) f(bound{:}, varargin{:});
