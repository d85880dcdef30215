%% element writes in a loop grow the array where they go past its end, by index and by row and column
v = zeros(1, 2);
for k = 1:5
  v(k) = k * k;
end
M = zeros(2, 2);
for i = 1:3
  for j = 1:2
    M(i, j) = 10 * i + j;
  end
end
fprintf('%d ', v); fprintf('| %d %d | ', size(M)); fprintf('%d ', M); fprintf('\n')   % expect: 1 4 9 16 25 | 3 2 | 11 21 31 12 22 32 
%% copies of arrays made in a loop are unshared by the first write to either
b = [1 2 3];
for k = 1:2
  a = b;
  a(k) = 9;
  b(3) = b(3) + 1;
end
fprintf('%d ', a, b); fprintf('\n')       % expect: 1 9 4 1 2 5 
%% a scalar that leaves the reals inside a loop: the rest of the loop runs as usual
x = 4;
s = 0;
while x > -5
  r = x ^ 0.5;
  s = s + r;
  x = x - 5;
end
fprintf('%g %g %g %d\n', real(s), imag(s), x, isreal(r))   % expect: 2 1 -6 0
%% an error inside a loop: its identifier, and the variables as the loop left them
v = [1 2 3];
total = 0;
try
  for k = 1:5
    total = total + v(k);
  end
catch err
  fprintf('%s %d %d\n', err.identifier, total, k)          % expect: Q:badsubscript 6 4
end
%% a NaN condition inside a loop is an error after the rounds before it
x = 3;
n = 0;
try
  while x
    x = x - 1;
    n = n + 1;
    if n == 2, x = NaN; end
  end
catch err
  fprintf('%s %d\n', err.identifier, n)   % expect: Q:NaNToLogical 2
end
try
  y = 1;
  while ~y
  end
  y = NaN;
  while ~y
  end
catch err
  disp(err.identifier)                    % expect: Q:NaNToLogical
end
%% an inner for loop over no values leaves its variable empty, and the outer loop goes on
for n = 0:2
  c = 0;
  for k = 1:n
    c = c + k;
  end
  d = k * 2;
  fprintf('%d %d %d|', c, numel(k), numel(d));
end
fprintf('%d %d\n', size(lp_empty(3, 0)))   % expect: 0 0 0|1 1 1|3 1 1|1 0
%% statements run the usual way inside a loop see and change its variables
x = 0;
for k = 1:3
  x = x + 1;
  eval('x = x * 10;');
end
y = 1;
for k = 1:3
  y = y + 1;
  if k == 2, eval('y = ''text'';'); end
end
fprintf('%d | ', x); fprintf('%d ', y); fprintf('\n')   % expect: 1110 | 117 102 121 117 
%% loops over integer arrays and into integer scalars keep integer arithmetic
v = int8([100 100 100]);
s = 0;
for k = 1:3
  s = s + v(k);
end
t = int8(0);
k = 0;
while k < 3
  k = k + 1;
  t = t + 100;
end
fprintf('%s %d %s %d\n', class(s), s, class(t), t)   % expect: int8 127 int8 127
%% break, continue and return leave the right loops of a function
[r1, c1] = lp_search([3 8 1; 7 2 9], 9);
[r2, c2] = lp_search([3 8 1; 7 2 9], 5);
fprintf('%d %d %d %d\n', r1, c1, r2, c2)   % expect: 2 3 -1 -1
%% a global and a variable of the caller's workspace change in a loop as anywhere
global LOOPSUM
LOOPSUM = 0;
for k = 1:4
  LOOPSUM = LOOPSUM + k;
end
fprintf('%d %d\n', lp_global(), k)        % expect: 10 4
%% while true with a counter, and constants in conditions and arithmetic
n = 0;
while true
  n = n + pi - pi + 1;
  if n >= 3 || false, break; end
end
fprintf('%d %d\n', n, isinf(n * Inf))     % expect: 3 1
%% in a script a name may be a variable of the workspace rather than a function
eval('pi = 3;');
s = 0;
for k = 1:2
  s = s + pi;
end
disp(s)                                   % expect: 6
%% a variable that a statement run the usual way leaves empty, read by a compiled one after it
s = struct('next', {2, []});
cur = 1;
n = 0;
while cur ~= 0
  nxt = s(cur).next;
  n = n + 1;
  cur = nxt;
end
fprintf('%d %d\n', n, isempty(cur))      % expect: 2 1
%% end in the subscripts of a loop's reads and writes
v = [5 6 7];
M = [8 1 6; 3 5 7];
s = 0;
for k = 1:3
  s = s + v(end) * 10 + M(end, k);
  v(end + 1) = k;
  w = M(1, end) * 100 + M(end);
end
fprintf('%d %d %d | ', s, w, numel(v)); fprintf('%d ', v); fprintf('\n')   % expect: 115 607 6 | 5 6 7 1 2 3 
