%% for iterates over the columns of a matrix
n = 0;
for col = [1 2; 3 4]
  n = n + 1;
  fprintf('%d:%s ', n, mat2str(col'));
end
fprintf('\n');                            % expect: 1:[1 3] 2:[2 4]
%% for over a scalar runs once, over an empty range never
n = 0;
for k = 7
  n = n + k;
end
for k = 1:0
  n = n + 100;
end
disp(n)                                   % expect: 7
%% changing the loop variable inside the body does not change the iteration
out = [];
for k = 1:3
  out(end + 1) = k;
  k = k * 10;
end
disp(out)                                 % expect: 1 2 3
disp(k)                                   % expect: 30
%% changing the bound inside the loop does not change the iteration
n = 3;
count = 0;
for k = 1:n
  n = 10;
  count = count + 1;
end
disp(count)                               % expect: 3
%% a loop variable keeps its last value after the loop
for k = 1:4
end
disp(k)                                   % expect: 4
%% after a loop that runs no time the variable holds the value's rows by 0 columns
k = 5;
for k = 1:0
end
fprintf('%s %d %d\n', class(k), size(k));   % expect: double 1 0
for k = int8(3):int8(1)
end
fprintf('%s %d %d\n', class(k), size(k));   % expect: int8 1 0
for k = zeros(2, 0, 3)
end
disp(size(k))                             % expect: 2 0
for c = {}
end
fprintf('%s %d %d\n', class(c), size(c));   % expect: cell 0 0
%% a 0-by-3 matrix has three empty columns
n = 0;
for k = zeros(0, 3)
  n = n + numel(k) + 1;
end
fprintf('%d %d %d\n', n, size(k));        % expect: 3 0 1
%% ranges with fractional and negative steps
fprintf('%.1f ', 0:0.25:1); fprintf('\n');   % expect: 0.0 0.2 0.5 0.8 1.0
disp(10:-4:0)                             % expect: 10 6 2
disp(isempty(5:1))                        % expect: 1
disp(numel(0:0.1:0.3))                    % expect: 4
%% nested loops with the same variable name
t = 0;
for i = 1:3
  for i = 1:2
    t = t + 1;
  end
end
fprintf('%d %d\n', t, i);                 % expect: 6 2
%% break leaves the innermost loop only
hits = [];
for i = 1:3
  for j = 1:3
    if j > i
      break
    end
    hits(end + 1) = 10 * i + j;
  end
end
disp(hits)                                % expect: 11 21 22 31 32 33
%% continue skips to the next iteration of the innermost loop
s = 0;
for k = 1:10
  if mod(k, 3)
    continue
  end
  s = s + k;
end
disp(s)                                   % expect: 18
%% while with break and a condition on a vector
k = 0;
while true
  k = k + 1;
  if k >= 4, break, end
end
disp(k)                                   % expect: 4
while [1 1 0]
  disp('never')
end
%% if on arrays is true when every element is non-zero, and empty is false
if [1 2 3], disp('all'), end              % expect: all
if [1 0 3], disp('no'), else, disp('some zero'), end   % expect: some zero
if [], disp('no'), else, disp('empty'), end   % expect: empty
if 'text', disp('text'), end              % expect: text
%% elseif chains pick the first true branch
for x = [-5 0 5 50]
  if x < 0
    fprintf('neg ');
  elseif x == 0
    fprintf('zero ');
  elseif x < 10
    fprintf('small ');
  else
    fprintf('big ');
  end
end
fprintf('\n');                            % expect: neg zero small big
%% && and || short-circuit
x = [];
if isempty(x) || x(1) > 0, disp('short or'), end   % expect: short or
if ~isempty(x) && x(1) > 0, disp('no'), else, disp('short and'), end   % expect: short and
%% && and || need scalar operands
if [1 1] && true, disp('x'), end          % expect-error: Q:nonScalarLogical
%% the operands of && and || in conditions are checked like anywhere else
for test = {'if [0 1] || true, end', 'while true && [1 1], end', 'if [] && true, end', ...
            'if 1 == 1 && [2 3] > 1, end', 'if (1 && 0) || [1 1], end', 'if 1 || [1 1], disp(''short''), end'}
  try
    eval(test{1});
    disp('accepted')
  catch err
    disp(err.identifier)
  end
end
% expect: Q:nonScalarLogical
% expect: Q:nonScalarLogical
% expect: Q:nonScalarLogical
% expect: Q:nonScalarLogical
% expect: Q:nonScalarLogical
% expect: short
% expect: accepted
%% short-circuit conditions of scalar comparisons, calls and nested operators
x = 3;
if x > 1 && (x < 2 || x == 3) && ~isempty(x), disp('yes'), end   % expect: yes
if numel([1 2]) == 2 && strcmp('a', 'a'), disp('calls'), end   % expect: calls
k = 0;
while k < 5 && mod(k + 1, 4) ~= 0
  k = k + 1;
end
disp(k)                                   % expect: 3
%% a NaN condition is an error
if NaN, disp('x'), end                    % expect-error: Q:NaNToLogical
%% switch on numbers, texts and cells of either
for v = {3, 'b', 'z', 7}
  switch v{1}
    case 3
      fprintf('three ');
    case {'a', 'b'}
      fprintf('ab ');
    case {7, 8}
      fprintf('seven-eight ');
    otherwise
      fprintf('other ');
  end
end
fprintf('\n');                            % expect: three ab other seven-eight
%% switch on text is exact, not a prefix and not case-blind
switch 'Yes'
  case 'yes'
    disp('lower')
  case 'Y'
    disp('prefix')
  otherwise
    disp('none')                          % expect: none
end
%% a number never matches a text case
switch 5
  case '5'
    disp('text')
  case 5
    disp('number')                        % expect: number
end
%% switch runs only the first matching case
switch 2
  case {1, 2}
    disp('first')                         % expect: first
  case 2
    disp('second')
end
%% break inside switch inside a loop leaves the loop
for k = 1:5
  switch k
    case 3
      break
  end
end
disp(k)                                   % expect: 3
%% try/catch inside a loop with continue and break
log = '';
for k = 1:5
  try
    if k == 2, error('t:two', 'two'), end
    if k == 4, break, end
    log = [log, sprintf('%d', k)];
  catch
    log = [log, 'E'];
    continue
  end
end
disp(log)                                 % expect: 1E3
%% return inside loops inside a function leaves the function
disp(pc_tryret(3))                        % expect: 3
disp(pc_tryret(9))                        % expect: 40
%% return in a script ends the script
disp('before')                            % expect: before
return
disp('after')
%% statements separated by commas and semicolons on one line
a = 1, b = 2; c = 3                       % expect: a = 1
                                          % expect: c = 3
%% a for loop on one line
s = 0; for k = 1:4, s = s + k; end, disp(s)   % expect: 10
%% a for loop over a cell column iterates once with the whole column
n = 0;
for c = {1; 2; 3}
  n = n + 1;
  disp(size(c))                           % expect: 3 1
end
disp(n)                                   % expect: 1
%% a while loop counting down to zero
n = 5;
out = [];
while n
  out(end + 1) = n;
  n = n - 2;
  if n < 0, n = 0; end
end
disp(out)                                 % expect: 5 3 1
%% scalar steps in a loop go on when an operand stops being a real scalar
s = 0;
parts = {1, 2, [10 20], 0.5, 'a', int8(7)};
for k = 1:numel(parts)
  v = parts{k};
  s = s + v;
  h = v * 2;
end
fprintf('%s %g %g %s\n', class(s), s(1), s(2), class(h))   % expect: int8 118 127 int8
t = 1;
for k = 1:2
  t = t / missing_in_flow;
end                                       % expect-error: Q:undefined
%% element arithmetic in a function: copies unshared, growth, complex results, bad subscripts
out = fe_scalar([1 2 9]);
fprintf('%g ', out{1}); fprintf('| '); fprintf('%g ', out{2});
fprintf('| %g %g\n', real(out{3}), imag(out{3}))   % expect: 1 13 9 0 -6.5 | 1 2 9 | 0 6
abs = [5 6 7];
disp(abs(2) * 2 - abs(1))                 % expect: 7
out = fe_scalar([1 2]);                   % expect-error: Q:badsubscript
%% scalar arithmetic with variables, numbers and elements as right operands, in a function
fe_fused([2 3 5 7], [11 13 17 19], 3, 2)  % expect: 18 -8 65 11 12 56 1 -15 44 -1.5 20 int8
fe_fused([2 3 5 7], [11 13 17 19], 9, 2)  % expect-error: Q:badsubscript
%% elements by row and column: reads, writes, the dimensions after the first, scalars
A = reshape(1:12, 3, 2, 2);
B = A;
s = A(2, 3) + A(3, 4) * 10;
A(1, 4) = -A(2, 1);
fprintf('%g %g %g %g\n', s, A(1, 4), B(1, 4), A(1, 2, 2))   % expect: 128 -2 10 -2
v = 5;
v(1, 1) = v(1) + 2;
disp(v)                                   % expect: 7
x = A(4, 1);                              % expect-error: Q:badsubscript
%% a for loop over more values than any count holds runs until it is left
n = 0;
for k = 1:1e20
  n = n + 1;
  if n == 3, break; end
end
disp(k)                                   % expect: 3
