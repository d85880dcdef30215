%% a prime sieve on a logical mask, and facts about the primes found
p = pn_sieve(50);
disp(p)                                  % expect: 2 3 5 7 11 13 17 19 23 29 31 37 41 43 47
fprintf('%d %d\n', numel(pn_sieve(1000)), sum(pn_sieve(100)));   % expect: 168 1060
q = pn_sieve(100);
fprintf('%d twins\n', sum(diff(q) == 2));   % expect: 8 twins
p2 = pn_sieve(200);
[g, at] = max(diff(p2));
fprintf('gap %d after %d\n', g, p2(at));  % expect: gap 14 after 113
isempty(pn_sieve(1))                     % expect: ans = 1
%% exact fractions with a recursive gcd
[n, d] = pn_fracadd(1, 2, 1, 3);
fprintf('%d/%d\n', n, d);                % expect: 5/6
n = 0; d = 1;
for k = 1:10
  [n, d] = pn_fracadd(n, d, 1, k);
end
fprintf('H10 = %d/%d\n', n, d);          % expect: H10 = 7381/2520
fprintf('%d %d %d\n', pn_gcd(84, 36), pn_gcd(17, 5), pn_gcd(0, 9));   % expect: 12 1 9
lcm = @(a, b) a * b / pn_gcd(a, b);
acc = 1;
for k = 1:10
  acc = lcm(acc, k);
end
fprintf('%d\n', acc);                    % expect: 2520
%% bisection with a function handle, and its bracket error
[x, it] = pn_bisect(@(x) x.^2 - 2, 1, 2, 1e-10);
fprintf('%.8f %d\n', x, it);             % expect: 1.41421356 33
[x, it] = pn_bisect(@(x) cos(x) - x, 0, 1, 1e-8);
fprintf('%.8f %d\n', x, it);             % expect: 0.73908513 26
try
  pn_bisect(@(x) x.^2 + 1, 0, 1, 1e-6);
catch err
  fprintf('%s | %s\n', err.identifier, err.message);   % expect: pn:bracket | f(0) and f(1) have the same sign
end
%% Newton's method with derivative handles and a convergence error
[r, n] = pn_newton(@(x) x^2 - 2, @(x) 2 * x, 1, 1e-12, 50);
fprintf('%.15f %d\n', r, n);             % expect: 1.414213562373095 6
[r, n] = pn_newton(@(x) x^3 - 27, @(x) 3 * x^2, 1, 1e-12, 50);
fprintf('%g %d\n', r, n);                % expect: 3 9
roots = arrayfun(@(a) pn_newton(@(x) x^2 - a, @(x) 2 * x, a, 1e-12, 100), [4 9 612]);
fprintf('%.6f ', roots); fprintf('\n');  % expect: 2.000000 3.000000 24.738634
try
  pn_newton(@(x) x^2 + 1, @(x) 2 * x, 0.5, 1e-12, 3);
catch err
  disp(err.message)                      % expect: no convergence after 3 steps
end
%% Simpson's rule against exact integrals, and a trapezoid comparison
fprintf('%.10f\n', pn_simpson(@sin, 0, pi, 10));        % expect: 2.0001095173
fprintf('%.10f\n', pn_simpson(@(x) x.^3, 0, 1, 2));     % expect: 0.2500000000
fprintf('%.10f\n', pn_simpson(@exp, 0, 1, 4));          % expect: 1.7183188419
x = linspace(0, pi, 11);
y = sin(x);
t = (x(2) - x(1)) * (sum(y) - (y(1) + y(end)) / 2);
fprintf('%.10f\n', t);                   % expect: 1.9835235375
err = abs([pn_simpson(@sin, 0, pi, 10), t] - 2);
disp(err(1) < err(2))                    % expect: 1
pn_simpson(@sin, 0, 1, 3)                % expect-error: pn:odd
%% Fibonacci by matrix power, by a loop and by the closed form
F = [1 1; 1 0]^30;
fprintf('%d\n', F(1, 2));                % expect: 832040
a = 0; b = 1;
for k = 1:50
  [a, b] = deal(b, a + b);
