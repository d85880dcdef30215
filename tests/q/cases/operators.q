%% precedence: multiplication before addition
x = 1 + 2 * 3 - 4 / 2    % expect: x = 5
%% precedence: range below arithmetic
r = 1:2+1                % expect: r = 1 2 3
%% precedence: comparison below range
t = 1:3 == 1:3           % expect: t = 1 1 1
%% precedence: & binds tighter than |
v = 1 | 0 & 0            % expect: v = 1
%% precedence: unary not and power
a = ~0 + 1               % expect: a = 2
b = -3^2                 % expect: b = -9
%% power is left associative
p = 2^3^2                % expect: p = 64
%% element-wise and matrix products
A = [1 2; 3 4];
B = A .* A               % expect: B = 1 4
% expect: 9 16
C = A * A                % expect: C = 7 10
% expect: 15 22
%% left and right division
x = [2 0; 0 4] \ [2; 8]  % expect: x = 1
% expect: 2
y = 6 / 3                % expect: y = 2
z = 2 .\ 6               % expect: z = 3
%% least squares with an Inf or NaN coefficient gives NaN (the solver would never converge)
x = [0; 2; 3];
c = [x.^-1, x.^0, x.^1, x.^2] \ [2; 3; 6];
disp(all(isnan(c)))      % expect: 1
r = [2 3 6] / [Inf 1 1; NaN 2 3];
disp(size(r))            % expect: 1 2
%% scalar expansion
v = [1 2 3] + 10         % expect: v = 11 12 13
%% runs of scalar operations over one array keep order, class and operand
x = [1 2 4];
disp(mat2str(1 - 2 * x ./ 4 + 1))        % expect: [1.5 1 0]
disp(mat2str((x - 1) / 2 * 3 + 4))       % expect: [4 5.5 8.5]
disp(mat2str(8 ./ x - 1))                % expect: [7 3 1]
disp(mat2str(x + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1))   % expect: [11 12 14]
disp(mat2str(x))                         % expect: [1 2 4]
disp(mat2str([Inf NaN -1] * 0 + 1))      % expect: [NaN NaN 1]
e = 1 + 2^-30;                           % e*e rounds to 1 + 2^-29, losing 2^-60
disp([e e] * e - (1 + 2^-29))            % expect: 0 0
disp(int8([100 50]) * 2 - 10)            % expect: 117 90
disp(class(single([1 2]) * 2 + 1))       % expect: single
z = [1i 2] * 2 + 1;
disp([real(z); imag(z)])
% expect: 1 5
% expect: 2 0
disp(size(2 * zeros(0, 3) + 1))          % expect: 0 3
%% a scalar divided by an array is a matrix division, also inside a run of operations
y = 2 / [1 2] + 1                        % expect-error: Q:innerDimensions
%% implicit expansion of a row and a column
M = [1 2 3] + [10; 20]   % expect: M = 11 12 13
% expect: 21 22 23
%% incompatible sizes
x = [1 2 3] + [1 2]      % expect-error: Q:sizeMismatch
%% integer saturation
a = int8(100) + int8(100)    % expect: a = 127
b = uint8(5) - uint8(10)     % expect: b = 0
c = int16(-32768) - 1        % expect: c = -32768
%% integer rounding with doubles
a = int32(7) / 2             % expect: a = 4
b = int32(-7) / 2            % expect: b = -4
c = uint8(2.5)               % expect: c = 3
class(int8(1) * 2.7)         % expect: ans = int8
%% mixing integer classes is an error
x = int8(1) + int16(1)       % expect-error: Q:mixedIntegerClasses
%% logical and char become double
a = true + true              % expect: a = 2
b = 'a' + 1                  % expect: b = 98
class('a' + 1)               % expect: ans = double
%% comparisons give logical arrays
c = [1 2 3] > 2              % expect: c = 0 0 1
class(c)                     % expect: ans = logical
%% equality of text compares characters
e = 'abc' == 'abd'           % expect: e = 1 1 0
%% transpose of a matrix
A = [1 2 3; 4 5 6]';
size(A)                      % expect: ans = 3 2
%% complex conjugate transpose
z = [1+2i 3-1i]';
z(1)                         % expect: ans = 1 - 2i
w = [1+2i 3-1i].';
w(1)                         % expect: ans = 1 + 2i
%% ranges
a = 1:5                      % expect: a = 1 2 3 4 5
b = 10:-3:1                  % expect: b = 10 7 4 1
c = 5:1;
size(c)                      % expect: ans = 1 0
d = 0:0.25:1                 % expect: d = 0.0000 0.2500 0.5000 0.7500 1.0000
%% short-circuit or skips the right side
x = true || sideeffect(1)    % expect: x = 1
%% short-circuit and skips the right side
x = false && sideeffect(1)   % expect: x = 0
%% short-circuit evaluates the right side when needed
x = false || sideeffect(1)   % expect: sideeffect ran
% expect: x = 1
%% short-circuit operands must be scalars
x = [1 1] && true            % expect-error: Q:nonScalarLogical
%% element-wise or on arrays
x = [1 0 0] | [0 0 1]        % expect: x = 1 0 1
%% not of an array
n = ~[1 0 2]                 % expect: n = 0 1 0
%% power of a square matrix
P = [1 1; 0 1]^3             % expect: P = 1 3
% expect: 0 1
%% element-wise power
q = [1 2 3].^2               % expect: q = 1 4 9
%% division by zero
x = 1/0                      % expect: x = Inf
y = -1/0                     % expect: y = -Inf
z = 0/0                      % expect: z = NaN
%% NaN in a condition is an error
if NaN, end                  % expect-error: Q:NaNToLogical
