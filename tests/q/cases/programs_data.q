%% breadth-first search with a cell queue over an adjacency matrix built from edges
E = [1 2; 1 3; 2 4; 3 4; 4 5; 6 7];
A = zeros(7);
for e = E'
  A(e(1), e(2)) = 1;
  A(e(2), e(1)) = 1;
end
[order, dist] = pd_bfs(A, 1);
disp(order)                              % expect: 1 2 3 4 5
fprintf('%g ', dist); fprintf('\n');     % expect: 0 1 1 2 3 Inf Inf
seen = false(1, 7);
parts = 0;
while ~all(seen)
  s = find(~seen, 1);
  seen(pd_bfs(A, s)) = true;
  parts = parts + 1;
end
disp(parts)                              % expect: 2
[o, d] = pd_bfs(A, 7);
fprintf('%d ', o, d(o)); fprintf('\n'); % expect: 7 6 0 1
%% topological order by depth-first recursion, and a cycle reported by identifier
tasks = struct('name', {'deploy', 'build', 'test', 'fetch', 'lint'}, ...
               'after', {{'test', 'build'}, {'fetch'}, {'build'}, {}, {'fetch'}});
disp(strjoin(pd_toposort(tasks), ' '))   % expect: fetch build test deploy lint
numel(tasks(4).after)                    % expect: ans = 0
tasks(4).after = {'deploy'};
try
  pd_toposort(tasks);
catch err
  fprintf('%s: %s\n', err.identifier, err.message);   % expect: pd:cycle: cycle through deploy
end
%% a bank simulation: error identifiers logged, balances kept in dynamic fields
ops = {'open', 'ann', 100; 'open', 'bob', 50; 'withdraw', 'ann', 30; 'withdraw', 'bob', 80;
       'deposit', 'cy', 10; 'open', 'ann', 5; 'deposit', 'bob', -5; 'pay', 'bob', 25; 'close', 'ann', 0};
[accts, log] = pd_bank(struct(), ops);
fprintf('%s\n', log{:});
% expect: open ann ok
% expect: open bob ok
% expect: withdraw ann ok
% expect: withdraw failed: bank:funds (bob has 50.00, needs 80.00)
% expect: deposit failed: bank:noaccount (no account cy)
% expect: open failed: bank:exists (account ann already exists)
% expect: deposit failed: bank:amount (amount must be positive, got -5)
% expect: pay bob ok
% expect: close failed: bank:op (unknown operation close)
fprintf('%d %d\n', accts.ann, accts.bob);   % expect: 70 75
try
  pd_bank(accts, {'deposit', 'ann', 1; 'halt', 'x', 0; 'deposit', 'ann', 1});
catch err
  fprintf('%s / %s\n', err.identifier, err.message);   % expect: bank:fatal / halted at operation 2
end
%% a memoized Fibonacci keeps its table in a persistent variable
[f, hits] = pd_memofib(30, true);
fprintf('%d %d\n', f, hits);             % expect: 832040 26
[f, hits] = pd_memofib(31);
fprintf('%d %d\n', f, hits);             % expect: 1346269 28
[f, hits] = pd_memofib(20);
fprintf('%d %d\n', f, hits);             % expect: 6765 29
[f, hits] = pd_memofib(10, true);
fprintf('%d %d\n', f, hits);             % expect: 55 6
%% a least-recently-used cache in a struct of cells
cache = struct('keys', {{}}, 'values', {{}}, 'capacity', 3, 'misses', 0);
seq = {'a', 'b', 'c', 'a', 'd', 'b', 'e', 'a'};
got = '';
for k = 1:numel(seq)
  [v, cache] = pd_lru(cache, seq{k}, @upper);
  got(end + 1) = v;
end
disp(got)                                % expect: ABCADBEA
fprintf('%d %s %s\n', cache.misses, strjoin(cache.keys, ''), [cache.values{:}]);   % expect: 7 aeb AEB
%% a binary search tree in a struct array, with local functions for each operation
tree = [];
for k = [50 30 70 20 40 60 80 35]
  tree = pd_bst('insert', tree, k);
end
disp(pd_bst('inorder', tree))            % expect: 20 30 35 40 50 60 70 80
disp([tree.key])                         % expect: 50 30 70 20 40 60 80 35
fprintf('%d %d %d\n', pd_bst('height', tree), tree(2).left, tree(5).left);   % expect: 4 4 8
fprintf('%d%d%d\n', pd_bst('contains', tree, 35), pd_bst('contains', tree, 36), pd_bst('contains', [], 1));   % expect: 100
isempty(pd_bst('inorder', []))           % expect: ans = 1
%% an inventory in a struct array: deletion by mask, sorting by a field, list assignment
inv = struct('item', {'bolt', 'nut', 'gear', 'spring', 'cam'}, 'qty', {120, 0, 15, 4, 0}, ...
             'price', {0.1, 0.05, 2.5, 0.75, 4});
