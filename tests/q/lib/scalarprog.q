function scalarprog(which)
% Functions made only of scalar arithmetic, conditions and calls (which run compiled for real
% scalars) with the results the language defines, also where a run must be left to the usual
% way: complex results, integer and logical inputs, callees that do not compile. which picks
% a case that raises instead.
switch which
  case 'nan'
    disp(truthof(NaN));
  case 'deep'
    disp(depth(1000));
  case 'partial'
    disp(partial(-1));
end
fprintf('%d %d %d %d\n', fibo(20), ack(2, 3), depth(400), partial(2));
fprintf('%d %d %d\n', signof(-3), signof(0), signof(7));
fprintf('%d %d %d %d\n', both(3, 0), both(3, 2), either(0, 0), either(0, 5));
fprintf('%g %g %g\n', inverse(0), inverse(-0.5), truthof(0.1));
r = twice(sqrt(-4));
fprintf('%g%+gi %g%+gi\n', real(r), imag(r), real(root(-9)), imag(root(-9)));
t = twice(int8(100));
u = twice(true);
fprintf('%d %s %d %s\n', t, class(t), u, class(u));
fprintf('%d\n', plusloop(4));
fprintf('%d %d %d %g\n', gcdof(1071, 462), collatz(27), oddsum(10), powers(2, 10));
fprintf('%g %g %g %g\n', rem(-7, 3), mod(-7, 3), hypot(3, 4), atan2(0, -1) - pi);
p = powers(-8, 1/3);
fprintf('%.4f%+.4fi\n', real(p), imag(p));
fprintf('%d %d %d %d %d\n', squares(10), countdown(10), firstsquareover(50), nestedpairs(4), ...
        lastk(3));
fprintf('%d %d\n', numel(lastk(0)), tenths());
fprintf('%.1f\n', steps(6, 3));
end

% x = y op z of every operation, with z a variable and a number.
function r = steps(a, b)
c = a + b;
d = a - b;
e = a * b;
f = a / b;
g = a + 2;
h = a - 2;
k = a * 2;
m = a / 4;
r = ((((((c * 10 + d) * 100 + e) * 10 + f) * 10 + g) * 10 + h) * 100 + k) * 10 + m;
end

function s = squares(n)
s = 0;
for k = 1:2:n
  s = s + k * k;
end
end

function c = countdown(n)
c = 0;
for k = n:-3:1
  c = c + k;
end
end

function r = firstsquareover(m)
for k = 1:100
  if k * k > m
    break;
  end
end
r = k;
end

% Pairs i < j, skipping the others with continue.
function c = nestedpairs(n)
c = 0;
for i = 1:n
  for j = 1:n
    if j <= i
      continue;
    end
    c = c + 1;
  end
end
end

% A loop over no values leaves its variable empty.
function r = lastk(n)
k = 7;
for k = 1:n
end
r = k;
end

function r = tenths()
n = 0;
for t = 0:0.1:1
  n = n + 1;
end
r = n * 10 + t;
end

function r = gcdof(a, b)
while b ~= 0
  t = b;
  b = mod(a, b);
  a = t;
end
r = a;
end

function n = collatz(x)
n = 0;
while 1
  if x == 1
    break;
  end
  if rem(x, 2) == 0
    x = x / 2;
  else
    x = 3 * x + 1;
  end
  n = n + 1;
end
end

% The sum of the odd numbers up to n, skipping with continue.
function s = oddsum(n)
s = 0;
k = 0;
while k < n
  k = k + 1;
  if mod(k, 2) == 0
    continue;
  end
  s = s + k;
end
end

function r = powers(x, e)
r = x ^ e + x .^ 0;
end

function r = fibo(n)
if n < 2
  r = n;
else
  r = fibo(n - 1) + fibo(n - 2);
end
end

function r = ack(m, n)
if m == 0
  r = n + 1;
elseif n == 0
  r = ack(m - 1, 1);
else
  r = ack(m - 1, ack(m, n - 1));
end
end

function r = depth(n)
if n == 0
  r = 0;
else
  r = 1 + depth(n - 1);
end
end

function r = partial(x)
if x > 0
  r = x * 10;
end
end

function r = signof(x)
if x > 0
  r = 1;
  return;
end
if x < 0
  r = -1;
  return;
end
r = 0;
end

% && and || leave their right side alone when the left decides: the call never ends.
function r = both(a, b)
if a > 0 && b > 0
  r = 1;
elseif a < 0 && forever(a) > 0
  r = -1;
else
  r = 0;
end
end

function r = either(a, b)
if a == 0 || forever(a) > 0
  r = b + 1;
else
  r = -1;
end
end

function r = forever(x)
r = forever(x + 1);
end

function r = inverse(x)
r = 1 / x;
end

function r = truthof(x)
if x
  r = 1;
else
  r = 0;
end
end

function r = twice(x)
r = 2 * x;
end

function r = root(x)
y = sqrt(x);
r = y * 3;
end

% Calls a function with a loop, which does not compile.
function r = plusloop(n)
r = n + loopsum(n);
end

function s = loopsum(n)
s = 0;
for k = 1:n
  s = s + k;
end
end
