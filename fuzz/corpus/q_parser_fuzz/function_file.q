function [total, varargout] = accumulate(values, ~, varargin)
% ACCUMULATE  adds values.
%{
  Block help
%}
total = helper(values(1:end-1, :)');
[a, ~, c(2)] = size(total);
varargout = {a, c};
end

function y = helper(x)
y = x(min(end, 3)) .^ -2 + s.f{end}.(name);
end
