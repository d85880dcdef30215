%% growth by a linear index zero-fills
v = [];
v(3) = 1                   % expect: v = 0 0 1
%% growth by subscripts zero-fills
a = 1;
a(3, 5) = 1;
size(a)                    % expect: ans = 3 5
sum(a(:))                  % expect: ans = 2
%% growth of a column vector stays a column, also from an empty column
c = [1; 2];
c(4) = 9;
size(c)                    % expect: ans = 4 1
w = zeros(0, 1);
w(3) = 1;
size(w)                    % expect: ans = 3 1
r = zeros(1, 0);
r(2) = 1;
size(r)                    % expect: ans = 1 2
%% appending with end+1
v = [];
for k = 1:5
  v(end + 1) = k * k;
end
v                          % expect: v = 1 4 9 16 25
%% many appends
v = [];
for k = 1:2000
  v(end + 1) = k;
end
sum(v)                     % expect: ans = 2001000
%% a matrix cannot grow by a linear index
A = [1 2; 3 4];
A(7) = 1                   % expect-error: Q:badsubscript
%% deletion by linear index
v = [1 2 3 4 5];
v([2 4]) = []              % expect: v = 1 3 5
%% x = [x, ...] and x = [x; ...] give what concatenation gives, for every kind of vector, with copies, mixed classes, complex and cs-list items, and x itself as an item
v = [1 2];
w = v;
t = 'a';
k = int8(1);
b = true;
c = {1};
d = {'p', 'q'};
col = [1; 2];
for i = 2:3
  v = [v, i, [i; i]'];
  t = [t, 'bc', ''];
  k = [k, int8(i)];
  b = [b, false];
  c = [c, {i}, d(1:i - 1)];
  col = [col; i];
end
v = [v, v];
m = [t, 'x'];
m = [m, 66];
z = [w, 0];
z = [z, 2i];
disp(mat2str(v))                      % expect: [1 2 2 2 2 3 3 3 1 2 2 2 2 3 3 3]
disp([t, '|', class(m), '|', m, '|', class(k), '|', class(b), '|', mat2str(col), '|', mat2str(w)])
% expect: abcbc|char|abcbcxB|int8|logical|[1;2;2;3]|[1 2]
fprintf('%d ', k, b, numel(c), isreal(z), numel(z), imag(z(end))); fprintf('%s %s\n', c{3}, c{end})
% expect: 1 2 3 1 0 0 6 0 4 2 p q
try
  m2 = [1 2; 3 4];
  m2 = [m2, 5];
catch err
  disp(err.identifier)                % expect: Q:catDimensions
end
%% deletion of a matrix row
A = [1 2; 3 4; 5 6];
A(2, :) = []               % expect: A = 1 2
% expect: 5 6
%% deletion of a column
A = [1 2 3; 4 5 6];
A(:, [1 3]) = []           % expect: A = 2
% expect: 5
%% deletion needs colons elsewhere
A = [1 2; 3 4];
A(1, 1) = []               % expect-error: Q:nullAssignment
%% deletion from a matrix by linear index gives a row, also of its last elements
A = [1 2; 3 4];
A(1) = [];
size(A)                    % expect: ans = 1 3
B = [1 2; 3 4];
B(3:4) = [];
disp(B)                    % expect: 1 3
%% runs of elements deleted at the front, in the middle and at the end (queues and stacks) of every kind of vector; copies keep theirs, and the array grows again
v = (1:6)';
w = v;
t = 'abcde';
c = {1, 'two', {3}, 4};
s = struct('a', {1, 2, 3});
v(end) = [];
v(1) = [];
v(end - 1:end) = [];
t(1) = [];
t(2:3) = [];
c(1) = [];
c(end) = [];
s(2) = [];
v(end + 1) = 7;
c{end + 1} = 8;
fprintf('%d %d |', size(v)); fprintf(' %d', v);
fprintf(' | %s | %d %d %s | %d %d | %d\n', t, numel(c), c{3}, class(c{1}), numel(s), s(end).a, ...
        numel(w))                                  % expect: 3 1 | 2 3 7 | be | 3 8 char | 2 3 | 6
%% brace assignment of [] stores an empty value
c = {1, 2, 3};
c{2} = [];
numel(c)                   % expect: ans = 3
isempty(c{2})              % expect: ans = 1
%% assigning a scalar to a range
v = zeros(1, 4);
v(2:3) = 7                 % expect: v = 0 7 7 0
%% assigning a vector to a range
v = zeros(1, 4);
v([1 4]) = [5 6]           % expect: v = 5 0 0 6
%% mismatched sizes
v = zeros(1, 4);
v(1:2) = [1 2 3]           % expect-error: Q:dimensionMismatch
%% logical mask assignment
v = [1 -2 3 -4];
v(v < 0) = 0               % expect: v = 1 0 3 0
%% assigning a row into a matrix
A = zeros(2, 3);
A(2, :) = [1 2 3]          % expect: A = 0 0 0
% expect: 1 2 3
%% a colon over an empty matrix or cell takes its extent from the right side
A = [];
A(:, 1) = [1; 2];
size(A)                    % expect: ans = 2 1
C = {};
C(end + 1, :) = {'a', 1};
C(end + 1, :) = {'b', 2};
fprintf('%d %d %s %d\n', size(C), C{2, 1}, C{1, 2})   % expect: 2 2 b 1
%% an integer stored into a double array converts the array
v = [1 2 3];
v(2) = int8(9);
class(v)                   % expect: ans = int8
%% a double stored into an integer array is rounded
v = int16([1 2 3]);
v(1) = 2.6                 % expect: v = 3 2 3
%% a number stored into text stays text
s = 'abc';
s(2) = 65                  % expect: s = aAc
%% a number stored into a logical array makes it double
m = [true false];
m(2) = 5;
class(m)                   % expect: ans = double
%% copy on write keeps the original
a = [1 2 3];
b = a;
b(1) = 100;
a                          % expect: a = 1 2 3
b                          % expect: b = 100 2 3
%% complex assignment makes the array complex
v = [1 2];
v(2) = 3i;
v(2)                       % expect: ans = 0 + 3i
%% multiple assignment
[s, p] = addmul(3, 4)      % expect: s = 7
% expect: p = 12
%% multiple assignment with a skipped output
[~, p] = addmul(3, 4)      % expect: p = 12
%% multiple assignment from a cs-list
c = {1, 2};
[a, b] = c{:};
b                          % expect: b = 2
%% multiple assignment into indexed targets
v = [0 0];
[v(1), v(2)] = addmul(2, 5);
v                          % expect: v = 7 10
%% too many outputs
[a, b, c] = addmul(1, 2)   % expect-error: Q:TooManyOutputs
%% nested assignment into a struct array field cell
s = struct();
s(2).f{3} = 'x';
numel(s)                   % expect: ans = 2
size(s(2).f)               % expect: ans = 1 3
s(2).f{3}                  % expect: ans = x
isempty(s(1).f)            % expect: ans = 1
%% nested struct fields are created
cfg.db.host = 'local';
cfg.db.port = 5432;
cfg.db.port                % expect: ans = 5432
fieldnames(cfg.db)'        % expect: ans = {'host'} {'port'}
%% nested assignment into an indexed field
s.data = [1 2 3];
s.data(2) = 20;
s.data                     % expect: ans = 1 20 3
%% nested growth of a field
s.list = [];
s.list(end + 1) = 4;
s.list(end + 1) = 5;
s.list                     % expect: ans = 4 5
%% assignment into a cell inside a cell
c = {{1, 2}, 3};
c{1}{2} = 'two';
c{1}{2}                    % expect: ans = two
%% struct array growth by field assignment
people(3).name = 'c';
size(people)               % expect: ans = 1 3
%% field assignment on a struct array is an error
s(1).a = 1;
s(2).a = 2;
s.a = 5                    % expect-error: Q:scalarStructRequired
%% assignment to a cell with () needs a cell
c = {1, 2};
c(1) = 5                   % expect-error: Q:invalidConversion
%% the variable is unchanged when the right side fails
x = 5;
x = undefinedFunctionXyz(); % expect-error: Q:undefined
%% display of an indexed assignment shows the whole variable
v = [1 2 3];
v(2) = 0                   % expect: v = 1 0 3
%% a function handle assigned by index to a new variable is the handle itself
h(1) = @(a, b) a + b;
disp(h(1, 2))              % expect: 3
%% a function handle cannot grow into an array of handles by index
h(3, 4) = @sin;            % expect-error: Q:invalidConversion
