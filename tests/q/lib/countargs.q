function varargout = countargs(varargin)
% Returns nargin first, then each input, as many values as asked for.
values = [{nargin}, varargin];
for k = 1:max(nargout, 1)
  varargout{k} = values{k};
end
