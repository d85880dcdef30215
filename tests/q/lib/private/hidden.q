function r = hidden(x)
r = 10 * x;
