%% line comments and block comments
x = 1; % a comment
%{
x = 2;
%}
x           % expect: x = 1
%% continuation joins lines
total = 1 + ...
        2 + ...
        3   % expect: total = 6
%% number literals
a = 2.5e-3  % expect: a = 0.0025
b = 1e3     % expect: b = 1000
c = .5      % expect: c = 0.5000
%% imaginary literals
z = 3 + 2i  % expect: z = 3 + 2i
w = 2j * 1j % expect: w = -2
%% char arrays with quotes
s = 'it''s' % expect: s = it's
n = numel(s) % expect: n = 4
%% statement separators and display suppression
a = 1, b = 2; c = 3   % expect: a = 1
% expect: c = 3
%% matrix literal rows and columns
m = [1 2; 3 4]   % expect: m = 1 2
% expect: 3 4
n = [1, 2
     3, 4];
isequal(m, n)    % expect: ans = 1
%% signs inside brackets
v = [1 -2]       % expect: v = 1 -2
w = [1 - 2]      % expect: w = -1
u = [1 , -2 + 3] % expect: u = 1 1
%% transpose versus quote
a = [1 2 3];
b = a'           % expect: b = 1
% expect: 2
% expect: 3
c = [a' a']      % expect: c = 1 1
% expect: 2 2
% expect: 3 3
%% cell literal
c = {1, 'a'; [], {}};
size(c)          % expect: ans = 2 2
class(c{2, 2})   % expect: ans = cell
%% command syntax
format long
x = pi           % expect: x = 3.141592653589793
format short
y = pi           % expect: y = 3.1416
%% command syntax with a quoted argument
disp 'hello world'   % expect: hello world
%% empty matrix
e = [];
size(e)          % expect: ans = 0 0
isempty(e)       % expect: ans = 1
%% a syntax error in a called file is reported with file and line
eval('x = (1 + ');   % expect-error: Q:syntaxError