inv([inv.qty] == 0) = [];
fprintf('%d %.2f\n', numel(inv), sum([inv.qty] .* [inv.price]));   % expect: 3 52.50
[~, i] = sort([inv.price], 'descend');
inv = inv(i);
disp(strjoin({inv.item}, ','))           % expect: gear,spring,bolt
low = {inv([inv.qty] < 20).item};
disp(strjoin(low, ' '))                  % expect: gear spring
for k = find([inv.qty] < 20)
  inv(k).qty = inv(k).qty + 50;
end
disp([inv.qty])                          % expect: 65 54 120
inv(end + 1) = struct('item', 'washer', 'qty', 500, 'price', 0.01);
p = num2cell([inv.price] * 1.1);
[inv.price] = p{:};
fprintf('%.3f ', [inv.price]); fprintf('\n');   % expect: 2.750 0.825 0.110 0.011
disp(strjoin(fieldnames(rmfield(inv, 'price'))', ','))   % expect: item,qty
%% shortest paths: Dijkstra with predecessors against Floyd-Warshall by implicit expansion
W = [0 4 1 Inf; 4 0 2 5; 1 2 0 8; Inf 5 8 0];
[dist, prev] = pd_dijkstra(W, 1);
disp(dist)                               % expect: 0 3 1 8
path = [];
p = 4;
while p ~= 0
  path = [p, path];
  p = prev(p);
end
disp(path)                               % expect: 1 3 2 4
D = W;
for k = 1:4
  D = min(D, D(:, k) + D(k, :));
end
fprintf('%d %d %d\n', isequal(D(1, :), dist), sum(D(:)), D(3, 4));   % expect: 1 52 7
[d2, p2] = pd_dijkstra([0 1 Inf; 1 0 Inf; Inf Inf 0], 1);
fprintf('%g %g %g / %d %d %d\n', d2, p2);   % expect: 0 1 Inf / 0 1 0
%% flood fill labels the regions of a grid by recursion
G = [0 0 1 0 0 0;
     0 1 1 0 1 0;
     0 0 1 0 1 0;
     1 1 1 0 1 1;
     0 0 0 0 1 0];
label = 1;
sizes = [];
while any(G(:) == 0)
  i = find(G == 0, 1);
  r = mod(i - 1, size(G, 1)) + 1;
  c = floor((i - 1) / size(G, 1)) + 1;
  label = label + 1;
  G = pd_flood(G, r, c, 0, label);
  sizes(end + 1) = sum(G(:) == label);
end
disp(sizes)                              % expect: 5 12 1
disp(G(5, :))                            % expect: 3 3 3 3 1 4
%% set operations built from sort, diff and masks
a = [3 1 4 1 5 9 2 6 5 3 5];
b = [5 3 8 9 7];
s = sort(a);
u = s([true, diff(s) ~= 0]);
disp(u)                                  % expect: 1 2 3 4 5 6 9
inb = arrayfun(@(x) any(b == x), u);
disp(u(inb))                             % expect: 3 5 9
disp(u(~inb))                            % expect: 1 2 4 6
s2 = sort([a, b]);
disp(s2([true, diff(s2) ~= 0]))          % expect: 1 2 3 4 5 6 7 8 9
disp(arrayfun(@(x) sum(a == x), u))      % expect: 2 1 2 1 3 1 1
disp(arrayfun(@(x) find(a == x, 1), u))  % expect: 2 7 1 3 5 8 6
w = sort({'b', 'a', 'c', 'a', 'b'});
w = w([true, ~strcmp(w(2:end), w(1:end - 1))]);
disp(strjoin(w, ','))                    % expect: a,b,c
%% a linked list in a struct array: insert, traverse, reverse, unlink
nodes = struct('val', {10, 20, 30}, 'next', {2, 3, 0});
head = 1;
nodes(end + 1) = struct('val', 25, 'next', nodes(2).next);
nodes(2).next = numel(nodes);
vals = [];
cur = head;
while cur ~= 0
  vals(end + 1) = nodes(cur).val;
  cur = nodes(cur).next;
end
disp(vals)                               % expect: 10 20 25 30
prev = 0;
cur = head;
while cur ~= 0
  nxt = nodes(cur).next;
  nodes(cur).next = prev;
  prev = cur;
  cur = nxt;
end
head = prev;
nodes(4).next = nodes(2).next;
vals = [];
cur = head;
while cur ~= 0
  vals(end + 1) = nodes(cur).val;
  cur = nodes(cur).next;
end
disp(vals)                               % expect: 30 25 10
disp([nodes.next])                       % expect: 0 1 4 1
%% group-by over a struct array into a struct of summaries
emp = struct('name', {'ann', 'bob', 'cy', 'dee', 'eve', 'fay'}, ...
             'dept', {'ops', 'dev', 'dev', 'ops', 'hr', 'dev'}, 'pay', {50, 70, 65, 55, 40, 90});
by = struct();
for e = emp
  if ~isfield(by, e.dept)
    by.(e.dept) = struct('n', 0, 'total', 0, 'top', '', 'best', -Inf);
  end
  g = by.(e.dept);
  g.n = g.n + 1;
  g.total = g.total + e.pay;
  if e.pay > g.best
    g.best = e.pay;
    g.top = e.name;
  end
  by.(e.dept) = g;
end
names = sort(fieldnames(by));
for k = 1:numel(names)
  g = by.(names{k});
  fprintf('%s n=%d avg=%.1f top=%s\n', names{k}, g.n, g.total / g.n, g.top);
end
% expect: dev n=3 avg=75.0 top=fay
% expect: hr n=1 avg=40.0 top=eve
% expect: ops n=2 avg=52.5 top=dee
%% joining two cell tables on a key
orders = {101, 'ann', 3; 102, 'bob', 1; 103, 'ann', 2; 104, 'zed', 5};
customers = {'ann', 'NY'; 'bob', 'LA'; 'cy', 'SF'};
totals = struct();
for k = 1:size(orders, 1)
  [id, who, qty] = orders{k, :};
  hit = strcmp(customers(:, 1), who);
  if any(hit)
    city = customers{hit, 2};
  else
    city = 'unknown';
  end
  fprintf('%d %s %s %d\n', id, who, city, qty);
  if isfield(totals, city)
    totals.(city) = totals.(city) + qty;
  else
    totals.(city) = qty;
  end
end
% expect: 101 ann NY 3
% expect: 102 bob LA 1
% expect: 103 ann NY 2
% expect: 104 zed unknown 5
f = fieldnames(totals);
v = cellfun(@(n) totals.(n), f);
pairs = [f'; num2cell(v')];
fprintf('%s=%d ', pairs{:}); fprintf('\n');   % expect: NY=5 LA=1 unknown=5
%% an editor with undo and redo stacks kept in cells
cmds = {{'type', 'hello'}, {'type', ' world'}, {'undo'}, {'type', ' there'}, {'undo'}, ...
        {'undo'}, {'redo'}, {'redo'}, {'redo'}};
text = '';
undo = {};
redo = {};
for k = 1:numel(cmds)
  c = cmds{k};
  switch c{1}
    case 'type'
      undo{end + 1} = text;
      text = [text, c{2}];
      redo = {};
    case 'undo'
      if ~isempty(undo)
        redo{end + 1} = text;
        text = undo{end};
        undo(end) = [];
      end
    case 'redo'
      if ~isempty(redo)
        undo{end + 1} = text;
        text = redo{end};
        redo(end) = [];
      end
  end
  fprintf('[%s]', text);
end
fprintf('\n');   % expect: [hello][hello world][hello][hello there][hello][][hello][hello there][hello there]
fprintf('%d %d\n', numel(undo), numel(redo));   % expect: 2 0
%% a priority queue kept sorted by insertion into a struct array
pq = struct('name', {}, 'pri', {});
jobs = {'write', 2; 'fix', 5; 'test', 2; 'ship', 1; 'plan', 5};
for k = 1:size(jobs, 1)
  pq = pd_pqpush(pq, jobs{k, :});
end
disp(strjoin({pq.name}, ' '))            % expect: fix plan write test ship
out = {};
while ~isempty(pq)
  out{end + 1} = sprintf('%s%d', pq(1).name, pq(1).pri);
  pq(1) = [];
end
disp(strjoin(out, ','))                  % expect: fix5,plan5,write2,test2,ship1
size(pq)                                 % expect: ans = 1 0
%% sorting records by two keys with stable sorts, and ranks with ties
names = {'dan', 'amy', 'cat', 'bob', 'eve'};
grades = [85 92 85 70 92];
[~, i1] = sort(names);
[~, i2] = sort(grades(i1), 'descend');
order = i1(i2);
disp(strjoin(names(order), ' '))         % expect: amy eve cat dan bob
disp(order)                              % expect: 2 5 3 1 4
rank = arrayfun(@(g) 1 + sum(grades > g), grades);
disp(rank)                               % expect: 3 1 3 5 1
for k = order
  fprintf('%d. %s %d\n', rank(k), names{k}, grades(k));
end
% expect: 1. amy 92
% expect: 1. eve 92
% expect: 3. cat 85
% expect: 3. dan 85
% expect: 5. bob 70
%% walking nested structs and cells to list every leaf path
cfg.name = 'app';
cfg.size = [2 3];
cfg.opts.debug = true;
cfg.opts.level = 3;
cfg.items = {'a', {1, 'b'}};
lines = pd_paths(cfg, 'cfg');
fprintf('%s\n', lines{:});
% expect: cfg.name = 'app'
% expect: cfg.size = [2 3]
% expect: cfg.opts.debug = true
% expect: cfg.opts.level = 3
% expect: cfg.items{1} = 'a'
% expect: cfg.items{2}{1} = 1
% expect: cfg.items{2}{2} = 'b'
numel(pd_paths(struct(), 'x'))           % expect: ans = 0
%% a two-dimensional struct array: fill, reshape its field list, delete a column
for i = 1:2
  for j = 1:3
    grid(i, j).v = i * 10 + j;
  end
end
disp(size(grid))                         % expect: 2 3
disp(reshape([grid.v], size(grid)))
% expect: 11 12 13
% expect: 21 22 23
grid(:, 2) = [];
disp([grid.v])                           % expect: 11 21 13 23
grid(2, 2).v = 99;
disp(grid(end, end).v)                   % expect: 99
disp(numel(grid(1, :)))                  % expect: 2
g2 = grid';
disp(size(g2))                           % expect: 2 2
big = grid([grid.v] > 15);
disp(numel(big))                         % expect: 2
disp(sort([big.v]))                      % expect: 21 99
%% rotating a matrix with an anonymous function that indexes with end
R = @(M) M(end:-1:1, :)';
A = reshape(1:6, 2, 3);
disp(R(A))
% expect: 2 1
% expect: 4 3
% expect: 6 5
disp(isequal(R(R(R(R(A)))), A))         % expect: 1
disp(R(R(A)))
% expect: 6 4 2
% expect: 5 3 1
Lrot = @(M) M(:, end:-1:1)';
disp(isequal(Lrot(R(A)), A))             % expect: 1
flipH = @(M) M(:, end:-1:1);
flipV = @(M) M(end:-1:1, :);
disp(isequal(flipV(flipH(A)), R(R(A))))  % expect: 1
disp(Lrot(A))
% expect: 5 6
% expect: 3 4
% expect: 1 2
%% spiral order by deleting the top row and turning the rest
disp(pd_spiral(reshape(1:9, 3, 3)'))     % expect: 1 2 3 6 9 8 7 4 5
disp(pd_spiral(reshape(1:12, 4, 3)'))    % expect: 1 2 3 4 8 12 11 10 9 5 6 7
disp(pd_spiral([1; 2; 3]))               % expect: 1 2 3
isempty(pd_spiral([]))                   % expect: ans = 1
n = 3;
S = zeros(n);
S(pd_spiral(reshape(1:n * n, n, n))) = 1:n * n;
disp(S)
% expect: 1 2 3
% expect: 8 9 4
% expect: 7 6 5
%% closest and farthest points by pairwise distances with implicit expansion
pts = [0 0; 3 4; 6 8; 1 1];
x = pts(:, 1);
y = pts(:, 2);
D = sqrt((x - x').^2 + (y - y').^2);
n = size(pts, 1);
fprintf('%g\n', D(1, 3));               % expect: 10
D(1:n + 1:end) = Inf;
[m, i] = min(D(:));
r = mod(i - 1, n) + 1;
c = floor((i - 1) / n) + 1;
fprintf('%.4f %d %d\n', m, r, c);        % expect: 1.4142 4 1
D(isinf(D)) = -Inf;
[m, i] = max(D(:));
fprintf('%g %d\n', m, i);                % expect: 10 3
D2 = sqrt((x - x').^2 + (y - y').^2);
D2(1:n + 1:end) = Inf;
[~, nn] = min(D2);
disp(nn)                                 % expect: 4 4 2 1