end
fprintf('%d\n', a);                      % expect: 12586269025
phi = (1 + sqrt(5)) / 2;
fib = @(n) round(phi.^n / sqrt(5));
disp(fib(1:10))                          % expect: 1 1 2 3 5 8 13 21 34 55
M = [1 1; 1 0]^50;
fprintf('%d\n', M(1, 2) == a);           % expect: 1
%% Gaussian elimination with pivoting against the backslash operator
A = [4 -2 1; -2 4 -2; 1 -2 4];
b = [11; -16; 17];
x1 = pn_gauss(A, b);
x2 = A \ b;
fprintf('%.6f ', x1); fprintf('\n');     % expect: 1.000000 -2.000000 3.000000
fprintf('%d\n', norm(x1 - x2) < 1e-12 && norm(A * x1 - b) < 1e-12);   % expect: 1
P = [0 2 1; 1 1 1; 2 1 0];
y = pn_gauss(P, [7; 6; 4]);
fprintf('%.6f ', y); fprintf('\n');      % expect: 1.000000 2.000000 3.000000
%% determinant by recursive cofactors against det
B = [2 0 1 3; 1 1 0 2; 0 3 1 1; 4 1 2 0];
fprintf('%d %d\n', pn_cofactor(B), round(det(B)));   % expect: -32 -32
fprintf('%d\n', pn_cofactor(5));         % expect: 5
fprintf('%d\n', pn_cofactor([1 2; 3 4]));   % expect: -2
I = eye(3);
fprintf('%d\n', pn_cofactor(I(:, [2 1 3])));   % expect: -1
%% sorting algorithms in local functions, checked against sort
data = [5 2 9 1 5 6 0 3];
[s1, swaps] = pn_sorts(data, 'bubble');
[s2, shifts] = pn_sorts(data, 'insertion');
[s3, cmps] = pn_sorts(data, 'merge');
disp(s1)                                 % expect: 0 1 2 3 5 5 6 9
fprintf('%d %d %d\n', swaps, shifts, cmps);   % expect: 16 16 16
disp(isequal(s1, s2, s3, sort(data)))    % expect: 1
[~, c] = pn_sorts(8:-1:1, 'merge');
disp(c)                                  % expect: 12
try
  pn_sorts(data, 'quick');
catch err
  disp(err.message)                      % expect: unknown method 'quick'
end
%% binary search with insertion points
v = [1 3 5 7 9 11];
for x = [7 1 11 4 0 12]
  [i, st] = pn_bsearch(v, x);
  fprintf('%d/%d ', i, st);
end
fprintf('\n');                           % expect: 4/3 1/2 6/3 -3/3 -1/2 -7/3
[i, st] = pn_bsearch(1:1000, 777);
fprintf('%d %d\n', i, st <= 10);         % expect: 777 1
%% Collatz chains with while loops and a table of lengths
len = zeros(1, 29);
for n = 1:29
  m = n;
  while m ~= 1
    if mod(m, 2) == 0
      m = m / 2;
    else
      m = 3 * m + 1;
    end
    len(n) = len(n) + 1;
  end
end
disp(len(1:10))                          % expect: 0 1 7 2 5 8 16 3 19 6
[best, at] = max(len);
fprintf('%d takes %d steps\n', at, best);   % expect: 27 takes 111 steps
fprintf('%d\n', find(len > 100, 1));     % expect: 27
%% factorials in double and in saturating integer classes
f = 1;
for k = 1:20
  f = f * k;
end
fprintf('%d\n', f);                      % expect: 2432902008176640000
g = int32(1);
for k = 1:13
  g = g * k;
end
disp(g)                                  % expect: 2147483647
class(g)                                 % expect: ans = int32
disp(cumprod(uint8(1:6)))                % expect: 1 2 6 24 120 255
h = int8(-100) - 100                     % expect: h = -128
u = uint64(1);
for k = 1:21
  u = u * k;
  if k == 20
    fprintf('%d\n', u);                  % expect: 2432902008176640000
  end
end
fprintf('%d\n', u);                      % expect: 18446744073709551615
%% Pascal's triangle row by row
row = 1;
for n = 1:6
  row = [row, 0] + [0, row];
