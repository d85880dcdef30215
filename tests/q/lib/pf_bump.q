function s = pf_bump(s)
% Adds 100 to the first element of s.data.v in its own copy.
s.data.v(1) = s.data.v(1) + 100;
