%% a cell column of records turned into a struct array
rows = {'ann', 31; 'bob', 27};
people = struct('name', rows(:, 1)', 'age', rows(:, 2)');
disp(size(people))                        % expect: 1 2
fprintf('%s %d\n', people(2).name, people(2).age);   % expect: bob 27
%% a struct array turned back into a cell table
s = struct('k', {'x', 'y'}, 'v', {1, 2});
t = [{s.k}; {s.v}]';
disp(size(t))                             % expect: 2 2
disp(t{2, 1})                             % expect: y
%% fields of every element updated in a loop
s = struct('v', {1, 2, 3});
for k = 1:numel(s)
  s(k).v = s(k).v * 10;
  s(k).tag = sprintf('t%d', k);
end
disp([s.v])                               % expect: 10 20 30
disp([s.tag])                             % expect: t1t2t3
%% a struct of arrays indexed together
db.name = {'a', 'b', 'c'};
db.score = [70 95 80];
keep = db.score >= 80;
disp(strjoin(db.name(keep), ','))         % expect: b,c
[~, best] = max(db.score);
disp(db.name{best})                       % expect: b
%% nested cells grown inside a struct field
clear s
s.groups = {};
s.groups{end + 1} = {'x'};
s.groups{end}{end + 1} = 'y';
s.groups{end + 1} = {};
fprintf('%d %d %d\n', numel(s.groups), numel(s.groups{1}), numel(s.groups{2}));   % expect: 2 2 0
%% a struct array inside a cell inside a struct
clear cfg
cfg.layers = {struct('n', {1, 2})};
cfg.layers{1}(3).n = 3;
disp([cfg.layers{1}.n])                   % expect: 1 2 3
%% deleting fields and elements while keeping the others
s = struct('a', {1, 2}, 'b', {3, 4}, 'c', {5, 6});
s = rmfield(s, 'b');
s(1) = [];
fprintf('%s %d %d\n', strjoin(fieldnames(s)', ''), s.a, s.c);   % expect: ac 2 6
%% a cell of structs with different fields stays a cell
c = {struct('a', 1), struct('b', 2)};
disp(isfield(c{2}, 'b'))                  % expect: 1
disp(cellfun(@(s) numel(fieldnames(s)), c))   % expect: 1 1
%% counting words into a struct and reading it back sorted
words = strsplit('b a c a b a');
counts = struct();
for w = words
  if isfield(counts, w{1})
    counts.(w{1}) = counts.(w{1}) + 1;
  else
    counts.(w{1}) = 1;
  end
end
keys = sort(fieldnames(counts));
vals = cellfun(@(k) counts.(k), keys);
disp(vals')                               % expect: 3 2 1
%% a queue in a cell: enqueue at the end, dequeue at the front
q = {};
for x = {'a', 'b', 'c'}
  q{end + 1} = x{1};
end
first = q{1};
q(1) = [];
q{end + 1} = 'd';
fprintf('%s %s %d\n', first, strjoin(q, ''), numel(q));   % expect: a bcd 3
%% a stack in a vector: push with end + 1, pop with end
st = [];
for x = [4 7 1]
  st(end + 1) = x;
end
top = st(end);
st(end) = [];
fprintf('%d %s\n', top, mat2str(st));     % expect: 1 [4 7]
%% a matrix used as a lookup table by two indices
prices = [10 12 15; 20 22 25];
size_idx = 2;
kind = 3;
disp(prices(size_idx, kind))              % expect: 25
disp(prices(:, kind)')                    % expect: 15 25
%% a logical matrix marks visited cells of a grid
visited = false(3);
visited(2, [1 3]) = true;
visited(end, end) = true;
disp(find(visited)')                      % expect: 2 8 9
disp(sum(visited(:)))                     % expect: 3
%% cell arrays of mixed values filtered by class
c = {1, 'two', 3, {4}, 'five'};
texts = c(cellfun(@ischar, c));
nums = [c{cellfun(@isnumeric, c)}];
fprintf('%s %s\n', strjoin(texts, '+'), mat2str(nums));   % expect: two+five [1 3]
%% a map from names to handles applied by name
ops = struct('double', @(x) 2 * x, 'square', @(x) x .^ 2, 'neg', @(x) -x);
names = {'square', 'neg', 'double'};
v = 3;
for k = 1:numel(names)
  v = ops.(names{k})(v);
end
disp(v)                                   % expect: -18
%% sorting a struct array by a text field
s = struct('name', {'kiwi', 'apple', 'fig'});
[~, i] = sort({s.name});
disp(strjoin({s(i).name}, ' '))           % expect: apple fig kiwi
%% grouping values by a key vector with logical masks
keys = [1 2 1 3 2 1];
vals = [10 20 30 40 50 60];
s = sort(keys);
u = s([true, diff(s) ~= 0]);
sums = arrayfun(@(k) sum(vals(keys == k)), u);
fprintf('%d:%d ', [u; sums]); fprintf('\n');   % expect: 1:100 2:70 3:40
