function varargout = spread(varargin)
% Returns each input times 10 as a separate output.
for k = 1:max(nargout, 1)
  varargout{k} = varargin{k} * 10;
end
