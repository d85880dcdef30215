%% command syntax passes words as texts
disp hello                                % expect: hello
a = 1;
b = 2;
clear a b
disp(exist('a') + exist('b'))             % expect: 0
warning off tst:cmd
s = warning('query', 'tst:cmd');
disp(s.state)                             % expect: off
%% a variable followed by a space and a signed number is an expression
x = 3;
x -1                                      % expect: ans = 2
y = [4 5];
y (2)                                     % expect: ans = 5
%% format long and short change the display of doubles
format long
p = pi                                    % expect: p = 3.141592653589793
format short
p = pi                                    % expect: p = 3.1416
%% numbers in many spellings
fprintf('%g %g %g %g %g\n', .5, 5., 1e3, 1E-2, 0.5e+1);   % expect: 0.5 5 1000 0.01 5
z = 3i;
fprintf('%g %g\n', real(z * 1j), imag(2j));   % expect: -3 2
%% quotes inside texts and the transpose after values
s = 'it''s';
disp(s)                                   % expect: it's
disp(numel(s))                            % expect: 4
v = [1 2]';
disp(size(v))                             % expect: 2 1
w = v';
disp(size(w'))                            % expect: 2 1
c = {v', 'q'};
disp(class(c{2}))                         % expect: char
%% a percent sign inside a text is not a comment
t = 'a % b';
disp(t)                                   % expect: a % b
%% block comments are skipped
%{
disp('inside a block comment')
%}
disp('after the block')                   % expect: after the block
%% line continuation inside a call and a matrix
total = plus(1, ...
             2);
disp(total)                               % expect: 3
m = [1, 2, ...
     3];
disp(m)                                   % expect: 1 2 3
%% new lines inside brackets and braces separate rows
m = [1 2
     3 4];
disp(size(m))                             % expect: 2 2
c = {'a', 1
     'b', 2};
disp(c{2, 1})                             % expect: b
%% blanks decide between a binary minus and a sign inside brackets
disp([1 -2])                              % expect: 1 -2
disp([1 - 2])                             % expect: -1
disp([1 , -2])                            % expect: 1 -2
disp([1 -2 + 3])                          % expect: 1 1
x = 2;
disp([x' x'])                             % expect: 2 2
%% semicolons and commas end statements on one line
a = 1; b = a + 1, c = b * 2;              % expect: b = 2
disp(c)                                   % expect: 4
%% if, while and for on one line with commas
if true, disp('one-line if'), end         % expect: one-line if
k = 0; while k < 3, k = k + 1; end, disp(k)   % expect: 3
for i = 1:2, fprintf('%d', i); end, fprintf('\n');   % expect: 12
%% parentheses around a for assignment
for (k = 1:3)
  fprintf('%d', k);
end
fprintf('\n');                            % expect: 123
%% else if without elseif nests a second if
x = 3;
if x == 1
  disp('one')
else if x == 3
    disp('nested three')                  % expect: nested three
  end
end
%% keywords end blocks: endless nesting of control statements
n = 0;
for i = 1:2
  for j = 1:2
    if i == j
      while true
        n = n + 1;
        break
      end
    else
      switch i
        case 1
          n = n + 10;
        otherwise
          n = n + 100;
      end
    end
  end
end
disp(n)                                   % expect: 112
%% try and catch on one line
try, error('t:x', 'one line'); catch err, disp(err.message); end   % expect: one line
%% an unknown keyword-like name is just an undefined function
endwhile_q_test()                         % expect-error: Q:undefined
%% a syntax error is reported when the file is run
eval('x = [1 2')                          % expect-error: Q:syntaxError
%% double-quoted text is refused
eval('x = "abc";')                        % expect-error: Q:syntaxError
