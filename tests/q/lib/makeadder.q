function f = makeadder(n)
% A closure that adds n, captured when it is made.
f = @(x) x + n;
n = 1000;
