function [x, warned] = pc_solve(A, b)
% Solves A*x = b and says whether a near-singular matrix made the solver warn; the warning is
% turned off meanwhile and detected through lastwarn, then its state is restored.
old = warning('off', 'pc:singular');
lastwarn('');
if abs(det(A)) < 1e-12
  warning('pc:singular', 'matrix is singular to working precision (det %g)', det(A));
end
x = A \ b;
[msg, id] = lastwarn();
warned = strcmp(id, 'pc:singular') && ~isempty(msg);
warning(old);
