%% an anonymous function with varargin takes any number of arguments as a cell
f = @(varargin) numel(varargin);
fprintf('%d %d %d\n', f(), f(1), f(1, 'a', {}));   % expect: 0 1 3
g = @(varargin) class(varargin);
disp(g(1))                                % expect: cell
%% named parameters before varargin are filled first
h = @(a, varargin) a + numel(varargin);
disp(h(10))                               % expect: 10
disp(h(10, 'x', 'y'))                     % expect: 12
k = @(varargin) varargin{end};
disp(k(1, 2, 7))                          % expect: 7
%% varargin of an anonymous function keeps the shape 1-by-N and can be forwarded
fwd = @(varargin) max(varargin{:});
disp(fwd([3 8 1]))                        % expect: 8
disp(fwd([3 8 1], 5))                     % expect: 5 8 5
sz = @(varargin) size(varargin);
disp(sz(1, 2))                            % expect: 1 2
disp(sz())                                % expect: 1 0
%% varargin in an anonymous function is only allowed last
eval('f = @(varargin, x) x;')             % expect-error: Q:syntaxError
%% func2str shows varargin like any parameter
disp(func2str(@(a, varargin) a))          % expect: @(a,varargin)a
%% a captured variable named varargin in a function body is the enclosing one
disp(pf_capvarargin(1, 2, 3))             % expect: 3
%% nargin of a function name counts its declared inputs; varargin makes it negative
fprintf('%d %d %d\n', nargin('pf_half'), nargin('pf_nargs'), nargin('pn_bisect'));   % expect: 1 -1 4
fprintf('%d %d\n', nargin('pc_stats'), nargin('pf_partial'));   % expect: 1 -2
%% nargout of a function name counts its declared outputs; varargout makes it negative
fprintf('%d %d %d\n', nargout('pf_half'), nargout('pf_nargs'), nargout('pc_setlevel'));   % expect: 2 -1 0
%% nargin and nargout of handles
fprintf('%d %d %d\n', nargin(@pf_half), nargin(@(a, b, c) a), nargin(@(x, varargin) x));   % expect: 1 3 -2
fprintf('%d %d\n', nargout(@pf_half), nargout(@(x) x));   % expect: 2 -1
%% nargin of a built-in is -1, of an unknown name an error
disp(nargin('max'))                       % expect: -1
nargin('no_such_function_anywhere')       % expect-error: Q:undefined
%% nargin of a script is an error
nargin('setupvars')                       % expect-error: Q:invalidInput
%% nargin of a handle to a local function made in its file
h = pf_gethandle();
disp(nargin(h))                           % expect: 1
disp(h(4))                                % expect: 12
%% handles to local functions stay callable after their file returns
h = pf_gethandle();
disp(arrayfun(h, 1:3))                    % expect: 3 6 9
disp(func2str(h))                         % expect: triple
%% a closure made in a loop keeps the value of that iteration
fs = cell(1, 3);
for k = 1:3
  fs{k} = @() k * 10;
end
disp(cellfun(@(f) f(), fs))               % expect: 10 20 30
%% anonymous functions with ignored parameters
f = @(~, b) b * 2;
disp(f('anything', 4))                    % expect: 8
g = @(a, ~) a;
disp(g(1, 2))                             % expect: 1
%% too many arguments to an anonymous function
f = @(x) x;
f(1, 2)                                   % expect-error: Q:TooManyInputs
%% an anonymous function returning several outputs through deal
f = @(x) deal(x, x^2, x^3);
[a, b, c] = f(2);
disp([a b c])                             % expect: 2 4 8
%% handles in cells and struct fields are called with parentheses after the index
ops = {@plus, @minus, @(a, b) a * b};
disp(cellfun(@(op) op(6, 3), ops))        % expect: 9 3 18
s.fn = @upper;
disp(s.fn('abc'))                         % expect: ABC
t(2).fn = @(x) x + 1;
disp(t(2).fn(1))                          % expect: 2
%% handles compare through func2str and class
disp(class(@sin))                         % expect: function_handle
disp(isa(@(x) x, 'function_handle'))      % expect: 1
disp(strcmp(func2str(@sin), 'sin'))       % expect: 1
%% feval by name, by handle, and of an anonymous function
disp(feval('max', [1 9 3]))               % expect: 9
disp(feval(@min, [4 2 8]))                % expect: 2
disp(feval(@(a, b) a - b, 10, 4))         % expect: 6
%% str2func of a name and of an anonymous function text
f = str2func('numel');
disp(f({1, 2, 3}))                        % expect: 3
g = str2func('@(s) [s, s]');
disp(g('ab'))                             % expect: abab
%% nested anonymous functions capture the outer parameter
outer = @(a) @(b) @(c) a * 100 + b * 10 + c;
f1 = outer(1);
f2 = f1(2);
disp(f2(3))                               % expect: 123
disp(outer(4)(5)(6))                      % expect: 456
