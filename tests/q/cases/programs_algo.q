%% 0/1 knapsack by dynamic programming, with the items recovered
wt = [1 3 4 5];
val = [1 4 5 7];
W = 7;
n = numel(wt);
K = zeros(n + 1, W + 1);
for i = 1:n
  for w = 0:W
    K(i + 1, w + 1) = K(i, w + 1);
    if wt(i) <= w
      K(i + 1, w + 1) = max(K(i + 1, w + 1), K(i, w - wt(i) + 1) + val(i));
    end
  end
end
disp(K(end, end))                        % expect: 9
take = [];
w = W;
for i = n:-1:1
  if K(i + 1, w + 1) ~= K(i, w + 1)
    take(end + 1) = i;
    w = w - wt(i);
  end
end
disp(take(end:-1:1))                     % expect: 2 3
disp(K(end, :))                          % expect: 0 1 1 4 5 7 8 9
%% coin change: the number of ways and the fewest coins
coins = [1 5 10 25];
A = 63;
ways = [1, zeros(1, A)];
for c = coins
  for a = c:A
    ways(a + 1) = ways(a + 1) + ways(a - c + 1);
  end
end
disp(ways(end))                          % expect: 73
best = [0, Inf(1, A)];
last = zeros(1, A + 1);
for a = 1:A
  for c = coins(coins <= a)
    if best(a - c + 1) + 1 < best(a + 1)
      best(a + 1) = best(a - c + 1) + 1;
      last(a + 1) = c;
    end
  end
end
used = [];
a = A;
while a > 0
  used(end + 1) = last(a + 1);
  a = a - last(a + 1);
end
fprintf('%d: %s\n', best(end), mat2str(sort(used, 'descend')));   % expect: 6: [25 25 10 1 1 1]
%% the longest increasing subsequence with predecessor links
a = [10 9 2 5 3 7 101 18];
n = numel(a);
L = ones(1, n);
prev = zeros(1, n);
for i = 1:n
  for j = 1:i - 1
    if a(j) < a(i) && L(j) + 1 > L(i)
      L(i) = L(j) + 1;
      prev(i) = j;
    end
  end
end
disp(L)                                  % expect: 1 1 1 2 2 3 4 4
[m, i] = max(L);
seq = [];
while i > 0
  seq = [a(i), seq];
  i = prev(i);
end
fprintf('%d: %s\n', m, mat2str(seq));    % expect: 4: [2 5 7 101]
%% the cheapest path through a grid, moving right or down
G = [1 3 1; 1 5 1; 4 2 1];
[R, C] = size(G);
S = zeros(R, C);
S(1, :) = cumsum(G(1, :));
S(:, 1) = cumsum(G(:, 1));
for r = 2:R
  for c = 2:C
    S(r, c) = G(r, c) + min(S(r - 1, c), S(r, c - 1));
  end
end
disp(S(end, end))                        % expect: 7
r = R;
c = C;
path = sprintf('(%d,%d)', r, c);
while r > 1 || c > 1
  if r > 1 && (c == 1 || S(r - 1, c) <= S(r, c - 1))
    r = r - 1;
  else
    c = c - 1;
  end
  path = [sprintf('(%d,%d)', r, c), path];
end
disp(path)                               % expect: (1,1)(1,2)(1,3)(2,3)(3,3)
%% merging overlapping intervals after sorting rows
iv = [5 8; 1 3; 2 4; 10 12; 7 9; 13 13];
[~, o] = sort(iv(:, 1));
iv = iv(o, :);
merged = iv(1, :);
for k = 2:size(iv, 1)
  if iv(k, 1) <= merged(end, 2)
    merged(end, 2) = max(merged(end, 2), iv(k, 2));
  else
    merged(end + 1, :) = iv(k, :);
  end
