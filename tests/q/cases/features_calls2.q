%% feval of a library function by name and by handle
disp(feval('pt_rle', 'aab'))              % expect: 2a1b
h = @pt_toroman;
disp(feval(h, 14))                        % expect: XIV
%% cellfun and arrayfun with handles to library functions
disp(cellfun(@pt_rle, {'aa', 'b'}, 'UniformOutput', false))   % expect: {'2a'} {'1b'}
disp(arrayfun(@pn_isqrt, [15 16 17]))     % expect: 3 4 4
%% a local function is not visible from outside its file
triple(2)                                 % expect-error: Q:undefined
%% a function handle made from a local function name inside its file works outside
h = pf_gethandle();
disp(h(5))                                % expect: 15
%% a variable shadows a function of the same name
pt_rle = [7 8 9];
disp(pt_rle(2))                           % expect: 8
disp(feval('pt_rle', 'zz'))               % expect: 2z
%% calling a function with no arguments, with and without parentheses
a = pf_outs;
b = pf_outs();
disp([a b])                               % expect: 1 1
%% a function called only for its side effects as a statement
pc_setlevel(2);
global PC_LOG_LEVEL
disp(PC_LOG_LEVEL)                        % expect: 2
%% nested calls evaluate arguments left to right
disp(sprintf('%d,%d', counter(), counter()))   % expect: 1,2
%% a function result indexed directly
disp(pt_toroman(1994)(1:2))               % expect: MC
%% results of calls combined in matrices and cells
m = [pn_isqrt(9), pn_isqrt(16); pn_gcd(12, 18), pn_gcd(7, 5)];
disp(m)
% expect: 3 4
% expect: 6 1
c = {pt_rle('x'), pn_gcd(4, 6)};
fprintf('%s %d\n', c{:});                 % expect: 1x 2
%% multiple outputs of a library function into indexed targets
v = zeros(1, 2);
[v(1), v(2)] = pf_half(8);
disp(v)                                   % expect: 8 4
s = struct();
[s.a, s.b] = pf_half(6);
fprintf('%d %d\n', s.a, s.b);             % expect: 6 3
%% recursion through library functions
disp(pc_parity(100))                      % expect: 1
disp(fib(20))                             % expect: 6765
%% the same handle called many times keeps its captured values
k = 3;
f = @(x) x * k;
total = 0;
for i = 1:100
  total = total + f(i);
end
disp(total)                               % expect: 15150
%% a script called from a function runs in that function's workspace
disp(pf_runscript())                      % expect: 14
%% a name that is neither variable nor function
no_such_fn_q(1)                           % expect-error: Q:undefined
%% str2func of a library function name
f = str2func('pt_commas');
disp(f(1234567))                          % expect: 1,234,567
%% handles compared by their text
a = @pt_rle;
b = str2func('pt_rle');
disp(strcmp(func2str(a), func2str(b)))    % expect: 1
%% cellfun as a statement calls functions that return nothing
cellfun(@(x) disp(x * 2), {1, 2});
% expect: 2
% expect: 4
%% functions that return nothing cannot give values to cellfun
r = cellfun(@(x) pc_setlevel(x), {1, 2}); % expect-error: Q:TooManyOutputs
%% in a file, a name assigned as a variable is a variable everywhere in that file
disp(pf_shadowfn())                       % expect-error: Q:undefined
