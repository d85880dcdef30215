%% linear indexing
v = [10 20 30 40];
v(2)                       % expect: ans = 20
v([1 3])                   % expect: ans = 10 30
%% two subscripts
A = [1 2 3; 4 5 6; 7 8 9];
A(2, 3)                    % expect: ans = 6
A(3, :)                    % expect: ans = 7 8 9
A(:, 2)'                   % expect: ans = 2 5 8
%% linear index into a matrix runs down the columns
A = [1 2; 3 4];
A(2)                       % expect: ans = 3
A(:)'                      % expect: ans = 1 3 2 4
%% logical masks
v = [5 -1 7 -3];
v(v > 0)                   % expect: ans = 5 7
A = [1 2; 3 4];
A(A > 1)'                  % expect: ans = 3 2 4
%% end in an index
v = [1 2 3 4 5];
v(end)                     % expect: ans = 5
v(end-1:end)               % expect: ans = 4 5
A = [1 2 3; 4 5 6];
A(end, end)                % expect: ans = 6
A(end)                     % expect: ans = 6
%% end in nested indexing refers to the innermost value
v = [10 20 30];
w = [3 2 1];
v(w(end))                  % expect: ans = 10
v(min(end, 7))             % expect: ans = 30
c = {[1 2 3], [4 5]};
c{end}(end)                % expect: ans = 5
c{1}(end)                  % expect: ans = 3
%% end inside a struct field index
s.data = [4 5 6];
s.data(end)                % expect: ans = 6
%% reading past the end is an error
v = [1 2 3];
v(4)                       % expect-error: Q:badsubscript
%% zero index is an error
v = [1 2 3];
v(0)                       % expect-error: Q:badsubscript
%% fractional index is an error
v = [1 2 3];
v(1.5)                     % expect-error: Q:badsubscript
%% shape follows the index for matrices
A = [1 2; 3 4];
B = A([1 2; 2 1]);
size(B)                    % expect: ans = 2 2
%% row vector indexed by a column stays a row
v = [1 2 3];
size(v([1; 2]))            % expect: ans = 1 2
%% brace indexing gives the content
c = {1, 'two', [3 4]};
c{2}                       % expect: ans = two
class(c(2))                % expect: ans = cell
%% comma-separated list from a cell
c = {1, 2, 3};
v = [c{:}]                 % expect: v = 1 2 3
m = max(c{2:3})            % expect: m = 3
%% comma-separated list into a function call
args = {2, 3};
z = zeros(args{:});
size(z)                    % expect: ans = 2 3
%% comma-separated list into a cell literal
c = {1, 2};
d = {c{:}, 3};
numel(d)                   % expect: ans = 3
%% a cs-list in assignment takes the first value
c = {7, 8, 9};
x = c{:}                   % expect: x = 7
%% brace index on a non-cell
x = 5;
x{1}                       % expect-error: Q:cellRefFromNonCell
%% struct fields
s.name = 'probe';
s.count = 3;
s.count                    % expect: ans = 3
s.name                     % expect: ans = probe
%% dynamic field names
s.alpha = 1;
f = 'alpha';
s.(f)                      % expect: ans = 1
%% missing field
s.a = 1;
s.b                        % expect-error: Q:nonExistentField
%% struct arrays give comma-separated lists
s(1).v = 1;
s(2).v = 5;
s(3).v = 9;
[s.v]                      % expect: ans = 1 5 9
numel(s)                   % expect: ans = 3
s(2).v                     % expect: ans = 5
%% struct array element by index
s(1).name = 'a';
s(2).name = 'b';
t = s(2);
t.name                     % expect: ans = b
%% indexing a function result
r = magicrow()(2)          % expect-error: Q:undefined
%% chained indexing of a call
c = num2cell([4 5 6]);
c{2}                       % expect: ans = 5
%% colon index on a scalar
x = 5;
x(:)                       % expect: ans = 5
x(1, 1)                    % expect: ans = 5
%% logical mask longer than needed
v = [1 2 3];
v(logical([1 0 1 0]))      % expect: ans = 1 3
%% three-dimensional indexing
A = zeros(2, 2, 2);
A(:, :, 2) = [1 2; 3 4];
A(2, 1, 2)                 % expect: ans = 3
size(A)                    % expect: ans = 2 2 2
