%% a cell list as the arguments of a call, with other arguments around it
args = {2, 3};
disp(max(args{:}))                        % expect: 3
disp(sprintf('%d-%d-%d', 1, args{:}))     % expect: 1-2-3
disp(plus(args{:}))                       % expect: 5
%% an empty cell list passes no arguments
c = {};
pf_nargs(c{:});                           % expect: in=0 out=0
pf_nargs(1, c{:}, 2);                     % expect: in=2 out=0
%% a cell list as subscripts, including a colon text
A = reshape(1:9, 3, 3);
idx = {2, ':'};
disp(A(idx{:}))                           % expect: 2 5 8
idx = {':', 3};
A(idx{:}) = 0;
disp(A(:, 3)')                            % expect: 0 0 0
%% struct field lists in brackets, braces and calls
s = struct('v', {3, 1, 2});
disp([s.v])                               % expect: 3 1 2
c = {s.v};
disp(size(c))                             % expect: 1 3
disp(min([s.v]))                          % expect: 1
disp(numel({s(2:3).v}))                   % expect: 2
%% a list assigned to a struct array field, one value per element
s = struct('v', {0, 0, 0});
vals = {7, 8, 9};
[s.v] = vals{:};
disp([s.v])                               % expect: 7 8 9
%% multiple assignment from a cell list
c = {'a', 'b', 'c'};
[x, y, z] = c{:};
disp([x y z])                             % expect: abc
[p, q] = c{2:3};
disp([p q])                               % expect: bc
%% multiple assignment from a list that is too short is an error
c = {1};
[a, b] = c{:};                            % expect-error: Q:TooManyOutputs
%% deal copies one value to every output or spreads several
[a, b, c] = deal(0);
disp([a b c])                             % expect: 0 0 0
[a, b] = deal(1, 2);
disp([a b])                               % expect: 1 2
%% deal with the wrong number of values is an error
[a, b] = deal(1, 2, 3);                   % expect-error: Q:invalidInput
%% [c{:}] = deal(...) fills every cell
c = cell(1, 3);
[c{:}] = deal('x');
disp([c{:}])                              % expect: xxx
%% a list inside a matrix row with calls around it
c = {2, 3};
disp([1, c{:}, numel(c)])                 % expect: 1 2 3 2
disp([c{:}; 4 5])
% expect: 2 3
% expect: 4 5
%% a list of texts joined by brackets
w = {'ab', 'cd', 'e'};
disp([w{:}])                              % expect: abcde
disp([w{end:-1:1}])                       % expect: ecdab
%% nested cell lists
c = {{1, 2}, {3}};
inner = [c{1}{:}];
disp(inner)                               % expect: 1 2
d = [c{1}, c{2}];
disp(numel(d))                            % expect: 3
%% a list from a struct array field feeds a cell
s = struct('name', {'x', 'yy', 'zzz'});
n = cellfun(@numel, {s.name});
disp(n)                                   % expect: 1 2 3
%% varargout of a function spread into cells and a struct array
c = cell(1, 2);
[c{:}] = pc_stats([2 6]);
disp([c{:}])                              % expect: 2 6
s = struct('v', {0, 0, 0});
[s.v] = pc_stats([1 3 8]);
disp([s.v])                               % expect: 1 8 4
%% a list of outputs with a tilde in the middle
[~, i] = max([4 9 2]);
disp(i)                                   % expect: 2
[first, ~, third] = pc_stats([1 2 9]);
disp([first third])                       % expect: 1 4
%% comma lists from a function handle body
c = {5, 6, 7};
f = @() c{:};
[a, b] = f();
disp([a b])                               % expect: 5 6
disp(f())                                 % expect: 5
%% cellfun results spread back through a list
c = {[1 2], [3 4 5]};
lens = cellfun(@numel, c);
parts = cell(1, 2);
[parts{:}] = c{:};
disp(isequal(parts, c))                   % expect: 1
disp(lens)                                % expect: 2 3
%% an index list from find spread into a call
v = [0 4 0 7];
nz = num2cell(find(v));
disp(v(nz{:}))                            % expect-error: Q:badsubscript
