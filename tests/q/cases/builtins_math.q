%% erf, erfc, gamma, gammaln: values, poles, shapes and classes
fprintf('%.4f ', erf([0 1 -1 Inf]), erfc([0 1])); fprintf('\n')
% expect: 0.0000 0.8427 -0.8427 1.0000 1.0000 0.1573
fprintf('%.4f ', gamma([5 0.5 -0.5]), gammaln([10 1 2])); fprintf('\n')
% expect: 24.0000 1.7725 -3.5449 12.8018 0.0000 0.0000
fprintf('%g ', gamma([0 -2 -Inf]), gammaln(0)); fprintf('\n')      % expect: Inf Inf NaN Inf
fprintf('%d %d %s %s\n', size(erfc(ones(2, 3))), class(gamma(single(3))), class(erf(true)))
% expect: 2 3 single double
%% inverse hyperbolic and reciprocal trigonometric functions
fprintf('%.4f ', asinh(1), acosh(2), atanh(0.5), sec(pi / 3), csc(pi / 6), cot(pi / 4))
fprintf('\n')                                  % expect: 0.8814 1.3170 0.5493 2.0000 2.0000 1.0000
fprintf('%.4f ', asec(2), acsc(2), acot([1 -1 0]), asinh(-1)); fprintf('\n')
% expect: 1.0472 0.5236 0.7854 -0.7854 1.5708 -0.8814
fprintf('%g %g %d\n', cot(0), acosh(1), isreal(acosh([1 2])))      % expect: Inf 0 1
%% outside the real domain the inverse functions give complex values, as sqrt does
% On a branch cut the zero imaginary part of a real input counts as +0.
z = [acosh(0.5), atanh(2), asec(0.5), acsc(0.5), asinh(1i)];
fprintf('%.4f ', real(z), imag(z)); fprintf('\n')
% expect: 0.0000 0.5493 0.0000 1.5708 0.0000 1.0472 1.5708 -1.3170 1.3170 1.5708
fprintf('%d %d\n', isreal(atanh([0.5 2])), isreal(atanh([0.5 -0.5])))   % expect: 0 1
%% pow2, beta and betaln, with implicit expansion
fprintf('%g ', pow2([0 1 -1 10]), pow2([1 2; 3 4], [1; -1])); fprintf('\n')
% expect: 1 2 0.5 1024 2 1.5 4 2
fprintf('%.4f ', beta(2, 3), beta([1 2 4], 1), beta(0.5, 0.5), betaln(2, 3)); fprintf('\n')
% expect: 0.0833 1.0000 0.5000 0.2500 3.1416 -2.4849
fprintf('%s %s %g\n', class(pow2(single(3))), class(beta(single(1), 2)), beta(0, 1))
% expect: single single Inf
%% the element-wise functions refuse complex input where they are real only, integers, negatives
try, erf(1i), catch err, disp(err.identifier), end                 % expect: Q:invalidInput
try, gamma(int8(2)), catch err, disp(err.identifier), end          % expect: Q:invalidInput
try, gammaln([1 -1]), catch err, disp(err.identifier), end         % expect: Q:invalidInput
try, beta(-1, 2), catch err, disp(err.identifier), end             % expect: Q:invalidInput
try, beta(1:2, 1:3), catch err, disp(err.identifier), end          % expect: Q:sizeMismatch
try, pow2(2, 1i), catch err, disp(err.identifier), end             % expect: Q:invalidInput
exist('qr')                                                        % expect: ans = 5
%% hilb, vander, pascal
fprintf('%g ', hilb(2), size(hilb(0))); fprintf('\n')              % expect: 1 0.5 0.5 0.333333 0 0
H = hilb(3);
fprintf('%.4f ', H(3, :)); fprintf('\n')                     % expect: 0.3333 0.2500 0.2000
fprintf('%g ', vander([2 3 4]), vander(5)); fprintf('\n')          % expect: 4 9 16 2 3 4 1 1 1 1
fprintf('%g ', pascal(4)); fprintf('\n')       % expect: 1 1 1 1 1 2 3 4 1 3 6 10 1 4 10 20
%% toeplitz and hankel: c wins where it meets r
fprintf('%g ', toeplitz([1 2 3], [9 5 6 7])); fprintf('\n')   % expect: 1 2 3 5 1 2 6 5 1 7 6 5
fprintf('%g ', toeplitz([1; 2; 3])); fprintf('\n')            % expect: 1 2 3 2 1 2 3 2 1
fprintf('%g ', hankel([1 2 3])); fprintf('\n')                % expect: 1 2 3 2 3 0 3 0 0
fprintf('%g ', hankel([1 2 3], [8 4 5 6]), size(hankel(1:2, 1:4))); fprintf('\n')
% expect: 1 2 3 2 3 4 3 4 5 4 5 6 2 4
%% ndgrid: the first input runs down the first dimension
[X, Y] = ndgrid(1:3, [10 20]);
fprintf('%g ', X, Y, size(X)); fprintf('\n')            % expect: 1 2 3 1 2 3 10 10 10 20 20 20 3 2
[a, b] = ndgrid([5 6]);
fprintf('%g ', a, b, size(ndgrid(1:4))); fprintf('\n')  % expect: 5 6 5 6 5 5 6 6 4 1
[~, ~, Z] = ndgrid(1:2, 3:4, [7 8]);
fprintf('%g ', size(Z), Z); fprintf('\n')               % expect: 2 2 2 7 7 7 7 8 8 8 8
%% gradient: central differences inside, one-sided at the ends, spacing
fprintf('%g ', gradient([1 4 9 16 25]), gradient([1 4 9], 0.5), gradient(7)); fprintf('\n')
% expect: 3 4 6 8 9 6 8 10 0
g = gradient([1; 4; 9]);
fprintf('%g ', g, size(g)); fprintf('\n')                           % expect: 3 4 5 3 1
[gx, gy] = gradient([1 2 4; 2 5 10], 2);
fprintf('%g ', gx, gy); fprintf('\n')          % expect: 0.5 1.5 0.75 2 1 2.5 0.5 0.5 1.5 1.5 3 3
%% the matrix makers refuse bad orders, matrices for vectors and N-d arrays
try, hilb(2.5), catch err, disp(err.identifier), end                % expect: Q:invalidInput
try, toeplitz(ones(2)), catch err, disp(err.identifier), end        % expect: Q:invalidInput
try, gradient(ones(2, 2, 2)), catch err, disp(err.identifier), end  % expect: Q:invalidInput
try, gradient(1:3, 0), catch err, disp(err.identifier), end         % expect: Q:invalidInput
try, vander([1 1i]), catch err, disp(err.identifier), end           % expect: Q:invalidInput
[a, b, c] = ndgrid(1:2, 1:3)                                        % expect-error: Q:TooManyOutputs
%% qr: full and economy sizes, Q orthogonal, R upper triangular
A = [1 2; 3 4; 5 6];
[Q, R] = qr(A);
fprintf('%d %d %d %d | %d %d\n', size(Q), size(R), norm(Q * R - A) < 1e-12, ...
        norm(Q' * Q - eye(3)) < 1e-12)                              % expect: 3 3 3 2 | 1 1
fprintf('%.4f ', abs(R(1:2, :)), R(3, :)); fprintf('\n')
% expect: 5.9161 0.0000 7.4374 0.8281 0.0000 0.0000
[Q, R] = qr(A, 0);
[Q2, R2] = qr(A, 'econ');
R3 = qr(A);
fprintf('%d %d %d %d %d %d\n', size(Q), size(R), isequal(R, R2, qr(A, 0)), isequal(R, R3(1:2, :)))
% expect: 3 2 2 2 1 1
[Q, R] = qr([3 1; 4 2]);
fprintf('%.4f ', abs(R), abs(Q)); fprintf('\n')
% expect: 5.0000 0.0000 2.2000 0.4000 0.6000 0.8000 0.8000 0.6000
%% lu: P*A = L*U, the permuted L of two outputs
[L, U, P] = lu([1 2; 3 4]);
fprintf('%.4f ', L, U, P); fprintf('\n')
% expect: 1.0000 0.3333 0.0000 1.0000 3.0000 0.0000 4.0000 0.6667 0.0000 1.0000 1.0000 0.0000
[L, U] = lu([1 2; 3 4]);
fprintf('%.4f ', L); fprintf('\n')                             % expect: 0.3333 1.0000 1.0000 0.0000
A = magic(4);
[L, U, P] = lu(A(:, 1:3));
fprintf('%d %d %d %d %d %d %d\n', size(L), size(U), size(P), norm(P * A(:, 1:3) - L * U) < 1e-12)
% expect: 4 3 3 3 4 4 1
%% chol: R'*R = A; [R, p] of a matrix that is not positive definite
fprintf('%.4f ', chol([4 2; 2 3])); fprintf('\n')             % expect: 2.0000 0.0000 1.0000 1.4142
[R, p] = chol([1 2; 2 1]);
fprintf('%g %d %d\n', R, size(R, 1), p)                        % expect: 1 1 2
[R, p] = chol([4 2; 2 3]);
fprintf('%d\n', p)                                             % expect: 0
chol([1 2; 2 1])                                               % expect-error: Q:notPositiveDefinite
%% cond, null and orth from the singular values
fprintf('%g ', cond([2 0; 0 1]), cond([1 0; 0 0]), cond([3 0 0; 0 4 0]), cond([])); fprintf('\n')
% expect: 2 Inf 1.33333 0
A = [1 2 3; 4 5 6];
N = null(A);
fprintf('%.4f ', abs(N)); fprintf('%d %d %d\n', size(N), norm(A * N) < 1e-12)
% expect: 0.4082 0.8165 0.4082 3 1 1
O = orth([1 1; 1 1]);
fprintf('%.4f ', abs(O), size(null(eye(2))), size(orth(A))); fprintf('\n')
% expect: 0.7071 0.7071 2.0000 0.0000 2.0000 2.0000
%% expm: exact exponentials of nilpotent, diagonal and rotation generators
fprintf('%.4f ', expm([0 6; 0 0]), expm([1 0; 0 2])); fprintf('\n')
% expect: 1.0000 0.0000 6.0000 1.0000 2.7183 0.0000 0.0000 7.3891
fprintf('%.4f ', expm([0 -1; 1 0]), expm(5), size(expm(zeros(0)))); fprintf('\n')
% expect: 0.5403 0.8415 -0.8415 0.5403 148.4132 0.0000 0.0000
%% roots: real and complex roots, leading and trailing zeros
r = roots([1 -3 2]);
fprintf('%g ', sort(r), size(r), isreal(r)); fprintf('\n')           % expect: 1 2 2 1 1
r = roots([0 1 -1 0 0]);
fprintf('%g ', sort(r), isempty(roots(5)), isempty(roots([0 0]))); fprintf('\n')
% expect: 0 0 1 1 1
r = roots([1 -1 1 -1]);
[~, order] = sort(imag(r));
fprintf('%g ', round([real(r(order)); imag(r(order))] * 1e6) / 1e6 + 0, isreal(r)); fprintf('\n')
% expect: 0 1 0 -1 0 1 0
%% the decompositions refuse complex input, bad options and shapes
try, qr([1 2], 'x'), catch err, disp(err.identifier), end          % expect: Q:invalidInput
try, lu([1 1i]), catch err, disp(err.identifier), end              % expect: Q:invalidInput
try, chol([1 2 3]), catch err, disp(err.identifier), end           % expect: Q:squareMatrix
try, expm([1 2 3]), catch err, disp(err.identifier), end           % expect: Q:squareMatrix
try, roots([1 NaN]), catch err, disp(err.identifier), end          % expect: Q:invalidInput
try, roots(ones(2)), catch err, disp(err.identifier), end          % expect: Q:invalidInput
try, cond(ones(2), 1), catch err, disp(err.identifier), end        % expect: Q:invalidInput