end
disp(row)                                % expect: 1 6 15 20 15 6 1
row = 1;
sums = zeros(1, 10);
for n = 1:10
  row = [row, 0] + [0, row];
  sums(n) = sum(row);
end
fprintf('%d %d\n', row(6), isequal(sums, 2 .^ (1:10)));   % expect: 252 1
r6 = [1 6 15 20 15 6 1];
fprintf('%d %d\n', sum(r6 .^ 2), isequal(r6, r6(end:-1:1)));   % expect: 924 1
%% the power method converges to the dominant eigenvalue
A = [2 1; 1 3];
v = [1; 1];
for k = 1:50
  w = A * v;
  v = w / norm(w);
end
lambda = v' * A * v;
fprintf('%.6f\n', lambda);               % expect: 3.618034
fprintf('%d\n', abs(lambda - (5 + sqrt(5)) / 2) < 1e-10);   % expect: 1
u = [1; 0];
for k = 1:60
  u = A \ u;
  u = u / norm(u);
end
mu = u' * A * u;
fprintf('%.6f %.6f\n', mu, trace(A) - lambda);   % expect: 1.381966 1.381966
fprintf('%.6f\n', lambda * mu);          % expect: 5.000000
%% polynomials: product by convolution loops, Horner evaluation, derivative
p = [1 -3 2];
q = [1 1];
r = zeros(1, numel(p) + numel(q) - 1);
for i = 1:numel(p)
  for j = 1:numel(q)
    r(i + j - 1) = r(i + j - 1) + p(i) * q(j);
  end
end
disp(r)                                  % expect: 1 -2 -1 2
vals = zeros(1, 4);
for x = 0:3
  acc = 0;
  for c = r
    acc = acc * x + c;
  end
  vals(x + 1) = acc;
end
disp(vals)                               % expect: 2 0 0 8
n = numel(r) - 1;
d = r(1:end - 1) .* (n:-1:1);
disp(d)                                  % expect: 3 -4 -1
%% a histogram by masks and by floor indices
data = [0.5 1.2 2.7 3.3 1.1 0.2 2.2 3.9 1.5];
edges = 0:4;
c1 = zeros(1, 4);
for k = 1:4
  c1(k) = sum(data >= edges(k) & data < edges(k + 1));
end
c2 = zeros(1, 4);
for i = floor(data) + 1
  c2(i) = c2(i) + 1;
end
disp(c1)                                 % expect: 2 3 2 2
disp(isequal(c1, c2))                    % expect: 1
for k = 1:4
  fprintf('%d-%d %s\n', edges(k), edges(k + 1), repmat('*', 1, c1(k)));
end
% expect: 0-1 **
% expect: 1-2 ***
% expect: 2-3 **
% expect: 3-4 **
%% digit puzzles: Armstrong and happy numbers
arm = [];
for n = 100:999
  d = num2str(n) - '0';
  if sum(d .^ 3) == n
    arm(end + 1) = n;
  end
end
disp(arm)                                % expect: 153 370 371 407
happy = [];
for n = 1:49
  seen = [];
  m = n;
  while m ~= 1 && ~any(seen == m)
    seen(end + 1) = m;
    m = sum((num2str(m) - '0') .^ 2);
  end
  if m == 1
    happy(end + 1) = n;
  end
end
disp(happy)                              % expect: 1 7 10 13 19 23 28 31 32 44 49
%% continued fraction convergents of pi
x = pi;
a = zeros(1, 5);
for k = 1:5
  a(k) = floor(x);
  x = 1 / (x - a(k));
end
disp(a)                                  % expect: 3 7 15 1 292
p = [1 a(1)];
q = [0 1];
for k = 2:5
  p(end + 1) = a(k) * p(end) + p(end - 1);
  q(end + 1) = a(k) * q(end) + q(end - 1);
