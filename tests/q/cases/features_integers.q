%% integer conversion rounds half away from zero and saturates
disp([int8(2.5), int8(-2.5), int8(3.49), int8(200), int8(-200)])   % expect: 3 -3 3 127 -128
disp([uint8(-1), uint8(255.5), uint8(NaN)])   % expect: 0 255 0
disp(int32(2^31))                         % expect: 2147483647
disp(int16('A'))                          % expect: 65
%% integer arithmetic saturates at every operation
a = uint8(250);
for k = 1:10
  a = a + 1;
end
disp(a)                                   % expect: 255
disp(int8(100) * 2)                       % expect: 127
disp(int8(-100) - 100)                    % expect: -128
disp(uint16(7) - 10)                      % expect: 0
disp(-uint8(5))                           % expect: 0
disp(-int8(-128))                         % expect: 127
%% integer division rounds to the nearest, halves away from zero
disp([int32(7) / 2, int32(-7) / 2, int32(10) / 4, int32(9) / 4])   % expect: 4 -4 3 2
%% integer division by zero saturates; zero by zero is zero
disp([int8(5) / 0, int8(-5) / 0, int8(0) / 0])   % expect: 127 -128 0
disp(uint8(9) / 0)                        % expect: 255
%% an integer class with a double gives the integer class
x = int16(10) * 0.25;
fprintf('%s %d\n', class(x), x);          % expect: int16 3
y = 2.7 + uint8(1);
fprintf('%s %d\n', class(y), y);          % expect: uint8 4
disp(class(int8(1) + true))               % expect: int8
disp(class(int8(1) + 'a'))                % expect: int8
disp(class(single(1) + int32(1)))         % expect: int32
%% two different integer classes cannot be mixed in arithmetic
int8(1) + int16(1)                        % expect-error: Q:mixedIntegerClasses
%% comparisons between integer classes and doubles compare the values
fprintf('%d %d %d %d\n', int8(5) < 5.4, uint8(5) == 5.4, int8(5) == 5, int8(1) < int16(2));   % expect: 1 0 1 1
disp(class(int8(1) > 0))                  % expect: logical
%% ranges of integers keep the class
r = int8(1):int8(2):int8(9);
fprintf('%s %s\n', class(r), mat2str(double(r)));   % expect: int8 [1 3 5 7 9]
r = uint8(250):uint8(255);
disp(numel(r))                            % expect: 6
for k = int16(1):int16(3)
end
disp(class(k))                            % expect: int16
%% mod, rem, abs and sign of integers keep the class
disp(mod(int8(-7), int8(3)))              % expect: 2
disp(rem(int8(-7), int8(3)))              % expect: -1
disp(class(mod(uint16(10), 3)))           % expect: uint16
disp(abs(int8(-128)))                     % expect: 127
disp(sign(int8([-3 0 9])))                % expect: -1 0 1
%% reductions of integers saturate the result and keep the class
disp(sum(uint8([200 100])))               % expect: 255
disp(class(sum(int16([1 2]))))            % expect: int16
disp(prod(int8([100 2])))                 % expect: 127
disp(max(uint8([3 250 7])))               % expect: 250
disp(class(max(int8([1 2]))))             % expect: int8
%% the mean of integers is a double
m = mean(int8([1 2]));
fprintf('%s %.1f\n', class(m), m);        % expect: double 1.5
%% diff of unsigned integers saturates at zero
disp(diff(uint8([5 3 9])))                % expect: 0 6
%% 64-bit integers are exact
a = int64(2)^62;
fprintf('%d\n', a);                       % expect: 4611686018427387904
fprintf('%d\n', a + a);                   % expect: 9223372036854775807
b = int64(9007199254740992) + 1;
fprintf('%d\n', b);                       % expect: 9007199254740993
fprintf('%d\n', uint64(18446744073709551615));   % expect: 18446744073709551615
%% integer values index arrays
v = [10 20 30];
disp(v(int32(2)))                         % expect: 20
disp(v(uint8([3 1])))                     % expect: 30 10
%% concatenation with an integer class converts the other operands
c = [int8(1), 300, -2.5];
fprintf('%s %s\n', class(c), mat2str(double(c)));   % expect: int8 [1 127 -3]
d = [uint8(5), int8(-3)];
disp(d)                                   % expect: 5 0
%% integers print through sprintf and num2str
disp(sprintf('%d|%5d|%x', int16(-42), uint8(7), uint8(255)))   % expect: -42| 7|ff
disp(num2str(int32(123456)))              % expect: 123456
%% logical values in arithmetic become double
t = true + true;
fprintf('%s %d\n', class(t), t);          % expect: double 2
disp(class(true * int8(3)))               % expect: int8
disp(sum([true true false]))              % expect: 2
%% char values in arithmetic become double
x = 'a' + 1;
fprintf('%s %d\n', class(x), x);          % expect: double 98
disp(class(['a', 'b'] * 2))               % expect: double
%% single precision is kept and rounded
s = single(1) / 3;
fprintf('%s %.10f\n', class(s), s);       % expect: single 0.3333333433
disp(class(single(2) * 3))                % expect: single
disp(class([single(1), 2]))               % expect: single
%% isinteger, isfloat and isnumeric
fprintf('%d %d %d %d %d\n', isinteger(int8(1)), isinteger(1), isfloat(single(1)), isnumeric(true), isnumeric(uint8(1)));   % expect: 1 0 1 0 1
%% isa knows the numeric, float and integer categories
fprintf('%d %d %d %d\n', isa(int8(1), 'integer'), isa(1, 'float'), isa(uint8(1), 'numeric'), isa('a', 'numeric'));   % expect: 1 1 1 0
%% integer loop counters and accumulators saturate in loops
total = int8(0);
for k = 1:20
  total = total + k;
end
disp(total)                               % expect: 127
n = uint8(3);
steps = 0;
while n > 0
  n = n - 2;
  steps = steps + 1;
end
disp(steps)                               % expect: 2
%% cumsum and cumprod of integers
disp(cumsum(uint8([100 100 100])))        % expect: 100 200 255
disp(cumprod(int8([4 4 4 4])))            % expect: 4 16 64 127
%% bit-like arithmetic with floor and mod on integers
x = uint8(173);
bits = mod(floor(double(x) ./ 2 .^ (7:-1:0)), 2);
disp(bits)                                % expect: 1 0 1 0 1 1 0 1
disp(sum(bits .* 2 .^ (7:-1:0)))          % expect: 173
