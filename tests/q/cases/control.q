%% if, elseif, else
x = 5;
if x > 10
  disp('big')
elseif x > 3
  disp('medium')           % expect: medium
else
  disp('small')
end
%% if on an array needs every element non-zero
if [1 1 0], disp('yes'), else, disp('no'), end   % expect: no
if [1 2 3], disp('yes'), end                     % expect: yes
%% if on an empty value is false
if [], disp('yes'), else, disp('empty'), end     % expect: empty
%% for over a range
s = 0;
for k = 1:10
  s = s + k;
end
s                          % expect: s = 55
%% for over the columns of a matrix
for col = [1 2; 3 4]
  disp(col')
end
% expect: 1 3
% expect: 2 4
%% for over a cell gives 1-by-1 cells
for c = {'a', 'b'}
  disp(class(c))
end
% expect: cell
% expect: cell
%% for over an empty range runs no iteration
n = 0;
for k = 1:0
  n = n + 1;
end
n                          % expect: n = 0
%% the loop variable is reset each iteration
for k = 1:3
  k = k * 10;
end
k                          % expect: k = 30
%% while with break
n = 0;
while true
  n = n + 1;
  if n >= 4, break; end
end
n                          % expect: n = 4
%% continue skips the rest of the body
s = 0;
for k = 1:6
  if mod(k, 2) == 0, continue; end
  s = s + k;
end
s                          % expect: s = 9
%% nested loops break only the inner loop
count = 0;
for i = 1:3
  for j = 1:3
    if j == 2, break; end
    count = count + 1;
  end
end
count                      % expect: count = 3
%% switch on numbers
x = 3;
switch x
  case 1
    disp('one')
  case {2, 3}
    disp('two or three')   % expect: two or three
  otherwise
    disp('other')
end
%% switch on strings
s = 'beta';
switch s
  case 'alpha'
    disp('A')
  case {'beta', 'gamma'}
    disp('B or G')         % expect: B or G
end
%% switch with otherwise
switch 'zeta'
  case 'alpha'
    disp('A')
  otherwise
    disp('none')           % expect: none
end
%% switch does not match text against numbers
switch 'a'
  case 97
    disp('number')
  otherwise
    disp('text')           % expect: text
end
%% return leaves a function early
early(3)                   % expect: ans = small
early(30)                  % expect: ans = large
%% while with a complex condition
i = 0;
while i < 10 && mod(i, 7) ~= 6
  i = i + 1;
end
i                          % expect: i = 6
%% for over a scalar
for v = 7
  disp(v)                  % expect: 7
end
%% for over a row of text
out = '';
for ch = 'abc'
  out = [ch out];
end
out                        % expect: out = cba
