%% a scalar
x = 42                        % expect: x = 42
%% a non-integer scalar
y = 1.5                       % expect: y = 1.5000
%% a negative row
r = [-1 2 -3]                 % expect: r = -1 2 -3
%% text
s = 'hello'                   % expect: s = hello
%% logical
t = true                      % expect: t = 1
%% integer class
k = int8([-128 0 127])        % expect: k = -128 0 127
%% empty matrix
e = zeros(0, 3)               % expect: e = 0x3 empty double array
%% a cell
c = {42, 'text'}              % expect: c = {[42]} {'text'}
%% a struct
st.name = 'probe';
st.count = 2.5;
st                            % expect: st = name: 'probe'
% expect: count: 2.5000
%% a struct array
sa(2).a = 1;
sa                            % expect: sa = 1x2 struct array with fields:
% expect: a
%% display through disp
disp(5)                       % expect: 5
disp([1 2 3])                 % expect: 1 2 3
disp('some text')             % expect: some text
%% disp of an empty value prints nothing
disp([])
disp('after')                 % expect: after
%% fprintf to the output
fprintf('%d-%d\n', 1, 2)      % expect: 1-2
fprintf('no newline');
fprintf(' then one\n')        % expect: no newline then one
%% fprintf cycles its format over the values
fprintf('%d,', [1 2 3]); fprintf('\n')   % expect: 1,2,3,
%% fprintf to the error stream
fprintf(2, 'to errors\n')     % expect: to errors
%% sprintf and num2str
s = sprintf('%5.2f|%s', pi, 'x')   % expect: s = 3.14|x
n = num2str(7)                % expect: n = 7
%% display of a variable alone
v = [1 2];
v                             % expect: v = 1 2
%% a command-syntax call with an expression statement suppressed
x = 3;
x;
disp('quiet')                 % expect: quiet
%% display of a function handle
f = @(a, b) a + b             % expect: f = @(a,b)a+b
g = @sin                      % expect: g = @sin
%% long format
format long
p = pi                        % expect: p = 3.141592653589793
format short
%% display of a three-dimensional array
A = zeros(1, 2, 2);
A(:, :, 2) = [5 6];
A                             % expect: A(:,:,1) = 0 0
% expect: A(:,:,2) = 5 6
%% multiple assignment displays each output
[a, b] = deal(1, 2)           % expect: a = 1
% expect: b = 2
%% display of a complex number
z = 1.5 - 2i                  % expect: z = 1.5000 - 2.0000i
