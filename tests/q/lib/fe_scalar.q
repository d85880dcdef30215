function out = fe_scalar(v)
% Element arithmetic in a function: computed on scalars where every operand is a real scalar,
% the usual way (copies unshared, growth, complex results, errors) where not.
w = v;
v(2) = v(1) * 10 + sqrt(v(3));
v(5) = -v(2) / 2;
r = sqrt(v(1) - 10) * 2;
out = {v, w, r};
end