end
fprintf('%d/%d ', [p(2:end); q(2:end)]); fprintf('\n');   % expect: 3/1 22/7 333/106 355/113 103993/33102
fprintf('%d\n', abs(p(end) / q(end) - pi) < 1e-9);   % expect: 1
%% Euler and Runge-Kutta steps for y' = -2y
f = @(t, y) -2 * y;
h = 0.1;
ye = 1;
yr = 1;
t = 0;
for k = 1:10
  ye = ye + h * f(t, ye);
  k1 = f(t, yr);
  k2 = f(t + h / 2, yr + h / 2 * k1);
  k3 = f(t + h / 2, yr + h / 2 * k2);
  k4 = f(t + h, yr + h * k3);
  yr = yr + h / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
  t = t + h;
end
fprintf('%.10f %.8f %.8f\n', ye, yr, exp(-2));   % expect: 0.1073741824 0.13533955 0.13533528
%% a magic square by the Siamese method, with its sums checked
M = pn_magic(3);
disp(M)
% expect: 8 1 6
% expect: 3 5 7
% expect: 4 9 2
M = pn_magic(5);
n = 5;
s = [sum(M), sum(M, 2)', trace(M), sum(M(n:n - 1:end - 1))];
fprintf('%d %d %d\n', numel(s), all(s == 65), s(1));   % expect: 12 1 65
numel(find(sort(M(:))' == 1:25))         % expect: ans = 25
pn_magic(4)                              % expect-error: pn:even
%% the game of life: a blinker oscillates and a glider moves
G = zeros(5);
G(3, 2:4) = 1;
disp(find(pn_life(G, 1))')               % expect: 12 13 14
disp(find(pn_life(G, 2))')               % expect: 8 13 18
G = zeros(6);
G(1, 2) = 1;
G(2, 3) = 1;
G(3, 1:3) = 1;
disp(find(G)')                           % expect: 3 7 9 14 15
disp(find(pn_life(G, 4))')               % expect: 10 14 16 21 22
disp(find(pn_life(G, 8))')               % expect: 17 21 23 28 29
%% a loan amortization schedule
P = 1000;
r = 0.01;
n = 12;
pay = P * r / (1 - (1 + r)^-n);
bal = zeros(1, n + 1);
bal(1) = P;
for k = 1:n
  bal(k + 1) = bal(k) * (1 + r) - pay;
end
fprintf('%.2f %.2f\n', pay, n * pay - P);   % expect: 88.85 66.19
fprintf('%d\n', abs(bal(end)) < 1e-9);   % expect: 1
fprintf('%.2f ', bal(2:4)); fprintf('\n');   % expect: 921.15 841.51 761.08
paid = find(bal < P / 2, 1) - 1;
fprintf('%d\n', paid);                   % expect: 7
interest = sum(bal(1:n) * r);
fprintf('%.2f\n', interest);             % expect: 66.19
%% integer square roots by binary search
fprintf('%d ', arrayfun(@pn_isqrt, [10^12 + 1, 99, 0, 1, 2^40])); fprintf('\n');   % expect: 1000000 9 0 1 1048576
ok = true;
for n = 0:300
  r = pn_isqrt(n);
  ok = ok && r^2 <= n && (r + 1)^2 > n;
end
disp(ok)                                 % expect: 1
%% checksums of character codes
[a, f] = pn_checksum('Wikipedia');
fprintf('%08X %04X\n', a, f);            % expect: 11E60398 EE9A
[a, f] = pn_checksum('abcde');
fprintf('%04X\n', f);                    % expect: C8F0
[a, f] = pn_checksum('');
fprintf('%d %d\n', a, f);                % expect: 1 0
%% a least squares line through the backslash operator
x = [1 2 3 4 5];
y = [2.2 4.1 6.3 7.9 10.1];
A = [x', ones(5, 1)];
c = A \ y';
fprintf('%.4f %.4f\n', c);               % expect: 1.9600 0.2400
res = y' - A * c;
fprintf('%.4f\n', sum(res));             % expect: 0.0000
fprintf('%.4f\n', [6 1] * c);            % expect: 12.0000
ssr = sum(res .^ 2);
sst = sum((y - mean(y)) .^ 2);
fprintf('%.4f %.4f\n', sqrt(ssr), 1 - ssr / sst);   % expect: 0.2683 0.9981
%% the maximum subarray by Kadane's scan
a = [-2 1 -3 4 -1 2 1 -5 4];
best = -Inf;
cur = 0;
for i = 1:numel(a)
  if cur <= 0
    cur = a(i);
    s = i;
  else
    cur = cur + a(i);
  end
  if cur > best
    best = cur;
    from = s;
    to = i;
  end
end
fprintf('%d [%d..%d] %d\n', best, from, to, sum(a(from:to)));   % expect: 6 [4..7] 6
%% sums by masks: multiples of 3 or 5 and even Fibonacci numbers
n = 0:999;
fprintf('%d\n', sum(n(mod(n, 3) == 0 | mod(n, 5) == 0)));   % expect: 233168
f = [1 2];
while f(end) + f(end - 1) < 4e6
  f(end + 1) = f(end) + f(end - 1);
end
fprintf('%d %d\n', sum(f(mod(f, 2) == 0)), numel(f));   % expect: 4613732 32
tri = @(k) k * floor(999 / k) * (floor(999 / k) + 1) / 2;
fprintf('%d\n', tri(3) + tri(5) - tri(15));   % expect: 233168
digits = num2str(2^15) - '0';
fprintf('%d %d\n', sum(digits), numel(digits));   % expect: 26 5
%% statistics by hand against the built-ins
d = [2 4 4 4 5 5 7 9];
m = sum(d) / numel(d);
v = sum((d - m).^2) / (numel(d) - 1);
fprintf('%g %.6f %.6f\n', m, v, sqrt(v));   % expect: 5 4.571429 2.138090
s = sort(d);
n = numel(s);
if mod(n, 2)
  med = s((n + 1) / 2);
else
  med = (s(n / 2) + s(n / 2 + 1)) / 2;
end
fprintf('%g\n', med);                    % expect: 4.5
vals = s([true, diff(s) ~= 0]);
counts = arrayfun(@(x) sum(d == x), vals);
[~, i] = max(counts);
fprintf('%d %d\n', vals(i), mean(d) == m);   % expect: 4 1
%% moving averages with cumsum, and peaks with shifted comparisons
v = 1:10;
c = cumsum([0 v]);
disp((c(4:end) - c(1:end - 3)) / 3)      % expect: 2 3 4 5 6 7 8 9
x = [1 3 2 5 4 4 6 1];
pk = find(x(2:end - 1) > x(1:end - 2) & x(2:end - 1) > x(3:end)) + 1;
disp(pk)                                 % expect: 2 4 7
runmax = x;
for k = 2:numel(x)
  runmax(k) = max(runmax(k - 1), x(k));
end
disp(runmax)                             % expect: 1 3 3 5 5 5 6 6
ema = zeros(1, 5);
ema(1) = 1;
for k = 2:5
  ema(k) = 0.5 * k + 0.5 * ema(k - 1);
end
fprintf('%g ', ema); fprintf('\n');      % expect: 1 1.5 2.25 3.125 4.0625
%% polygon area, perimeter and centroid by the shoelace formula
shapes = {[0 4 4 0; 0 0 3 3], [0 4 0; 0 0 3], [0 2 1; 0 0 5]};
for k = 1:numel(shapes)
  P = shapes{k};
  x = P(1, :);
  y = P(2, :);
  xn = x([2:end, 1]);
  yn = y([2:end, 1]);
  area = abs(sum(x .* yn - xn .* y)) / 2;
  per = sum(hypot(xn - x, yn - y));
  fprintf('%g %.4f (%.4f, %.4f)\n', area, per, mean(x), mean(y));
end
% expect: 12 14.0000 (2.0000, 1.5000)
% expect: 6 12.0000 (1.3333, 1.0000)
% expect: 5 12.1980 (1.0000, 1.6667)
P = shapes{1};
inside = zeros(1, 3);
tests = [2 1; 5 1; 3.9 2.9];
for t = 1:3
  px = tests(t, 1);
  py = tests(t, 2);
  x = P(1, :);
  y = P(2, :);
  xn = x([2:end, 1]);
  yn = y([2:end, 1]);
  crosses = ((y > py) ~= (yn > py)) & (px < (xn - x) .* (py - y) ./ (yn - y + (yn == y)) + x);
  inside(t) = mod(sum(crosses), 2);
end
disp(inside)                             % expect: 1 0 1
