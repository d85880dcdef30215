function r = squares(a, b)
% The squares of a and b as a row, each from a local function.
r = [sq(a), sq(b)];

function y = sq(x)
y = x^2;