end
disp(merged)
% expect: 1 4
% expect: 5 9
% expect: 10 12
% expect: 13 13
fprintf('%d %d\n', size(merged, 1), sum(diff(merged, 1, 2)));   % expect: 4 9
gaps = [merged(1:end - 1, 2), merged(2:end, 1)];
disp(gaps(:, 1)')                        % expect: 4 9 12
disp(sum(gaps(:, 2) - gaps(:, 1)))       % expect: 3
p = 11;
disp(any(merged(:, 1) <= p & p <= merged(:, 2)))   % expect: 1
%% the Josephus circle with deletions from a vector
people = 1:7;
idx = 0;
order = [];
while numel(people) > 1
  idx = mod(idx + 2, numel(people));
  order(end + 1) = people(idx + 1);
  people(idx + 1) = [];
end
disp(order)                              % expect: 3 6 2 7 5 1
disp(people)                             % expect: 4
survivor = zeros(1, 10);
J = 0;
for n = 2:10
  J = mod(J + 3, n);
  survivor(n) = J + 1;
end
survivor(1) = 1;
disp(survivor)                           % expect: 1 2 2 1 4 1 4 7 1 4
%% a Markov chain's steady state by repeated multiplication
P = [0.9 0.1; 0.5 0.5];
x = [1 0];
for k = 1:200
  x = x * P;
end
fprintf('%.4f %.4f\n', x);               % expect: 0.8333 0.1667
fprintf('%d\n', norm(x * P - x) < 1e-12);   % expect: 1
fprintf('%.4f\n', sum(x));               % expect: 1.0000
Q = [0.5 0.5 0; 0.25 0.5 0.25; 0 0 1];
y = [1 0 0] * Q^2;
fprintf('%.3f %.3f %.3f\n', y);          % expect: 0.375 0.500 0.125
for k = 1:500
  y = y * Q;
end
fprintf('%.4f %d\n', y(3), all(abs(sum(Q, 2) - 1) < 1e-12));   % expect: 1.0000 1
%% the rule 90 automaton draws a Sierpinski triangle
w = 15;
row = false(1, w);
row(8) = true;
for s = 1:8
  line = repmat('.', 1, w);
  line(row) = '#';
  disp(line)
  row = xor(row([w, 1:w - 1]), row([2:w, 1]));
end
% expect: .......#.......
% expect: ......#.#......
% expect: .....#...#.....
% expect: ....#.#.#.#....
% expect: ...#.......#...
% expect: ..#.#.....#.#..
% expect: .#...#...#...#.
% expect: #.#.#.#.#.#.#.#
row = false(1, w);
row(8) = true;
live = zeros(1, 6);
for s = 1:6
  live(s) = sum(row);
  row = xor(row([w, 1:w - 1]), row | row([2:w, 1]));
end
disp(live)                               % expect: 1 3 3 6 4 9
%% validating sudoku grids by sorted rows, columns and boxes
G = [1 2 3 4; 3 4 1 2; 2 1 4 3; 4 3 2 1];
[ok, where] = pn_sudoku(G);
fprintf('%d %d\n', ok, isempty(where));  % expect: 1 1
L = [1 2 3 4; 2 3 4 1; 3 4 1 2; 4 1 2 3];
[ok, where] = pn_sudoku(L);
fprintf('%d %s\n', ok, where);           % expect: 0 box at 1,1
B = G;
B(2, 4) = 1;
[~, where] = pn_sudoku(B);
disp(where)                              % expect: row 2
B = G;
B(1, [1 2]) = B(1, [2 1]);
[~, where] = pn_sudoku(B);
disp(where)                              % expect: column 1
%% a maze solved by breadth-first search over linear indices
maze = ['#########';
        '#S..#...#';
        '#.#.#.#.#';
        '#.#...#E#';
        '#########'];
[len, marked] = pd_maze(maze);
disp(len)                                % expect: 12
disp(marked)
% expect: #########
% expect: #S**#***#
% expect: #.#*#*#*#
% expect: #.#***#E#
% expect: #########
blocked = maze;
blocked(3, 6) = '#';
disp(pd_maze(blocked))                   % expect: -1
%% checking the nesting of HTML tags with a stack of names
tests = {'<div><p>Hi<br>there</p><img src="x"/></div>', '<ul><li>a</li><li>b</ul>', ...
         '</b>', '<a><b></b>', '<P>x</p>'};
for k = 1:numel(tests)
  disp(pd_htmlcheck(tests{k}));
end
% expect: ok
% expect: </ul> closes <li>
% expect: unexpected </b>
% expect: unclosed: a
% expect: ok
%% bowling scores frame by frame
[t, f] = pn_bowling([10 7 3 9 0 10 0 8 8 2 0 6 10 10 10 8 1]);
fprintf('%d | %s\n', t, mat2str(f));     % expect: 167 | [20 39 48 66 74 84 90 120 148 167]
fprintf('%d %d %d\n', pn_bowling(repmat(10, 1, 12)), pn_bowling(repmat([9 0], 1, 10)), pn_bowling([repmat(5, 1, 20), 5]));   % expect: 300 90 150
%% a single-server queue: waiting times from arrivals and service times
arrive = [0 1 2 5 6 6 7];
service = [3 2 1 2 2 1 3];
t = 0;
wait = zeros(size(arrive));
for k = 1:numel(arrive)
  start = max(t, arrive(k));
  wait(k) = start - arrive(k);
  t = start + service(k);
end
disp(wait)                               % expect: 0 2 3 1 2 4 4
fprintf('%d %.4f %d\n', t, mean(wait), find(wait == max(wait), 1));   % expect: 14 2.2857 6
busy = sum(service) / t;
fprintf('%.4f\n', busy);                 % expect: 1.0000
depart = arrive + wait + service;
disp(depart)                             % expect: 3 5 6 8 10 11 14
inSystem = arrayfun(@(k) sum(depart(1:k - 1) > arrive(k)), 1:numel(arrive));
disp(inSystem)                           % expect: 0 1 2 1 1 2 3
%% an access log summarized by status with named tokens and dynamic fields
log = {'GET /index.html 200 512', 'GET /missing 404 0', 'POST /api 200 128', ...
       'GET /index.html 304 0', 'GET /api 500 64', 'GET /index.html 200 512'};
stats = struct();
bytes = 0;
paths = {};
for k = 1:numel(log)
  r = regexp(log{k}, '^(?<verb>[A-Z]+) (?<path>\S+) (?<status>\d{3}) (?<size>\d+)$', 'names');
  key = ['s', r.status];
  if ~isfield(stats, key)
    stats.(key) = 0;
  end
  stats.(key) = stats.(key) + 1;
  bytes = bytes + str2double(r.size);
  paths{end + 1} = r.path;
end
keys = sort(fieldnames(stats));
for k = 1:numel(keys)
  fprintf('%s=%d ', keys{k}(2:end), stats.(keys{k}));
end
fprintf('\n');                           % expect: 200=3 304=1 404=1 500=1
fprintf('%d %d\n', bytes, sum(strcmp(paths, '/index.html')));   % expect: 1216 3
errors = sum(cellfun(@(s) s(1) == '5' || s(1) == '4', regexp(log, '\d{3}', 'match', 'once')));
disp(errors)                             % expect: 2
%% FIFO cost accounting with lots removed from the front of a struct array
lots = struct('qty', {}, 'price', {});
events = {'buy', 10, 2.0; 'buy', 5, 3.0; 'sell', 12, 0; 'buy', 8, 2.5; 'sell', 7, 0};
cogs = [];
for k = 1:size(events, 1)
  [kind, qty, price] = events{k, :};
  if strcmp(kind, 'buy')
    lots(end + 1) = struct('qty', qty, 'price', price);
    continue
  end
  cost = 0;
  while qty > 0
    take = min(qty, lots(1).qty);
    cost = cost + take * lots(1).price;
    lots(1).qty = lots(1).qty - take;
    qty = qty - take;
    if lots(1).qty == 0
      lots(1) = [];
    end
  end
  cogs(end + 1) = cost;
end
fprintf('%.2f ', cogs); fprintf('\n');   % expect: 26.00 19.00
fprintf('%d %d %.2f\n', numel(lots), lots(1).qty, lots(1).price);   % expect: 1 4 2.50
