%% trees of cells built and walked by recursive functions
t = vp_build(4);
fprintf('%d %d %d\n', vp_count(t), numel(t), isempty(t{1}{1}{1}{1}))   % expect: 31 2 1
fprintf('%d ', vp_count({}), vp_count(vp_build(0))); fprintf('\n')     % expect: 1 1 
t{1}{1}{1}{1}{2} = {};                     % the leaves share one empty cell until written
u = vp_build(4);
fprintf('%d %d %d\n', vp_count(t), vp_count(u), isempty(u{1}{1}{1}{1}))  % expect: 33 31 1
%% lists of cells: built in a while loop, walked with an element replacing the variable that held it
c = vp_ops('chain', 4);
fprintf('%d %d %d\n', vp_ops('total', c), c{1}, c{2}{1})            % expect: 10 1 2
fprintf('%d %d\n', numel(vp_ops('chain', 0)), vp_ops('total', {}))  % expect: 0 0
d = vp_ops('descend', {{{'leaf'}}}, 3);
fprintf('%s %d\n', d, vp_ops('total', vp_ops('descend', {c}, 1)))  % expect: leaf 10
fprintf('%d\n', vp_ops('innermost', 7))                 % expect: 7
fprintf('%d\n', vp_ops('elements', {[1 2 3], 'x', {4, 5}}))  % expect: 302
%% values keep their class and stay unshared from what they came from
s.x = 1;
p = vp_ops('pair', s, int8(3));
s.x = 2;
fprintf('%d %s %d\n', p{1}.x, class(p{2}), p{2})        % expect: 1 int8 3
a = [1 2 3];
b = vp_ops('same', a);
b(1) = 9;
fprintf('%d %d\n', a(1), b(1))                          % expect: 1 9
q = vp_ops('pair', 'hi', {});
fprintf('%s %s %d\n', q{1}, class(q{2}), numel(q))      % expect: hi cell 2
%% what compiled functions cannot do with a value goes the usual way, with the usual answer
f = vp_ops('emptyFlag', {});
fprintf('%s %d\n', class(f), f)                         % expect: logical 1
r = vp_ops('inc', int8(127));
fprintf('%s %d\n', class(r{1}), r{1})                   % expect: int8 127
r = vp_ops('inc', 'a');
fprintf('%s %d\n', class(r{1}), r{1})                   % expect: double 98
e = vp_ops('second', cell(1, 2));
fprintf('%s %d\n', class(e), isempty(e))                % expect: double 1
w = vp_ops('wrap', 5);
fprintf('%s %d %d\n', class(w), w{1}, vp_ops('viaScalar', 6))   % expect: cell 5 4
fprintf('%g ', vp_ops('plusSecond', {1, 5}), vp_ops('plusSecond', {1, [2 3]})); fprintf('\n')
% expect: 6 3 4 
fprintf('%d\n', numel(vp_ops('wide', 1)))               % expect: 20
%% errors in compiled functions of values are the usual errors
try
  vp_ops('second', {7});
catch err
  fprintf('%s\n', err.identifier)                       % expect: Q:badsubscript
end
try
  vp_ops('deep', 1);
catch err
  fprintf('%s\n', err.message)                          % expect: Maximum recursion limit of 500 reached.
end
