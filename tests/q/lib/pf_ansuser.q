function r = pf_ansuser()
% Uses ans inside a function.
3 + 4;
r = ans * 2;
