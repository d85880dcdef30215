%% round to a number of digits after or before the point
fprintf('%g %g %g\n', round(pi, 2), round(1234.5678, -2), round(-2.5, 0));   % expect: 3.14 1200 -3
fprintf('%g %g\n', round(0.125, 1), round(123, 1));   % expect: 0.1 123
%% round with digits keeps the class and rounds complex parts separately
disp(class(round(single(1.25), 1)))       % expect: single
disp(round(int8(125), -1))                % expect: 127
z = round(1.26 + 2.71i, 1);
fprintf('%g %g\n', real(z), imag(z));     % expect: 1.3 2.7
disp(size(round([], 2)))                  % expect: 0 0
%% round with digits leaves 64-bit integers exact
x = int64(2)^53 + 1;
fprintf('%d %s\n', round(x, 2), class(round(x, 2)));   % expect: 9007199254740993 int64
disp(round(int16(1234), -2))              % expect: 1200
%% round needs a whole number of digits
round(1, 1.5)                             % expect-error: Q:invalidInput
%% money amounts rounded to cents before printing
prices = [19.999 5.004 0.125];
fprintf('%.2f ', round(prices * 1.1, 2)); fprintf('\n');   % expect: 22.00 5.50 0.14
%% size with a dimension and several outputs
A = ones(2, 3, 4);
fprintf('%d %d %d %d\n', size(A, 1), size(A, 3), size(A, 4), numel(A));   % expect: 2 4 1 24
[r, c, p] = size(ones(2, 3));
disp([r c p])                             % expect: 2 3 1
%% length and numel of text, cells and empties
fprintf('%d %d %d %d\n', length('abc'), length({1, 2, 3, 4}), length(''), numel(zeros(3, 0)));   % expect: 3 4 0 0
%% cat joins along any dimension
disp(size(cat(1, [1 2], [3 4])))          % expect: 2 2
disp(size(cat(2, [1 2], [3 4])))          % expect: 1 4
disp(size(cat(3, [1 2], [3 4])))          % expect: 1 2 2
%% horzcat and vertcat as functions
disp(horzcat([1 2], 3))                   % expect: 1 2 3
disp(vertcat([1 2], [3 4]))
% expect: 1 2
% expect: 3 4
%% permute and squeeze rearrange dimensions
A = reshape(1:6, 1, 2, 3);
disp(size(squeeze(A)))                    % expect: 2 3
disp(size(permute(A, [3 2 1])))           % expect: 3 2
disp(size(permute(ones(2, 3), [2 1])))    % expect: 3 2
%% repmat of texts and of matrices
disp(repmat('ab', 1, 3))                  % expect: ababab
disp(size(repmat([1 2; 3 4], 2, 3)))      % expect: 4 6
disp(size(repmat(7, 0, 3)))               % expect: 0 3
%% linspace of a single point and of a reversed interval
disp(linspace(5, 5, 1))                   % expect: 5
fprintf('%g ', linspace(1, 0, 3)); fprintf('\n');   % expect: 1 0.5 0
%% eye of rectangular sizes
disp(eye(2, 3))
% expect: 1 0 0
% expect: 0 1 0
%% any and all of matrices reduce each column
disp(any([0 0 1; 0 0 0]))                 % expect: 0 0 1
disp(all([1 1 0; 1 0 0]))                 % expect: 1 0 0
fprintf('%d %d\n', any(any([0 0; 0 1])), all(all([1 1; 1 1])));   % expect: 1 1
%% norms of vectors and matrices
fprintf('%g %g %g\n', norm([3 4], 1), norm([3 -4], Inf), norm([1 2; 3 4], 'fro')^2);   % expect: 7 4 30
%% the determinant and inverse of a singular matrix
fprintf('%g\n', abs(det([1 2; 2 4])));    % expect: 0
Ai = inv([1 2; 2 4]);
disp(all(isinf(Ai(:))))                   % expect: 1
%% the backslash operator solves several right-hand sides at once
A = [2 0; 0 4];
X = A \ [2 4; 8 12];
disp(X)
% expect: 1 2
% expect: 2 3
%% an overdetermined system gives the least-squares solution
A = [1 0; 0 1; 1 1];
x = A \ [1; 1; 3];
fprintf('%.4f %.4f\n', x);                % expect: 1.3333 1.3333
%% element-wise division forms
disp([8 6] ./ [2 3])                      % expect: 4 2
disp([2 3] .\ [8 6])                      % expect: 4 2
disp(12 ./ [3 4])                         % expect: 4 3
%% scalar expansion with every arithmetic operator
v = [1 2 3];
disp(v + 1)                               % expect: 2 3 4
disp(10 - v)                              % expect: 9 8 7
disp(v * 2)                               % expect: 2 4 6
disp(v / 2)                               % expect: 0.5000 1.0000 1.5000
disp(2 .^ v)                              % expect: 2 4 8
%% powers of matrices need a square matrix
[1 2 3] ^ 2                               % expect-error: Q:squareMatrix
%% unary minus, plus and not on arrays
disp(-[1 -2])                             % expect: -1 2
disp(+[3 4])                              % expect: 3 4
disp(~~[0 5])                             % expect: 0 1
%% operator precedence of unary minus, powers and transposes
fprintf('%g %g %g\n', -2 ^ 2, (-2) ^ 2, 2 ^ -1);   % expect: -4 4 0.5
disp([1 2 3]')
% expect: 1
% expect: 2
% expect: 3
fprintf('%g\n', 2 ^ 3 ^ 2);               % expect: 64
%% comparison and logical operator precedence
disp(1 < 2 == 1)                          % expect: 1
disp(1 | 0 & 0)                           % expect: 1
disp(~1 == 0)                             % expect: 1
%% the colon operator binds looser than arithmetic
disp(1:2 + 1)                             % expect: 1 2 3
disp((1:2) + 1)                           % expect: 2 3
