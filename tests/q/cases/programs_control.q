%% a reverse Polish calculator: results and error identifiers
exprs = {'3 4 + 2 *', '5 1 2 + 4 * + 3 -', '2 3 ^ dup *', '1 2 swap -', '2.5 -1.5 -', ...
         '1 +', '4 0 /', '1 x', '1 2'};
for k = 1:numel(exprs)
  try
    fprintf('%g\n', pc_rpn(exprs{k}));
  catch err
    fprintf('%s: %s\n', err.identifier, err.message);
  end
end
% expect: 14
% expect: 14
% expect: 64
% expect: 1
% expect: 4
% expect: rpn:underflow: operator + needs two operands, has 1
% expect: rpn:divzero: division by zero at token 3
% expect: rpn:token: unknown token 'x'
% expect: rpn:leftover: 2 values left on the stack
%% a recursive descent parser with mutually recursive local functions
tests = {'1 + 2 * 3', '(1 + 2) * 3', '2 ^ 3 ^ 2', '10 / 4 - 1', '-(3 - 5) * 2', ...
         '2 * (3 + 4) * (5 - 1)', '1 +', '(1 + 2', '1 2', ')'};
for k = 1:numel(tests)
  try
    fprintf('%g\n', pc_calc(tests{k}));
  catch err
    fprintf('%s %s\n', err.identifier, err.message);
  end
end
% expect: 7
% expect: 9
% expect: 512
% expect: 1.5
% expect: 4
% expect: 56
% expect: calc:eof unexpected end of input
% expect: calc:paren missing )
% expect: calc:trailing unexpected '2'
% expect: calc:token unexpected ')'
%% a vending machine: transitions in nested dynamic fields, events in a cell
trans.idle.coin = 'ready';
trans.idle.push = 'idle';
trans.ready.coin = 'ready';
trans.ready.push = 'vend';
trans.vend.done = 'idle';
state = 'idle';
credit = 0;
log = {};
events = {'push', 'coin', 'coin', 'push', 'done', 'kick', 'coin'};
for k = 1:numel(events)
  ev = events{k};
  if ~isfield(trans.(state), ev)
    log{end + 1} = sprintf('%s?', ev);
    continue
  end
  next = trans.(state).(ev);
  switch ev
    case 'coin'
      credit = credit + 1;
    case 'push'
      if strcmp(next, 'vend')
        credit = credit - 1;
      end
  end
  log{end + 1} = sprintf('%s>%s', state(1), next(1));
  state = next;
end
disp(strjoin(log, ' '))                  % expect: i>i i>r r>r r>v v>i kick? i>r
fprintf('%s %d\n', state, credit);       % expect: ready 2
%% name/value options with defaults, a leading struct and validation errors
o = pc_options();
fprintf('%d %s %d\n', o.width, o.mode, o.verbose);   % expect: 80 plain 0
o = pc_options('Width', 100, 'verbose', true);
fprintf('%d %s %d\n', o.width, o.mode, o.verbose);   % expect: 100 plain 1
o = pc_options(struct('mode', 'fancy'), 'width', 40);
fprintf('%d %s %d\n', o.width, o.mode, o.verbose);   % expect: 40 fancy 0
bad = {{'width'}, {'depth', 3}, {3, 4}};
for k = 1:numel(bad)
  try
    pc_options(bad{k}{:});
  catch err
    fprintf('%s: %s\n', err.identifier, err.message);
  end
end
% expect: opts:pairs: options come in name/value pairs (1 arguments)
% expect: opts:unknown: unknown option 'depth'
% expect: opts:name: option name 1 is not text
%% varargout sized by nargout, and a summary printed when nothing is asked
v = [4 8 1 5];
pc_stats(v)                              % expect: min=1 max=8 mean=4.5 range=7
[a, b] = pc_stats(v);
fprintf('%g %g\n', a, b);                % expect: 1 8
[a, b, c, d] = pc_stats(v);
fprintf('%g %g %g %g\n', a, b, c, d);    % expect: 1 8 4.5 7
c = cell(1, 3);
[c{:}] = pc_stats(v);
fprintf('%g ', c{:}); fprintf('\n');     % expect: 1 8 4.5
fprintf('%g\n', pc_stats([3 9]) + 1);    % expect: 4
try
  [a, b, c, d, e] = pc_stats(v);
catch err
  disp(err.message)                      % expect: at most 4 outputs, 5 asked
end
%% a logger configured through globals shared by two functions and the script
pc_log(1, 'start %s', 'up');             % expect: [1] start up
pc_log(3, 'hidden');
pc_setlevel(3);
pc_log(3, 'now %d+%d', 1, 2);            % expect: [3] now 1+2
global PC_LOG_COUNT
fprintf('%d\n', PC_LOG_COUNT);           % expect: 2
PC_LOG_COUNT = 10;
pc_log(1, 'x');                          % expect: [1] x
fprintf('%d\n', PC_LOG_COUNT);           % expect: 11
global PC_LOG_LEVEL
disp(PC_LOG_LEVEL)                       % expect: 3
%% retrying a flaky call: break out of a loop from inside try, rethrow at the limit
pc_flaky(3);
attempts = 0;
msgs = {};
while true
  attempts = attempts + 1;
  try
    v = pc_flaky();
    break
  catch err
    msgs{end + 1} = err.message;
    if attempts >= 5
      rethrow(err);
    end
  end
