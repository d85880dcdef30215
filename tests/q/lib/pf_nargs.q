function varargout = pf_nargs(varargin)
% Reports nargin and nargout, and returns its inputs.
fprintf('in=%d out=%d\n', nargin, nargout);
for k = 1:nargout
  varargout{k} = varargin{k};
end
