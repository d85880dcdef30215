%% sum, prod and mean along the first non-singleton dimension or a given one
A = [1 2 3; 4 5 6];
disp(sum(A))                              % expect: 5 7 9
disp(sum(A, 2)')                          % expect: 6 15
disp(prod(A))                             % expect: 4 10 18
disp(mean(A, 2)')                         % expect: 2 5
disp(sum([1 2 3]))                        % expect: 6
%% reductions of empty arrays
fprintf('%d %d %d %d\n', sum([]), prod([]), any([]), all([]));   % expect: 0 1 0 1
disp(isnan(mean([])))                     % expect: 1
disp(isempty(max([])))                    % expect: 1
%% min and max with indices, first of equal values winning
[m, i] = max([3 9 2 9]);
fprintf('%d %d\n', m, i);                 % expect: 9 2
[m, i] = min([4 1; 0 7]);
disp([m; i])
% expect: 0 1
% expect: 2 1
%% min and max ignore NaN unless all are NaN
fprintf('%g %g\n', max([NaN 2 5]), min([NaN NaN]));   % expect: 5 NaN
%% elementwise min and max against a scalar or an array
disp(max([1 5 3], 2))                     % expect: 2 5 3
disp(min([1 5 3], [2 2 2]))               % expect: 1 2 2
%% max along a dimension
disp(max([1 5; 7 2], [], 2)')             % expect: 5 7
%% min and max along a dimension give indices too; beyond the last dimension each value is its own
[m, i] = min([4 1 9; 0 7 -2], [], 2);
disp([m i])
% expect: 1 2
% expect: -2 3
[m, i] = max([4 1; 0 7], [], 3);
disp([m i])
% expect: 4 1 1 1
% expect: 0 7 1 1
%% min and max over a dimension of length 0 are empty along it
disp(size(max(zeros(0, 3))))              % expect: 0 3
[m, i] = min(zeros(3, 0), [], 2);
disp([size(m) size(i)])                   % expect: 3 0 3 0
disp(size(max(zeros(0, 3), [], 2)))       % expect: 0 1
%% cumsum and cumprod along rows and columns
disp(cumsum([1 2 3 4]))                   % expect: 1 3 6 10
disp(cumsum([1 2; 3 4]))
% expect: 1 2
% expect: 4 6
disp(cumsum([1 2; 3 4], 2))
% expect: 1 3
% expect: 3 7
disp(cumprod([1 2 3 4]))                  % expect: 1 2 6 24
%% diff of vectors and matrices
disp(diff([1 4 9 16]))                    % expect: 3 5 7
disp(diff([1 4 9 16], 2))                 % expect: 2 2
disp(diff([1 2; 4 8]))                    % expect: 3 6
%% sort ascending and descending with indices, stable for ties
[s, i] = sort([3 1 2 1]);
disp([s; i])
% expect: 1 1 2 3
% expect: 2 4 3 1
[s, i] = sort([3 1 2 1], 'descend');
disp([s; i])
% expect: 3 2 1 1
% expect: 1 3 2 4
%% sort puts NaN last going up and first going down
disp(sort([2 NaN 1]))                     % expect: 1 2 NaN
disp(sort([2 NaN 1], 'descend'))          % expect: NaN 2 1
%% sort of a matrix sorts each column, or each row
disp(sort([3 1; 1 2; 2 0]))
% expect: 1 0
% expect: 2 1
% expect: 3 2
disp(sort([3 1 2; 9 7 8], 2))
% expect: 1 2 3
% expect: 7 8 9
%% sort of text and of a cell of texts
disp(sort('hello'))                       % expect: ehllo
disp(strjoin(sort({'pear', 'Apple', 'fig'}), ' '))   % expect: Apple fig pear
%% find with a count and a direction, and with rows and columns
disp(find([0 1 0 1 1]))                   % expect: 2 4 5
disp(find([0 1 0 1 1], 2))                % expect: 2 4
disp(find([0 1 0 1 1], 1, 'last'))        % expect: 5
[r, c] = find([0 1; 1 0; 0 1]);
disp([r'; c'])
% expect: 2 1 3
% expect: 1 2 2
disp(size(find([0 0])))                   % expect: 1 0
%% any and all along dimensions
disp(any([0 0; 0 1]))                     % expect: 0 1
disp(all([1 1; 0 1], 2)')                 % expect: 1 0
%% rounding functions
disp(round([-2.5 -1.5 -0.5 0.5 1.5 2.5]))   % expect: -3 -2 -1 1 2 3
disp(fix([-2.7 2.7]))                     % expect: -2 2
disp(floor([-2.5 2.5]))                   % expect: -3 2
disp(ceil([-2.5 2.5]))                    % expect: -2 3
%% mod and rem with negative operands and zero divisors
disp([mod(-7, 3), rem(-7, 3), mod(7, -3), rem(7, -3)])   % expect: 2 -1 -2 1
fprintf('%g %g\n', mod(5, 0), mod(5.5, 2));   % expect: 5 1.5
disp(isnan(rem(5, 0)))                    % expect: 1
%% abs, sign, sqrt and powers
disp(abs([-3 0 3]))                       % expect: 3 0 3
disp(sqrt([4 9 16]))                      % expect: 2 3 4
disp(2 .^ [0 1 10])                       % expect: 1 2 1024
disp([1 2 3] .^ 2)                        % expect: 1 4 9
%% the square root of a negative number is complex
z = sqrt(-4);
fprintf('%g %g %d\n', real(z), imag(z), isreal(z));   % expect: 0 2 0
%% exponentials and logarithms
fprintf('%.4f %.4f %g %g\n', exp(1), log(10), log2(8), log10(1000));   % expect: 2.7183 2.3026 3 3
%% trigonometry
fprintf('%.4f %.4f %.4f\n', sin(pi / 6), cos(pi / 3), atan2(1, 1));   % expect: 0.5000 0.5000 0.7854
fprintf('%.4f\n', hypot(5, 12));          % expect: 13.0000
%% implicit expansion of a column against a row
disp([1; 2; 3] + [10 20])
% expect: 11 21
% expect: 12 22
% expect: 13 23
disp([1 2 3] .* [1; 2])
% expect: 1 2 3
% expect: 2 4 6
%% incompatible sizes are an error
[1 2 3] + [1 2]                           % expect-error: Q:sizeMismatch
%% matrix product, left and right division
A = [2 1; 1 3];
disp(A * [1; 1])
% expect: 3
% expect: 4
x = A \ [3; 4];
fprintf('%.4f %.4f\n', x);                % expect: 1.0000 1.0000
y = [3 4] / A;
fprintf('%.4f %.4f\n', y);                % expect: 1.0000 1.0000
%% inner dimensions must agree in a matrix product
[1 2 3] * [1 2 3]                         % expect-error: Q:innerDimensions
%% matrix powers, inverse, determinant, trace and norm
F = [1 1; 1 0] ^ 10;
disp(F(1, 2))                             % expect: 55
Ai = inv([2 0; 0 4]);
fprintf('%.2f %.2f\n', Ai(1, 1), Ai(2, 2));   % expect: 0.50 0.25
fprintf('%.4f %d %.4f\n', det([4 3; 6 3]), trace([1 2; 3 4]), norm([3 4]));   % expect: -6.0000 5 5.0000
%% dot products of vectors in either orientation
disp(dot([1 2 3], [4; 5; 6]))             % expect: 32
%% logical operators and xor
disp([1 0 1] & [1 1 0])                   % expect: 1 0 0
disp([1 0 1] | [0 0 1])                   % expect: 1 0 1
disp(xor([1 0 1], [1 1 0]))               % expect: 0 1 1
disp(~[1 0 2])                            % expect: 0 1 0
%% comparisons give logical arrays
c = [1 2 3] >= 2;
fprintf('%s %s\n', class(c), mat2str(c));   % expect: logical [false true true]
%% Inf and NaN arithmetic
fprintf('%g %g %g %g\n', 1 / 0, -1 / 0, 0 / 0, Inf - Inf);   % expect: Inf -Inf NaN NaN
disp([isnan(NaN), isinf(-Inf), isfinite(1), NaN == NaN])   % expect: 1 1 1 0
%% linspace includes both ends
fprintf('%g ', linspace(0, 10, 5)); fprintf('\n');   % expect: 0 2.5 5 7.5 10
disp(numel(linspace(1, 2, 7)))            % expect: 7
%% zeros, ones, eye and repmat build arrays
disp(size(zeros(2, 3)))                   % expect: 2 3
disp(ones(1, 3) * 2)                      % expect: 2 2 2
disp(eye(2))
% expect: 1 0
% expect: 0 1
disp(repmat([1 2], 2, 2))
% expect: 1 2 1 2
% expect: 1 2 1 2
%% size, numel, length and ndims
A = zeros(3, 0, 2);
fprintf('%d %d %d %d\n', numel(A), length(zeros(3, 7)), ndims(A), isempty(A));   % expect: 0 7 3 1
[r, c] = size(ones(2, 3, 4));
fprintf('%d %d\n', r, c);                 % expect: 2 12
disp(size(ones(2, 3), 2))                 % expect: 3
