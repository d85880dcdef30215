%% a cell grows by brace assignment past its end: gaps are empty, rows and empty cells grow as rows, columns as columns; copies keep their size; a matrix cannot grow so
c = {};
c{3} = 'x';
d = c;
for k = 4:6
  c{end + 1} = k;
end
col = cell(2, 1);
col{end + 1} = 'y';
e = cell(0, 1);
e{2} = 1;
fprintf('%d %d | %d %d | %d %d | %d %d | %d %d\n', size(c), size(d), size(col), size(e), ...
        isempty(c{1}) && isempty(c{2}), c{6})   % expect: 1 6 | 1 3 | 3 1 | 2 1 | 1 6
m = cell(2, 2);
try
  m{5} = 1;
catch err
  disp(err.identifier)                    % expect: Q:badsubscript
end
%% paren assignment of a cell into a cell
c = {1, 2};
c(4) = {9};
disp(size(c))                             % expect: 1 4
disp(c{4})                                % expect: 9
%% a double cannot be assigned into a cell with parentheses
c = {1, 2};
c(2) = 5;                                 % expect-error: Q:invalidConversion
%% deleting cells with parentheses and emptying one with braces
c = {1, 2, 3, 4};
c([2 4]) = [];
disp(numel(c))                            % expect: 2
c{1} = [];
disp(numel(c))                            % expect: 2
disp(isempty(c{1}))                       % expect: 1
%% cell(n) and cell(m, n) make empty cells
disp(size(cell(3)))                       % expect: 3 3
disp(size(cell(2, 4)))                    % expect: 2 4
disp(isempty(cell(0, 3)))                 % expect: 1
%% brace indexing a range gives a list; parentheses give a cell
c = {10, 20, 30};
disp([c{2:3}])                            % expect: 20 30
d = c(2:3);
disp(class(d))                            % expect: cell
disp(numel(d))                            % expect: 2
%% end inside braces and after them
c = {1, [4 5 6], 'abc'};
disp(c{end}(end))                         % expect: c
disp(c{2}(end - 1))                       % expect: 5
disp(c{end - 1}(end))                     % expect: 6
%% nested cells indexed in a chain
c = {1, {2, {3, 'deep'}}};
disp(c{2}{2}{2})                          % expect: deep
c{2}{2}{1} = 30;
disp(c{2}{2}{1})                          % expect: 30
%% growing a vector inside a cell element
c = {[1 2]};
c{1}(end + 1) = 3;
c{1}(5) = 5;
disp(c{1})                                % expect: 1 2 3 0 5
%% a cell of texts joined and compared
names = {'b', 'a', 'c'};
disp(strjoin(sort(names), '-'))           % expect: a-b-c
disp(strcmp(names, 'a'))                  % expect: 0 1 0
disp(find(strcmp(names, 'c')))            % expect: 3
%% cellfun with a handle and with a function name
c = {'ab', [1 2 3], {}, ''};
disp(cellfun(@numel, c))                  % expect: 2 3 0 0
disp(cellfun('isempty', c))               % expect: 0 0 1 1
disp(cellfun(@ischar, c))                 % expect: 1 0 0 1
%% cellfun returns logical when the function does
r = cellfun(@isempty, {1, []});
disp(class(r))                            % expect: logical
%% cellfun with non-uniform results needs UniformOutput false
cellfun(@(x) [x x], {1, 2})               % expect-error: Q:nonUniformOutput
%% cellfun with UniformOutput false keeps the shape of its input
r = cellfun(@(x) x * 2, {1, 2; 3, 4}, 'UniformOutput', false);
disp(size(r))                             % expect: 2 2
disp(r{2, 1})                             % expect: 6
%% cellfun over two cells walks them together
r = cellfun(@(a, b) [a, b], {'x', 'y'}, {'1', '2'}, 'UniformOutput', false);
disp(strjoin(r, ','))                     % expect: x1,y2
%% cellfun with cells of different sizes is an error
cellfun(@(a, b) a + b, {1, 2}, {1})       % expect-error: Q:sizeMismatch
%% cellfun with two outputs
[lo, hi] = cellfun(@(v) deal(min(v), max(v)), {[4 1 7], [2 9]});
disp([lo; hi])
% expect: 1 2
% expect: 7 9
%% cellfun with an error handler that receives the index
r = cellfun(@(x) x{1}, {{5}, 6, {7}}, 'ErrorHandler', @(err, x) -err.index);
disp(r)                                   % expect: 5 -2 7
%% cellfun over an empty cell gives an empty result
r = cellfun(@numel, {});
disp(isempty(r))                          % expect: 1
r = cellfun(@numel, {}, 'UniformOutput', false);
disp(class(r))                            % expect: cell
%% num2cell splits an array into one cell per element
c = num2cell([1 2; 3 4]);
disp(size(c))                             % expect: 2 2
disp(c{2, 1})                             % expect: 3
c = num2cell('ab');
disp(class(c{2}))                         % expect: char
%% cell2mat joins a grid of blocks
m = cell2mat({[1 2], 3; [4 5], 6});
disp(m)
% expect: 1 2 3
% expect: 4 5 6
disp(cell2mat({'ab', 'cd'}))              % expect: abcd
%% cells concatenate with brackets and nest with braces
a = {1, 2};
b = {3};
disp(numel([a, b]))                       % expect: 3
disp(numel({a, b}))                       % expect: 2
disp(size([a; {4, 5}]))                   % expect: 2 2
%% a comma list in a cell literal expands in place
c = {1, 2};
d = {0, c{:}, 3};
disp(numel(d))                            % expect: 4
disp(d{3})                                % expect: 2
%% repmat and reshape work on cells
c = repmat({'z'}, 2, 3);
disp(size(c))                             % expect: 2 3
r = reshape({1, 2, 3, 4}, 2, 2);
disp(r{1, 2})                             % expect: 3
%% iscell, isempty and numel of cells
fprintf('%d %d %d %d\n', iscell({}), iscell([]), isempty({}), numel({1, {2, 3}}));   % expect: 1 0 1 2
%% brace indexing on a non-cell is an error
x = [1 2 3];
x{1}                                      % expect-error: Q:cellRefFromNonCell
%% brace assignment to a non-cell is an error
x = 5;
x{2} = 1;                                 % expect-error: Q:cellAssignToNonCell
%% reading a cell past its end is an error
c = {1, 2};
c{3}                                      % expect-error: Q:badsubscript
%% a cell transposes and its column reads like a list
c = {1, 2, 3}';
disp(size(c))                             % expect: 3 1
disp([c{:}])                              % expect: 1 2 3
%% logical indexing selects cells
c = {'keep', 'drop', 'keep2'};
k = c(logical([1 0 1]));
disp(strjoin(k, ' '))                     % expect: keep keep2
c(strcmp(c, 'drop')) = [];
disp(numel(c))                            % expect: 2
%% cells of function handles applied in a loop
fs = {@(x) x + 1, @(x) x * 2, @(x) x ^ 2};
v = 3;
for k = 1:numel(fs)
  v = fs{k}(v);
end
disp(v)                                   % expect: 64
%% for over a cell row gives one-by-one cells
n = 0;
for c = {'a', 'bb', 'ccc'}
  n = n + numel(c{1});
  assert(iscell(c));
end
disp(n)                                   % expect: 6
%% cells compare with isequal element by element
disp(isequal({1, 'a', {2}}, {1, 'a', {2}}))   % expect: 1
disp(isequal({1, 'a'}, {1, 'b'}))         % expect: 0
disp(isequal({1}, 1))                     % expect: 0
%% shape questions in conditions, loops and arithmetic inside a function
shapeasks([], 'abc')                    % expect: x empty
                                        % expect: y not empty
                                        % expect: c{3} empty, c not
                                        % expect: scalar x or row y
                                        % expect: s row vector
                                        % expect: 9 3 7 0
                                        % expect: logical double
                                        % expect: 6
shapeasks((1:4)', [])                   % expect: x not empty
                                        % expect: y empty
                                        % expect: c{3} empty, c not
                                        % expect: x column
                                        % expect: s row vector
                                        % expect: 13 3 7 0
                                        % expect: logical double
                                        % expect: 3
shapeasks(1, 2, 3)                      % expect-error: Q:undefined
