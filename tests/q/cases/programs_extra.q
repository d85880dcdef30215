%% sliding and merging rows of a 2048 board
rows = [2 2 2 2; 0 4 4 8; 2 0 2 4; 8 4 2 2; 0 0 0 0; 2 4 8 16];
total = 0;
for r = 1:size(rows, 1)
  [m, s] = pn_merge2048(rows(r, :));
  fprintf('%s %d\n', mat2str(m), s);
  total = total + s;
end
% expect: [4 4 0 0] 8
% expect: [8 8 0 0] 8
% expect: [4 4 0 0] 4
% expect: [8 4 4 0] 4
% expect: [0 0 0 0] 0
% expect: [2 4 8 16] 0
disp(total)                               % expect: 24
B = [2 2 0 0; 0 2 2 4; 4 4 4 4; 0 0 0 2];
right = zeros(size(B));
for r = 1:4
  right(r, :) = pn_merge2048(B(r, end:-1:1));
  right(r, :) = right(r, end:-1:1);
end
disp(right)
% expect: 0 0 0 4
% expect: 0 0 4 4
% expect: 0 0 8 8
% expect: 0 0 0 2
%% an inverted index in dynamic fields answers word queries
docs = {'the cat sat', 'the dog sat down', 'a cat and a dog', 'nothing here'};
index = struct();
for d = 1:numel(docs)
  for w = strsplit(docs{d})
    if ~isfield(index, w{1})
      index.(w{1}) = [];
    end
    if ~any(index.(w{1}) == d)
      index.(w{1})(end + 1) = d;
    end
  end
end
disp(index.cat)                           % expect: 1 3
disp(index.sat)                           % expect: 1 2
query = @(a, b, op) feval(op, any(index.(a)' == 1:numel(docs), 1), any(index.(b)' == 1:numel(docs), 1));
disp(find(query('cat', 'dog', @and)))     % expect: 3
disp(find(query('cat', 'dog', @or)))      % expect: 1 2 3
disp(find(query('the', 'sat', @and)))     % expect: 1 2
words = fieldnames(index);
df = cellfun(@(w) numel(index.(w)), words);
[~, i] = max(df);
fprintf('%d %s %d\n', numel(words), words{i}, df(i));   % expect: 9 the 2
%% a tiny language with let bindings kept in a struct
env = pt_letlang({'let x = 2', 'let y = x * 3 + 1', 'print x + y * 2', 'let x = x * x', 'print x'});
% expect: 16
% expect: 4
fprintf('%d %d\n', env.x, env.y);          % expect: 4 7
bad = {{'let a = 1', 'print a + b'}, {'let a = 1', 'oops'}};
for k = 1:numel(bad)
  try
    pt_letlang(bad{k});
  catch err
    fprintf('%s: %s\n', err.identifier, err.message);
  end
end
% expect: let:unbound: line 2: b is not bound
% expect: let:syntax: line 2: cannot read 'oops'
%% shortest-job-first scheduling of jobs kept in a struct array
jobs = struct('name', {'a', 'b', 'c', 'd'}, 'arrive', {0, 2, 4, 5}, 'run', {7, 4, 1, 4});
t = 0;
pending = jobs;
order = '';
wait = struct();
while ~isempty(pending)
  ready = find([pending.arrive] <= t);
  if isempty(ready)
    t = min([pending.arrive]);
    continue
  end
  [~, pick] = min([pending(ready).run]);
  j = pending(ready(pick));
  wait.(j.name) = t - j.arrive;
  t = t + j.run;
  order(end + 1) = j.name;
  pending(ready(pick)) = [];
end
disp(order)                               % expect: acbd
w = cellfun(@(n) wait.(n), fieldnames(wait));
fprintf('%s %d %g\n', mat2str(w'), t, mean(w));   % expect: [0 3 6 7] 16 4
%% grouping runs of equal words in a cell
words = {'a', 'a', 'b', 'c', 'c', 'c', 'a', 'b', 'b'};
groups = {};
counts = [];
for k = 1:numel(words)
  if ~isempty(groups) && strcmp(groups{end}, words{k})
    counts(end) = counts(end) + 1;
  else
    groups{end + 1} = words{k};
    counts(end + 1) = 1;
  end
end
disp(strjoin(groups, ''))                 % expect: abcab
disp(counts)                              % expect: 2 1 3 1 2
expanded = {};
for k = 1:numel(groups)
  expanded = [expanded, repmat(groups(k), 1, counts(k))];
end
disp(isequal(expanded, words))            % expect: 1
%% a sparse matrix kept as a dictionary of keys in struct fields
A = zeros(4);
A(1, 2) = 3;
A(3, 1) = -1;
A(4, 4) = 2;
A(2, 3) = 5;
dok = struct();
[r, c] = find(A);
for k = 1:numel(r)
  dok.(sprintf('r%dc%d', r(k), c(k))) = A(r(k), c(k));
end
disp(strjoin(fieldnames(dok)', ' '))      % expect: r3c1 r1c2 r2c3 r4c4
x = [1; 2; 3; 4];
y = zeros(4, 1);
for f = fieldnames(dok)'
  rc = str2double(regexp(f{1}, '\d+', 'match'));
  y(rc(1)) = y(rc(1)) + dok.(f{1}) * x(rc(2));
end
disp(y')                                  % expect: 6 15 -1 8
disp(isequal(y, A * x))                   % expect: 1
