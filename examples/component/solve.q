function [x, residual] = solve(A, b)
% SOLVE  The solution of the linear system A*x = b, and the norm of what is left over.
if size(A, 1) ~= size(A, 2)
  error('demo:notSquare', 'The matrix must be square, not %d-by-%d.', size(A, 1), size(A, 2));
end
x = A \ b;
residual = norm(A * x - b);
end
