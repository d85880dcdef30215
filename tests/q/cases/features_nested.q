%% assignment deep into a struct array creates every level
clear s
s(2).a.b(3) = 1;
disp(size(s))                             % expect: 1 2
disp(s(2).a.b)                            % expect: 0 0 1
disp(isempty(s(1).a))                     % expect: 1
%% assignment deep into a cell creates every level
clear c
c{2}.f(2).g = 'x';
disp(size(c))                             % expect: 1 2
disp(size(c{2}.f))                        % expect: 1 2
disp(c{2}.f(2).g)                         % expect: x
%% deleting elements of a field, of a cell's content and of nested content
clear s
s.a = [1 2 3];
s.a(2) = [];
disp(s.a)                                 % expect: 1 3
c = {[1 2 3]};
c{1}(2) = [];
disp(c{1})                                % expect: 1 3
clear t
t(2).list = {[1 2 3]};
t(2).list{1}(end) = [];
disp(t(2).list{1})                        % expect: 1 2
%% deleting a column of a matrix held in a field
clear s
s.m = zeros(2);
s.m(:, 1) = [];
disp(size(s.m))                           % expect: 2 1
%% deleting cells of a field and elements of a struct array field
clear t
t.c = {1, 2, 3};
t.c(2) = [];
disp(numel(t.c))                          % expect: 2
clear v
v.s = struct('k', {1, 2});
v.s(1) = [];
disp(v.s.k)                               % expect: 2
%% emptying a struct array element's field keeps the element
u = struct('x', {1, 2, 3});
u(2).x = [];
disp(size(u))                             % expect: 1 3
u(2) = [];
disp([u.x])                               % expect: 1 3
%% cells of cells grow at every level
clear w
w{3}{2} = 5;
disp(size(w))                             % expect: 1 3
disp(size(w{3}))                          % expect: 1 2
clear z
z.a{2}(3).b = 7;
disp(size(z.a))                           % expect: 1 2
disp(z.a{2}(3).b)                         % expect: 7
%% a scalar field grows into a vector
x.y = 1;
x.y(3) = 5;
disp(x.y)                                 % expect: 1 0 5
%% a cell grows in two dimensions
q = {};
q{2, 3} = 1;
disp(size(q))                             % expect: 2 3
%% updating nested values read back through several levels
db.users(1).name = 'ann';
db.users(1).roles = {'admin'};
db.users(2).name = 'bob';
db.users(2).roles = {};
db.users(2).roles{end + 1} = 'dev';
db.users(1).roles{end + 1} = 'dev';
n = arrayfun(@(u) numel(u.roles), db.users);
disp(n)                                   % expect: 2 1
devs = arrayfun(@(u) any(strcmp(u.roles, 'dev')), db.users);
disp(devs)                                % expect: 1 1
disp(db.users(1).roles{end})              % expect: dev
%% a value copied out of a nested structure is independent of it
cfg.opts.level = 1;
opts = cfg.opts;
opts.level = 5;
disp(cfg.opts.level)                      % expect: 1
c = {{1, 2}};
inner = c{1};
inner{1} = 99;
disp(c{1}{1})                             % expect: 1
%% a function changes its copy of a nested argument only
s.data.v = [1 2 3];
t = pf_bump(s);
fprintf('%d %d\n', s.data.v(1), t.data.v(1));   % expect: 1 101
%% end in nested indexing of fields and cells
s.list = {10, [20 30 40]};
disp(s.list{end}(end))                    % expect: 40
s.list{end}(end + 1) = 50;
disp(numel(s.list{2}))                    % expect: 4
disp(s.list{end - 1})                     % expect: 10
%% swapping two fields of struct array elements
p = struct('x', {1, 2});
[p(1).x, p(2).x] = deal(p(2).x, p(1).x);
disp([p.x])                               % expect: 2 1
%% subscripts of a nested assignment read the variable as it was before the assignment
c = {[1 2 3]};
c{1}(c{1} > 1) = 0;
disp(c{1})                                % expect: 1 0 0
c = {[1 2 3]};
c{1}(numel(c{1})) = 9;
disp(c{1})                                % expect: 1 2 9
s.v = [1 2 3];
s.v(s.v > 1) = 0;
disp(s.v)                                 % expect: 1 0 0
t(2).v = [5 6];
t(2).v(t(2).v == 6) = 1;
disp(t(2).v)                              % expect: 5 1
%% deleting inside a container with a mask computed from the same container
c = {[1 2 3]};
c{1}(c{1} == 2) = [];
disp(c{1})                                % expect: 1 3
s.w = [4 5 6];
s.w(s.w == 5) = [];
disp(s.w)                                 % expect: 4 6
b = {{'x', 1; 'y', 2}};
b{1}(strcmp(b{1}(:, 1), 'y'), :) = [];
disp(size(b{1}))                          % expect: 1 2
%% deep targets whose subscripts read the same variable
s.a.b = [1 2];
s.a.b(end + 1) = s.a.b(1);
s.a.b(s.a.b == 1) = [];
disp(s.a.b)                               % expect: 2
c = {{1, 2}};
c{1}{numel(c{1})} = 7;
disp(c{1}{2})                             % expect: 7
d.list = {3, 1, 2};
[~, order] = sort([d.list{:}]);
d.list(order(1)) = [];
d.list{[d.list{:}] == 3} = 30;
disp([d.list{:}])                         % expect: 30 2
%% a subscript that captures the variable in an anonymous function
c = {[5 6 7]};
c{1}(arrayfun(@(k) c{1}(k) > 5, 1:3)) = 0;
disp(c{1})                                % expect: 5 0 0
%% a dynamic field name computed from the variable itself
s = struct('key', 'val', 'val', [1 2]);
s.(s.key)(end + 1) = numel(s.(s.key)) + 1;
disp(s.val)                               % expect: 1 2 3
