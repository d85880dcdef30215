function varargout = pf_fwd(f, varargin)
% Forwards its arguments to f and f's outputs to its caller, as many as asked for.
[varargout{1:nargout}] = f(varargin{:});
