function varargout = count_checked(varargin)
% Takes one or two inputs and must be asked for at least one output.
narginchk(1, 2);
nargoutchk(1, Inf);
varargout = num2cell(1:nargout);
end
