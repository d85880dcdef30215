function n = pf_capvarargin(varargin)
% An anonymous function that reads the varargin of the function it is made in.
count = @() numel(varargin);
n = count();
