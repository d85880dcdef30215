%% struct with name/value pairs and with cell values spreading over an array
s = struct('a', 1, 'b', 'two');
fprintf('%d %s\n', s.a, s.b);             % expect: 1 two
t = struct('v', {1, 2, 3});
disp(size(t))                             % expect: 1 3
disp([t.v])                               % expect: 1 2 3
%% a cell inside a one-by-one cell becomes the field value
s = struct('c', {{1, 2}});
disp(class(s.c))                          % expect: cell
disp(numel(s.c))                          % expect: 2
%% struct with an empty cell value is an empty struct array
s = struct('a', {});
disp(size(s))                             % expect: 0 0
disp(isempty(s))                          % expect: 1
disp(isfield(s, 'a'))                     % expect: 1
%% fields are created by assignment, in order
s = struct();
s.z = 1;
s.a = 2;
disp(strjoin(fieldnames(s)', ','))        % expect: z,a
%% dynamic field names from expressions
s = struct();
for k = 1:3
  s.(sprintf('f%d', k)) = k * k;
end
disp(s.f3)                                % expect: 9
name = 'f2';
disp(s.(name))                            % expect: 4
%% an invalid dynamic field name is an error
s = struct();
s.('1bad') = 1;                           % expect-error: Q:invalidFieldName
%% a dynamic field name with a blank or a leading underscore is an error too
s = struct();
try
  s.('a b') = 1;
catch err
  disp(err.identifier)                    % expect: Q:invalidFieldName
end
try
  s.('_x') = 1;
catch err
  disp(err.identifier)                    % expect: Q:invalidFieldName
end
t = struct('k', {1, 2});
[t.('ok_1')] = deal(5);
disp([t.ok_1])                            % expect: 5 5
[t.('9no')] = deal(5);                    % expect-error: Q:invalidFieldName
%% reading a missing field is an error
s.a = 1;
s.b                                       % expect-error: Q:nonExistentField
%% isfield with one name and with a cell of names
s = struct('a', 1, 'b', 2);
disp(isfield(s, 'b'))                     % expect: 1
disp(isfield(s, {'a', 'x', 'b'}))         % expect: 1 0 1
disp(isfield(5, 'a'))                     % expect: 0
%% rmfield removes one field or several, and refuses a missing one
s = struct('a', 1, 'b', 2, 'c', 3);
t = rmfield(s, 'b');
disp(strjoin(fieldnames(t)', ','))        % expect: a,c
u = rmfield(s, {'a', 'c'});
disp(strjoin(fieldnames(u)', ','))        % expect: b
rmfield(s, 'zz')                          % expect-error: Q:nonExistentField
%% nested structs are created by assignment
clear s
s.a.b.c = 5;
disp(s.a.b.c)                             % expect: 5
s.a.b.d = 6;
disp(numel(fieldnames(s.a.b)))            % expect: 2
%% a struct array grows by indexed field assignment
clear s
s(3).x = 7;
disp(size(s))                             % expect: 1 3
disp(isempty(s(1).x))                     % expect: 1
s(2).y = 'new';
disp(isfield(s, 'y'))                     % expect: 1
disp(isempty(s(3).y))                     % expect: 1
%% a field of every element as a list
s = struct('n', {4, 5, 6});
disp([s.n])                               % expect: 4 5 6
c = {s.n};
disp(class(c))                            % expect: cell
disp(plus(s(2:3).n))                      % expect: 11
%% assigning a field of a struct array through deal and through a list
s = struct('n', {0, 0, 0});
[s.n] = deal(1);
disp([s.n])                               % expect: 1 1 1
vals = {7, 8, 9};
[s.n] = vals{:};
disp([s.n])                               % expect: 7 8 9
[s(2:3).n] = deal(0);
disp([s.n])                               % expect: 7 0 0
%% a field of a struct array cannot be set as a whole
s = struct('n', {1, 2});
s.n = 3;                                  % expect-error: Q:scalarStructRequired
%% deleting elements of a struct array
s = struct('n', {1, 2, 3, 4});
s([1 3]) = [];
disp([s.n])                               % expect: 2 4
s(end) = [];
disp(numel(s))                            % expect: 1
%% selecting struct elements by a mask over a field
s = struct('age', {30, 15, 42, 8});
adults = s([s.age] >= 18);
disp([adults.age])                        % expect: 30 42
%% a struct array from concatenation of structs with the same fields
a.x = 1;
b.x = 2;
s = [a, b];
disp(size(s))                             % expect: 1 2
disp(s(2).x)                              % expect: 2
%% struct arrays take elements with their own fields only, in any order
a.x = 1;
b.y = 2;
try, s = [a, b]; catch err, disp(err.identifier), end      % expect: Q:structFieldMismatch
s = struct('next', {1, 2});
try, s(3) = struct('Next', 3); catch err, disp(err.identifier), end  % expect: Q:structFieldMismatch
t = struct('a', 1, 'b', 2);
try, t(2) = struct('a', 3); catch err, disp(err.identifier), end    % expect: Q:structFieldMismatch
t(2) = struct('b', 3, 'a', 4);
t(3).c = 5;                                % a field assignment adds the field to all
fprintf('%d %d %d %d\n', t(2).a, t(2).b, numel(fieldnames(t)), isempty(t(1).c))  % expect: 4 3 3 1
e = struct([]);
e(2) = struct('k', 7);                     % no fields and no elements yet: it takes those given
fprintf('%d %d %d\n', size(e), e(2).k)    % expect: 1 2 7
fprintf('%d %d\n', isstruct(struct(t)), isequal(struct(t), t))      % expect: 1 1
%% struct elements are copied on assignment
s.v = [1 2 3];
t = s;
t.v(1) = 100;
disp(s.v(1))                              % expect: 1
%% a struct in a cell and a cell in a struct
c = {struct('k', 'v')};
disp(c{1}.k)                              % expect: v
s.list = {1, 'two'};
disp(s.list{2})                           % expect: two
s.list{end + 1} = 3;
disp(numel(s.list))                       % expect: 3
%% indexing a field chain with end at several levels
s.data = [5 6 7];
s.items(2).vals = [1 2 3];
disp(s.data(end))                         % expect: 7
disp(s.items(end).vals(end - 1))          % expect: 2
s.items(end + 1).vals = 9;
disp(numel(s.items))                      % expect: 3
%% a two-dimensional struct array is indexed with two subscripts
s(2, 2).v = 1;
disp(size(s))                             % expect: 2 2
s(1, 2).v = 5;
disp(s(3).v)                              % expect: 5
%% fieldnames of a struct array and an empty struct
disp(numel(fieldnames(struct('a', {1, 2}, 'b', 0))))   % expect: 2
disp(numel(fieldnames(struct())))         % expect: 0
%% isstruct and class
fprintf('%d %d %s\n', isstruct(struct()), isstruct({}), class(struct('a', 1)));   % expect: 1 0 struct
%% isequal of structs ignores field order
a = struct('x', 1, 'y', 2);
b = struct('y', 2, 'x', 1);
disp(isequal(a, b))                       % expect: 1
b.y = 3;
disp(isequal(a, b))                       % expect: 0
%% arrayfun over a struct array
s = struct('w', {2, 3, 4}, 'h', {5, 6, 7});
disp(arrayfun(@(r) r.w * r.h, s))         % expect: 10 18 28
%% field access on a non-struct is an error
x = 5;
x.f                                       % expect-error: Q:fieldRefFromNonStruct
%% field assignment to a non-struct is an error
x = 'text';
x.f = 1;                                  % expect-error: Q:fieldAssignToNonStruct
%% an empty matrix becomes a struct by field assignment
x = [];
x.f = 1;
disp(isstruct(x))                         % expect: 1
y = [];
y(2).g = 3;
disp(size(y))                             % expect: 1 2
%% for over a struct array gives each element
s = struct('n', {1, 2, 3});
total = 0;
for e = s
  total = total + e.n;
end
disp(total)                               % expect: 6
%% a struct field holding a struct array, indexed in a chain
db.rows = struct('id', {1, 2, 3}, 'tag', {'a', 'b', 'c'});
disp(db.rows(2).tag)                      % expect: b
db.rows(2).tag = 'B';
disp([db.rows.tag])                       % expect: aBc
disp(numel(db.rows(2:end)))               % expect: 2
