%% a call later in an argument list gives its value (built-in, user function and nested)
max(3, ident(9))                        % expect: ans = 9
sprintf('%d-%d', ident(1), ident(2))    % expect: ans = 1-2
add(ident(), ident(2))                  % expect: ans = 9
add(1, add(ident(2), ident(3)))         % expect: ans = 6
max(ident(2), max(1, ident(5)))         % expect: ans = 5
strcat('a', ident('b'), ident('c'))    % expect: ans = abc
%% calls later in a subscript list read and write the right element
v = [10 20 30; 40 50 60];
v(1, ident(3))                          % expect: ans = 30
M = zeros(2);
M(1, ident(2)) = 9;
disp(M)                                 % expect: 0 9
                                        % expect: 0 0
M(ident(2), end) = ident(4);
disp(M(:)')                             % expect: 0 0 9 4
%% calls later in matrix rows
[5, ident(2)]                           % expect: ans = 5 2
[1, 2, ident(3)]                        % expect: ans = 1 2 3
[1 ident(2) 3]                          % expect: ans = 1 2 3
x = [ident(1), ident(2); 3, ident(4)];
disp(x)                                 % expect: 1 2
                                        % expect: 3 4
[5, ident]                              % expect: ans = 5 7
%% calls later in cell rows
c = {ident(1), ident(2)};
numel(c)                                % expect: ans = 2
c{2}                                    % expect: ans = 2
d = {'a', ident('b'); ident('c'), 'd'};
disp(size(d))                           % expect: 2 2
d{2, 1}                                 % expect: ans = c
%% feval by handle and by name, and local functions
[1, feval(@ident, 4), feval('ident', 5)]  % expect: ans = 1 4 5
squares(2, 3)                           % expect: ans = 4 9
%% a call gives one value; c{:} and s.f of a struct array still give all of theirs
c = {1, 2, 3};
[0, c{:}, ident(4)]                     % expect: ans = 0 1 2 3 4
max(c{1:2})                             % expect: ans = 2
[spread(1, 2), 9]                       % expect: ans = 10 9
[mkstruct(3).v]                         % expect: ans = 1 2 3
numel({mkstruct(3).v, ident(2)})        % expect: ans = 4
list = @() c{:};
[list(), 9]                             % expect: ans = 1 9
[p, q] = list();
[p, q]                                  % expect: ans = 1 2
%% indexing chains through calls
mkstruct(2)(2).name                     % expect: ans = e2
s = mkstruct(3);
s(2).v(ident(1))                        % expect: ans = 2
v = [5 6 7];
v(ident(end))                           % expect: ans = 7
v(max(1, ident(end - 1)))               % expect: ans = 6
%% calls in lists inside conditions, loops, switch and anonymous functions
if isequal([1, ident(2)], [1 2]), disp('if'), end   % expect: if
n = 0;
while n < numel([1, ident(2), 3]), n = n + 1; end
n                                       % expect: n = 3
switch ident(2)
  case {1, ident(2)}
    disp('case')                        % expect: case
end
g = @(x) [x, ident(x)];
g(4)                                    % expect: ans = 4 4
k = @(a) max(a, ident(2));
k(1)                                    % expect: ans = 2
%% calls in lists inside cellfun and arrayfun
cellfun(@(x) add(x, ident(1)), {1, 2})  % expect: ans = 2 3
arrayfun(@(x) max(x, ident(2)), [1 3])  % expect: ans = 2 3
r = cellfun(@(x) [x, ident(x)], {1, 2}, 'UniformOutput', false);
[r{:}]                                  % expect: ans = 1 1 2 2
%% [c{:}] = f() calls f with one output per cell
out = cell(1, 3);
[out{:}] = spread(7, 8, 9);
[out{:}]                                % expect: ans = 70 80 90
h = cell(1, 2);
[h{:}] = max([3 9 2]);
[h{:}]                                  % expect: ans = 9 2
%% [c{1:3}] = f() creates and grows the cell
[c{1:3}] = spread(1, 2, 3);
disp(size(c))                           % expect: 1 3
[c{:}]                                  % expect: ans = 10 20 30
c = {1};
[c{end + 1:end + 2}] = deal(2, 3);
[c{:}]                                  % expect: ans = 1 2 3
[m{2, 1:2}] = deal(5, 6);
disp(size(m))                           % expect: 2 2
m{2, 2}                                 % expect: ans = 6
g = cell(2, 2);
[g{:, 2}] = spread(1, 2);
g{2, 2}                                 % expect: ans = 20
isempty(g{1, 1})                        % expect: ans = 1
%% [s.v] = f() calls f with one output per element of the struct array
s = struct('v', {1, 2, 3});
[s.v] = spread(4, 5, 6);
[s.v]                                   % expect: ans = 40 50 60
[s(2:3).v] = deal(9);
[s.v]                                   % expect: ans = 40 9 9
t = mkstruct(2);
[t.name] = deal('a', 'b');
[t.name]                                % expect: ans = ab
[t.w] = deal(1, 2);
[t.w]                                   % expect: ans = 1 2
u.x = 1;
[u.x] = ident(5);
u.x                                     % expect: ans = 5
[z.y] = ident(8);
z.y                                     % expect: ans = 8
%% mixed targets take outputs in order, counting every element of a list target
c = cell(1, 2);
[a, c{:}] = spread(1, 2, 3);
a                                       % expect: a = 10
[c{:}]                                  % expect: ans = 20 30
[~, c{1:2}, b] = spread(1, 2, 3, 4);
[c{:}, b]                               % expect: ans = 20 30 40
s = struct('v', {0, 0});
[s.v, a] = spread(5, 6, 7);
[s.v, a]                                % expect: ans = 50 60 70
%% a comma list as the argument of a user function fills its inputs in order
listargs({4, 5, 6}, struct('v', {2, 3}))  % expect: 9 11 7 5
listargs({4, 5, 6}, [])                 % expect-error: Q:TooManyInputs
%% a list target asks for more outputs than the function has
c = cell(1, 2);
[c{:}] = ident(1);                      % expect-error: Q:TooManyOutputs
%% a list target of a value that is not a cell
x = 5;
[x{1:2}] = deal(1, 2);                  % expect-error: Q:cellAssignToNonCell
