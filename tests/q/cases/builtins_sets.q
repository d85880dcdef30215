%% unique sorts, keeps every NaN, and maps between input and result
a = [3 1 2 3 1 NaN NaN];
[u, i, j] = unique(a);
disp(u)                                   % expect: 1 2 3 NaN NaN
disp(i')                                  % expect: 2 3 1 6 7
disp(j')                                  % expect: 3 1 2 3 1 4 5
disp([size(i), size(j)])                  % expect: 5 1 7 1
[~, i] = unique(a, 'last');
disp(i')                                  % expect: 5 3 4 6 7
disp(size(unique([4; 4; 2])))             % expect: 2 1
disp(unique([2 1; 1 2])')                 % expect: 1 2
disp(size(unique([2 1; 1 2])))            % expect: 2 1
%% unique in order of appearance, of other classes, and of empties
[u, i, j] = unique([5 3 5 1 3], 'stable');
disp([u; i'])                             % expect: 5 3 1
                                          % expect: 1 2 4
disp(j')                                  % expect: 1 2 1 3 2
u = unique(int8([5 2 5]));
fprintf('%s %d %d\n', class(u), u);       % expect: int8 2 5
u = unique([true false true]);
fprintf('%s %d %d\n', class(u), u);       % expect: logical 0 1
disp(unique('hello'))                     % expect: ehlo
disp([size(unique([])), size(unique(zeros(0, 3)))])   % expect: 0 0 0 1
disp(class(unique(int16([]))))            % expect: int16
%% unique of a cell of text orders by character codes
w = {'pear', 'apple', 'pear', 'Fig'};
disp(strjoin(unique(w), ','))             % expect: Fig,apple,pear
[u, i, j] = unique(w');
disp(size(u))                             % expect: 3 1
disp([i', j'])                            % expect: 4 2 1 3 2 3 1
%% ismember by value, with the lowest matching index
[tf, loc] = ismember([1 5 2 NaN 2], [2 2 1 NaN]);
fprintf('%s %d%d%d%d%d\n', class(tf), tf); % expect: logical 10101
disp(loc)                                 % expect: 3 0 1 0 1
fprintf('%d', ismember([1 2; 3 4], [4 1])); fprintf('\n');   % expect: 1001
disp([ismember(int8(3), [1.5 3]), ismember(2.5, int8([2 3])), ismember('b', 'abc')])
% expect: 1 0 1
disp(ismember('abc', {'x', 'abc'}))       % expect: 1
[tf, loc] = ismember({'c', 'zz', 'a'}, {'a', 'c', 'c'});
disp([tf; loc])                           % expect: 1 0 1
                                          % expect: 2 0 1
%% setdiff, intersect and union of numbers
[c, ia] = setdiff([5 1 4 1 3], [4 9]);
disp([c; ia'])                            % expect: 1 3 5
                                          % expect: 2 5 1
[c, ia, ib] = intersect([5 1 4 1 3], [4 9 1]);
disp([c; ia'; ib'])                       % expect: 1 4
                                          % expect: 2 3
                                          % expect: 3 1
[c, ia, ib] = union([5 1 4], [4 9 1 7]);
disp(c)                                   % expect: 1 4 5 7 9
disp([ia', 0, ib'])                       % expect: 2 3 1 0 4 2
[c, ia, ib] = union([5 1 4], [4 9 1 7], 'stable');
disp([c, 0, ia', 0, ib'])                 % expect: 5 1 4 9 7 0 1 2 3 0 2 4
disp(intersect([3 1 2], [2 3], 'stable')) % expect: 3 2
disp([size(union([1 2], [3; 4])), size(setdiff([1 2 3], 2)), size(setdiff([3; 1], []))])
% expect: 4 1 1 2 2 1
disp([setdiff([NaN 1 NaN], 1), intersect([NaN 1], [NaN 1]), numel(union([NaN 2], NaN))])
% expect: NaN NaN 1 3
%% set operations on cells of text
disp(strjoin(setdiff({'a', 'b', 'c'}, 'b'), ','))   % expect: a,c
[c, ia, ib] = intersect({'x', 'y', 'z'}, {'z', 'w', 'x'});
disp(strjoin(c, ','))                     % expect: x,z
disp([ia', ib'])                          % expect: 1 3 3 1
c = union({'b'}, {'a'; 'b'});
disp(size(c))                             % expect: 2 1
%% set functions refuse values they are not defined on
bad = {{struct('a', 1)}, {{1, 'a'}}, {{'a'}, 5}, {[1 2], [3 4], 'rows'}};
names = {'unique', 'unique', 'setdiff', 'union'};
for k = 1:numel(bad)
  try
    feval(names{k}, bad{k}{:});
  catch err
    fprintf('%s %s\n', err.identifier, err.message(1:numel(names{k}) + 1));
  end
end
% expect: Q:invalidInput unique:
% expect: Q:invalidInput unique:
% expect: Q:invalidInput setdiff:
% expect: Q:invalidInput union:
%% counting word frequencies
words = {'the', 'cat', 'and', 'the', 'hat', 'and', 'the'};
[u, ~, j] = unique(words);
counts = zeros(size(u));
for k = 1:numel(j)
  counts(j(k)) = counts(j(k)) + 1;
end
for k = 1:numel(u)
  fprintf('%s %d\n', u{k}, counts(k));
end
% expect: and 2
% expect: cat 1
% expect: hat 1
% expect: the 3
%% breadth-first levels of a graph, dropping visited nodes
next = {[2 3], 4, [4 5], 1, []};
visited = [];
frontier = 1;
while ~isempty(frontier)
  disp(frontier)
  visited = union(visited, frontier);
  reached = [];
  for n = frontier
    reached = union(reached, next{n});
  end
  frontier = setdiff(reached, visited);
end
disp(all(ismember(1:5, visited)))
% expect: 1
% expect: 2 3
% expect: 4 5
% expect: 1
