function r = useprivate(x)
r = hidden(x) + 1;
