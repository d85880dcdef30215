function r = pf_evalin(x)
% Evaluates text that reads and writes this function's variables.
eval('y = x * x;');
r = y;
