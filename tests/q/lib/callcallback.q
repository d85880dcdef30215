function r = callcallback(f, x)
r = f(x);
