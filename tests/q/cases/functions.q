%% function file call
r = localfns(3)            % expect: r = 15
%% local functions are not visible outside their file
twice(3)                   % expect-error: Q:undefined
%% private functions are visible to the parent folder's files
useprivate(2)              % expect: ans = 21
%% private functions are not visible from elsewhere
hidden(2)                  % expect-error: Q:undefined
%% recursion
fib(15)                    % expect: ans = 610
%% runaway recursion is an error, not a crash
recurse(1)                 % expect-error: Q:recursionLimit
%% nargout decides what is computed
s = addmul(2, 3)           % expect: s = 5
[s, p] = addmul(2, 3);
p                          % expect: p = 6
%% too many inputs
addmul(1, 2, 3)            % expect-error: Q:TooManyInputs
%% varargin and nargin
n = countargs(1, 2, 3)     % expect: n = 3
%% varargout
[n, a, b] = countargs('x', 'y');
n                          % expect: n = 2
b                          % expect: b = y
%% unassigned output
x = noout(-1)              % expect-error: Q:undefinedOutput
%% an unassigned output is fine when nothing is asked for
noout(-1);
disp('ok')                 % expect: ok
%% scripts run in the caller's workspace
existing = 4;
setupvars
scriptValue                % expect: scriptValue = 7
doubled                    % expect: doubled = 8
%% a script cannot take arguments
setupvars(1)               % expect-error: Q:TooManyInputs
%% anonymous functions
sq = @(x) x.^2;
sq(4)                      % expect: ans = 16
sq([1 2 3])                % expect: ans = 1 4 9
%% anonymous functions capture by value
k = 10;
addk = @(x) x + k;
k = 20;
addk(1)                    % expect: ans = 11
%% closures made in a function keep their captures
f = makeadder(5);
f(1)                       % expect: ans = 6
%% anonymous functions with several arguments
hyp = @(a, b) sqrt(a^2 + b^2);
hyp(3, 4)                  % expect: ans = 5
%% anonymous function without arguments
now42 = @() 42;
now42()                    % expect: ans = 42
%% nested anonymous functions
adder = @(a) @(b) a + b;
add3 = adder(3);
add3(4)                    % expect: ans = 7
%% handles to named functions
h = @fib;
h(10)                      % expect: ans = 55
g = @max;
g([3 9 2])                 % expect: ans = 9
%% passing a handle to a function
callcallback(@(x) x * 3, 5)  % expect: ans = 15
%% feval with a name and with a handle
feval('fib', 7)            % expect: ans = 13
feval(@(x) -x, 2)          % expect: ans = -2
%% func2str and str2func
func2str(@(x) x + 1)       % expect: ans = @(x)x+1
f = str2func('@(a, b) a * b');
f(6, 7)                    % expect: ans = 42
func2str(@sin)             % expect: ans = sin
g = str2func('fib');
g(6)                       % expect: ans = 8
%% display of a handle
h = @(x) 2*x               % expect: h = @(x)2*x
%% cellfun with uniform output
c = {[1 2], [3 4 5], []};
cellfun(@numel, c)         % expect: ans = 2 3 0
cellfun('isempty', c)      % expect: ans = 0 0 1
%% cellfun with non-uniform output
c = cellfun(@(x) x * 2, {1, [2 3]}, 'UniformOutput', false);
c{2}                       % expect: ans = 4 6
%% cellfun with two outputs
[mx, ix] = cellfun(@max, {[1 5 2], [7 3]});
mx                         % expect: mx = 5 7
ix                         % expect: ix = 2 1
%% cellfun refuses non-scalar uniform results
cellfun(@(x) [x x], {1, 2})  % expect-error: Q:nonUniformOutput
%% arrayfun
arrayfun(@(x) x^2, [1 2 3])  % expect: ans = 1 4 9
s(1).v = 2;
s(2).v = 3;
arrayfun(@(e) e.v * 10, s)   % expect: ans = 20 30
%% arrayfun with non-uniform output
c = arrayfun(@(n) ones(1, n), 1:3, 'UniformOutput', false);
numel(c{3})                % expect: ans = 3
%% cellfun error handler
r = cellfun(@(x) error('bad:x', 'no'), {1, 2}, 'ErrorHandler', @(e, x) -x);
r                          % expect: r = -1 -2
%% nargin and nargout inside anonymous functions of a function
r = countargs();
r                          % expect: r = 0
%% a handle keeps seeing local functions of its file
f = makeadder(1);
class(f)                   % expect: ans = function_handle
%% deal
[a, b] = deal(1, 2);
[a b]                      % expect: ans = 1 2
[x, y] = deal(7);
y                          % expect: y = 7
%% functions of scalar arithmetic, conditions and calls: results, and where they are left to the tree
scalarprog('')                          % expect: 6765 9 400 20
                                        % expect: -1 0 1
                                        % expect: 0 1 1 6
                                        % expect: Inf -2 1
                                        % expect: 0+4i 0+9i
                                        % expect: 127 int8 2 double
                                        % expect: 14
                                        % expect: 21 111 25 1025
                                        % expect: -1 2 5 0
                                        % expect: 2.0000+1.7321i
                                        % expect: 165 22 8 6 3
                                        % expect: 0 111
                                        % expect: 9318284121.5
%% a NaN condition in such a function raises as usual
scalarprog('nan')                       % expect-error: Q:NaNToLogical
%% recursion past the limit in such a function raises as usual
scalarprog('deep')                      % expect-error: Q:recursionLimit
%% an output such a function leaves unassigned on some path raises as usual
scalarprog('partial')                   % expect-error: Q:undefinedOutput
