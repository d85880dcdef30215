function r = localfns(x)
r = twice(x) + square(x);
end

function y = twice(x)
y = 2 * x;
end

function y = square(x)
y = x ^ 2;
end
