function r = pf_missingidx(a, idx)
% Indexes with an input that may be missing.
r = a(idx) + 1;
