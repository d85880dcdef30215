%% quicksort with recursive calls inside a matrix
qs([3 1 4 1 5 9 2 6])                   % expect: ans = 1 1 2 3 4 5 6 9
qs([2 2 1])                             % expect: ans = 1 2 2
isempty(qs([]))                         % expect: ans = 1
%% flattening nested cells by recursion
flat({1, {2, {3, 4}}, 5, {}})           % expect: ans = 1 2 3 4 5
%% a persistent counter printed with fprintf
fprintf('%d %d %d\n', counter(), counter(), counter());   % expect: 1 2 3
fprintf('%d\n', counter());             % expect: 4
fprintf('[%d]\n', [], counter(), []);   % expect: [5]
%% a JSON-like encoder built from sprintf, cellfun and recursion
s.name = 'kvn';
s.sizes = [1 2 3];
s.tags = {'a', 'b'};
s.inner.x = 1.5;
disp(enc(s))                            % expect: {"name":"kvn","sizes":[1,2,3],"tags":["a","b"],"inner":{"x":1.5}}
disp(enc({1, 'two', {3}}))              % expect: [1,"two",[3]]
%% building a struct array and a cell in loops
names = {'ann', 'bob', 'cy'};
for k = 1:numel(names)
  people(k).name = names{k};
  people(k).age = 20 + k;
end
numel(people)                           % expect: ans = 3
[people.age]                            % expect: ans = 21 22 23
older = people([people.age] > 21);
disp(strjoin({older.name}, ','))        % expect: bob,cy
rows = {};
for k = 1:numel(people)
  rows{end + 1} = sprintf('%s=%d', people(k).name, people(k).age);
end
disp(strjoin(rows, ';'))                % expect: ann=21;bob=22;cy=23
%% a word count table from regexp, strsplit and struct fields
text = 'the cat and the hat and the bat';
words = strsplit(text);
counts = struct();
for k = 1:numel(words)
  w = words{k};
  if isfield(counts, w)
    counts.(w) = counts.(w) + 1;
  else
    counts.(w) = 1;
  end
end
keys = fieldnames(counts);
for k = 1:numel(keys)
  fprintf('%s:%d ', keys{k}, counts.(keys{k}));
end
fprintf('\n');                          % expect: the:3 cat:1 and:2 hat:1 bat:1
numel(regexp(text, '\<\w*at\>', 'match'))   % expect: ans = 3
%% recursion to the limit of 500 calls and no further
deepcount(499)                          % expect: ans = 499
try
  deepcount(500);
catch err
  disp(err.identifier)                  % expect: Q:recursionLimit
  disp(err.message)                     % expect: Maximum recursion limit of 500 reached.
end
%% runaway recursion through cellfun is an error, not a crash
deepmap(1)                              % expect-error: Q:recursionLimit