end
fprintf('%d %d %s\n', v, attempts, strjoin(msgs, '; '));   % expect: 3 3 attempt 1 failed; attempt 2 failed
pc_flaky(10);
try
  for attempt = 1:5
    try
      pc_flaky();
      break
    catch e
      if attempt == 5
        rethrow(e);
      end
    end
  end
  disp('not reached')
catch final
  fprintf('%s %s %d\n', final.identifier, final.message, attempt);   % expect: pc:transient attempt 5 failed 5
end
%% nested loops: continue and break leave only the innermost loop
found = [];
for i = 1:10
  for j = i:10
    if mod(i * j, 7) ~= 0
      continue
    end
    if i * j > 40
      found(end + 1, :) = [i j];
      break
    end
  end
  if size(found, 1) >= 2
    break
  end
end
disp(found)
% expect: 6 7
% expect: 7 7
fprintf('%d %d\n', i, j);                % expect: 7 7
n = 0;
s = 0;
used = [];
while s <= 50
  n = n + 1;
  if mod(n, 2) == 0 || mod(n, 3) == 0
    continue
  end
  s = s + n;
  used(end + 1) = n;
end
disp(used)                               % expect: 1 5 7 11 13 17
fprintf('%d %d\n', s, n);                % expect: 54 17
%% switch on class names and on cell lists of numbers
vals = {3, 'abc', [1 2], {}, struct('a', 1), @sin, int8(4), true, 2.5, ''};
for k = 1:numel(vals)
  v = vals{k};
  switch class(v)
    case {'double', 'single'}
      if isscalar(v) && v == round(v)
        d = 'whole';
      elseif isscalar(v)
        d = 'real';
      else
        d = sprintf('vector%d', numel(v));
      end
    case 'char'
      if isempty(v), d = 'empty text'; else, d = ['text ', v]; end
    case {'int8', 'int16', 'int32'}
      d = 'int';
    case 'logical'
      d = 'flag';
    case 'cell'
      d = sprintf('cell%d', numel(v));
    case 'struct'
      d = ['struct:', strjoin(fieldnames(v)', ',')];
    otherwise
      d = class(v);
  end
  fprintf('%s;', d);
end
fprintf('\n');   % expect: whole;text abc;vector2;cell0;struct:a;function_handle;int;flag;real;empty text;
for d = [1 6 7 9]
  switch d
    case {6, 7}
      fprintf('weekend ');
    case num2cell(1:5)
      fprintf('weekday ');
    otherwise
      fprintf('bad ');
  end
end
fprintf('\n');                           % expect: weekday weekend weekend bad
%% wrapping errors: the outer message carries the inner one
names = {'', 'a.txt', 'ok.cfg', 'noext'};
for k = 1:numel(names)
  try
    pc_load(names{k});
    fprintf('loaded %s\n', names{k});
  catch err
    fprintf('%s | %s\n', err.identifier, err.message);
  end
end
% expect: load:failed | cannot load name is empty:
% expect: load:failed | cannot load a.txt: extension .txt is not .cfg
% expect: loaded ok.cfg
% expect: load:failed | cannot load noext: extension is not .cfg
try
  pc_load('x.y');
catch err
  fprintf('%s %d\n', err.stack(1).name, err.stack(1).line);   % expect: pc_load 5
end
%% tic-tac-toe games replayed on a matrix board
games = {[5 1 3 2 7], [1 5 9 2 8 7 3 6 4], [1 5 2 3 9 7], [1 2]};
for g = 1:numel(games)
  B = zeros(3);
  player = 1;
  result = 'open';
  for m = games{g}
    B(m) = player;
    result = pc_winner(B);
    if ~strcmp(result, 'open')
      break
    end
    player = -player;
  end
  fprintf('%s after %d\n', result, sum(B(:) ~= 0));
end
% expect: X after 5
% expect: draw after 9
% expect: O after 6
% expect: open after 2
%% an event dispatcher calls handles stored in dynamic fields
handlers = struct();
handlers.add = @(s, x) s + x;
handlers.mul = @(s, x) s * x;
handlers.neg = @(s, ~) -s;
events = {'add', 5; 'mul', 3; 'neg', []; 'add', 20; 'pow', 2};
state = 0;
trace = [];
for k = 1:size(events, 1)
  name = events{k, 1};
  if isfield(handlers, name)
    state = handlers.(name)(state, events{k, 2});
    trace(end + 1) = state;
  else
    fprintf('no handler for %s\n', name);   % expect: no handler for pow
  end
end
disp(trace)                              % expect: 5 15 -15 5
%% an elevator serves requests sweeping up, then down
at = 4;
dir = 1;
req = [5 2 8 3 1];
served = [];
steps = 0;
while ~isempty(req)
  if any(req == at)
    served(end + 1) = at;
    req(req == at) = [];
    continue
  end
  if dir == 1 && ~any(req > at)
    dir = -1;
  elseif dir == -1 && ~any(req < at)
    dir = 1;
  end
  at = at + dir;
  steps = steps + 1;
end
disp(served)                             % expect: 5 8 3 2 1
fprintf('%d %d\n', steps, at);           % expect: 11 1
%% statements run by eval, with failures caught and a catch text
cmds = {'a = 3;', 'b = a * 2;', 'c = undefined_thing + 1;', 'd = [a b];'};
for k = 1:numel(cmds)
  try
    eval(cmds{k});
  catch err
    fprintf('%s failed: %s\n', cmds{k}, err.identifier);   % expect: c = undefined_thing + 1; failed: Q:undefined
  end
end
disp(d)                                  % expect: 3 6
exist('c')                               % expect: ans = 0
eval('x = 1/0;', 'x = -1;');
disp(x)                                  % expect: Inf
eval('error(''e:x'', ''boom'')', 'disp(lasterr)');   % expect: boom
v = eval('a + b');
disp(v)                                  % expect: 9
%% mutual recursion through local functions, up to the recursion limit
fprintf('%d %d %d\n', pc_parity(10), pc_parity(7), pc_parity(240));   % expect: 1 0 1
try
  pc_parity(600);
catch err
  disp(err.identifier)                   % expect: Q:recursionLimit
end
fprintf('%d\n', pc_parity(3));           % expect: 0
%% towers of Hanoi: recursive move lists replayed on pegs kept in a cell
moves = pc_hanoi(3, 1, 3, 2);
fprintf('%d>%d ', moves'); fprintf('\n');   % expect: 1>3 1>2 3>2 1>3 2>1 2>3 1>3
fprintf('%d\n', size(pc_hanoi(10, 1, 3, 2), 1));   % expect: 1023
moves = pc_hanoi(5, 1, 3, 2);
pegs = {5:-1:1, [], []};
ok = true;
for m = moves'
  disk = pegs{m(1)}(end);
  if ~isempty(pegs{m(2)}) && pegs{m(2)}(end) < disk
    ok = false;
  end
  pegs{m(1)}(end) = [];
  pegs{m(2)}(end + 1) = disk;
end
fprintf('%d %d %d\n', ok, isempty(pegs{1}), isempty(pegs{2}));   % expect: 1 1 1
disp(pegs{3})                            % expect: 5 4 3 2 1
%% permutations by recursion, of numbers and of text
P = pc_perms([1 2 3]);
disp(P)
% expect: 1 2 3
% expect: 1 3 2
% expect: 2 1 3
% expect: 2 3 1
% expect: 3 1 2
% expect: 3 2 1
disp(size(pc_perms(1:5)))                % expect: 120 5
T = pc_perms('abc');
for r = 1:size(T, 1)
  fprintf('%s ', T(r, :));
end
fprintf('\n');                           % expect: abc acb bac bca cab cba
class(T)                                 % expect: ans = char
%% subsets by binary counting, and the subsets that hit a sum
items = {'a', 'b', 'c'};
n = numel(items);
subsets = {};
for mask = 0:2^n - 1
  bits = mod(floor(mask ./ 2.^(0:n - 1)), 2) == 1;
  subsets{end + 1} = ['{', strjoin(items(bits), ','), '}'];
end
disp(strjoin(subsets, ' '))              % expect: {} {a} {b} {a,b} {c} {a,c} {b,c} {a,b,c}
w = [3 5 6 7 2];
hits = {};
for mask = 1:2^numel(w) - 1
  bits = logical(mod(floor(mask ./ 2.^(0:numel(w) - 1)), 2));
  if sum(w(bits)) == 13
    hits{end + 1} = mat2str(w(bits));
  end
end
disp(strjoin(hits, ' '))                 % expect: [6 7] [5 6 2]
%% a tiny register machine with labels, jumps and error identifiers
disp(pc_asm({'set a 5', 'set b 1', 'loop:', 'mul b a', 'dec a', 'jnz a loop', 'out b'}))   % expect: 120
disp(pc_asm({'set a 0', 'set b 1', 'set n 10', 'top:', 'out a', 'set t a', 'add t b', ...
             'set a b', 'set b t', 'dec n', 'jnz n top'}))   % expect: 0 1 1 2 3 5 8 13 21 34
progs = {{'set a 1', 'jmp x'}, {'out z'}, {'l:', 'jnz 1 l'}};
for k = 1:numel(progs)
  try
    pc_asm(progs{k});
  catch err
    fprintf('%s: %s\n', err.identifier, err.message);
  end
end
% expect: asm:op: unknown instruction jmp at line 2
% expect: asm:reg: register z is not set
% expect: asm:steps: too many steps
%% counting n-queens placements by recursion
disp(arrayfun(@pc_queens, 1:6))          % expect: 1 0 0 2 10 4
