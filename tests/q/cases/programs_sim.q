%% heap sort through a binary heap kept in a vector
h = [];
for x = [5 3 8 1 9 2 7]
  h = pd_heap('push', h, x);
end
n = numel(h);
disp(all(h(floor((2:n) / 2)) <= h(2:n)))    % expect: 1
disp(h(1))                                % expect: 1
out = [];
while ~isempty(h)
  [h, v] = pd_heap('pop', h);
  out(end + 1) = v;
end
disp(out)                                 % expect: 1 2 3 5 7 8 9
try
  pd_heap('pop', []);
catch err
  disp(err.identifier)                    % expect: heap:empty
end
%% Kruskal's spanning tree with union-find over sorted edges
E = [1 2 4; 1 3 1; 2 3 2; 2 4 5; 3 4 8; 4 5 3; 3 5 9; 6 7 1];
[~, order] = sort(E(:, 3));
E = E(order, :);
parent = 1:7;
tree = zeros(0, 3);
for k = 1:size(E, 1)
  [parent, ru] = pd_find(parent, E(k, 1));
  [parent, rv] = pd_find(parent, E(k, 2));
  if ru ~= rv
    parent(ru) = rv;
    tree(end + 1, :) = E(k, :);
  end
end
fprintf('%d-%d ', tree(:, 1:2)'); fprintf('\n');   % expect: 1-3 6-7 2-3 4-5 2-4
fprintf('%d %d\n', sum(tree(:, 3)), size(tree, 1));   % expect: 12 5
roots = zeros(1, 7);
for k = 1:7
  [parent, roots(k)] = pd_find(parent, k);
end
s = sort(roots);
disp(sum([true, diff(s) ~= 0]))           % expect: 2
%% a spreadsheet evaluated by recursion with cycle and reference errors
sheet = struct('A1', '5', 'B1', '=A1*2', 'C1', '=A1+B1*3', 'D1', '=E1+1', 'E1', '=F1', ...
               'F1', '=D1', 'G1', '=Z9', 'H1', '=2.5*4-1');
for c = {'A1', 'B1', 'C1', 'H1', 'D1', 'G1'}
  try
    fprintf('%s=%g\n', c{1}, pd_sheet(sheet, c{1}));
  catch err
    fprintf('%s: %s\n', err.identifier, err.message);
  end
end
% expect: A1=5
% expect: B1=10
% expect: C1=45
% expect: H1=9
% expect: sheet:cycle: cycle: D1 > E1 > F1 > D1
% expect: sheet:ref: no cell Z9
%% command-line words parsed into options and positional arguments
argv = {'build', '--jobs=4', '-vq', '--dry', 'src', '--', '-notflag', 'x'};
[opts, pos] = pt_args(argv);
disp(strjoin(fieldnames(opts)', ','))     % expect: jobs,v,q,dry
fprintf('%s %d %d %d\n', opts.jobs, opts.v, opts.q, opts.dry);   % expect: 4 1 1 1
disp(strjoin(pos, ' '))                   % expect: build src -notflag x
[opts, pos] = pt_args({'--name=', 'only'});
fprintf('%d %d %s\n', isempty(opts.name), ischar(opts.name), pos{1});   % expect: 1 1 only
[opts, pos] = pt_args({});
fprintf('%d %d\n', numel(fieldnames(opts)), numel(pos));   % expect: 0 0
%% a word diff from a longest common subsequence table
d = pt_worddiff('the quick brown fox', 'the slow brown dog fox');
disp(strjoin(d, ' '))                     % expect: the +slow -quick brown +dog fox
d = pt_worddiff('a b c d', 'b x d');
disp(strjoin(d, ' '))                     % expect: -a b +x -c d
d = pt_worddiff('same words', 'same words');
disp(all(cellfun(@(l) l(1) == ' ', d)))   % expect: 1
%% a deterministic shuffle from a linear congruential generator
x = 1;
v = 1:8;
for k = 8:-1:2
  x = mod(75 * x + 74, 65537);
  j = mod(x, k) + 1;
  v([k j]) = v([j k]);
end
disp(v)                                   % expect: 3 2 7 4 5 8 1 6
fprintf('%d %d\n', x, isequal(sort(v), 1:8));   % expect: 26463 1
x = 5;
v = 1:8;
for k = 8:-1:2
  x = mod(75 * x + 74, 65537);
  j = mod(x, k) + 1;
  v([k j]) = v([j k]);
end
fprintf('%s %d\n', mat2str(v), sum(v == 1:8));   % expect: [6 4 1 5 7 8 3 2] 0
%% a token bucket with persistent state refilled by time
pc_bucket(0, 3);
ticks = [0 0 0 0 1 1 3 3 3 3];
ok = arrayfun(@pc_bucket, ticks);
disp(ok)                                  % expect: 1 1 1 0 1 0 1 1 0 0
pc_bucket(10, 1);
disp([pc_bucket(10), pc_bucket(10), pc_bucket(20), pc_bucket(20)])   % expect: 1 0 1 0
%% a running median by sorted insertion
data = [5 15 1 3 8 7 9 10];
sorted = [];
med = zeros(size(data));
for k = 1:numel(data)
  pos = find(sorted > data(k), 1);
  if isempty(pos)
    sorted(end + 1) = data(k);
  else
    sorted = [sorted(1:pos - 1), data(k), sorted(pos:end)];
  end
  n = numel(sorted);
  if mod(n, 2)
    med(k) = sorted((n + 1) / 2);
  else
    med(k) = (sorted(n / 2) + sorted(n / 2 + 1)) / 2;
  end
end
fprintf('%g ', med); fprintf('\n');       % expect: 5 10 5 4 5 6 7 7.5
%% column z-scores by implicit expansion and a correlation coefficient
A = [2 1; 4 3; 6 2; 8 5];
n = size(A, 1);
mu = mean(A);
sd = sqrt(sum((A - mu).^2) / (n - 1));
z = (A - mu) ./ sd;
fprintf('%.4f ', sd); fprintf('\n');      % expect: 2.5820 1.7078
fprintf('%.4f ', z(:, 1)); fprintf('\n');   % expect: -1.1619 -0.3873 0.3873 1.1619
fprintf('%.4f\n', sum(z(:, 1) .* z(:, 2)) / (n - 1));   % expect: 0.8315
fprintf('%.4f %.4f\n', abs(mean(z)));     % expect: 0.0000 0.0000
C = (A - mu)' * (A - mu) / (n - 1);
fprintf('%.4f %.4f %.4f\n', C(1, 1), C(1, 2), C(2, 2));   % expect: 6.6667 3.6667 2.9167
fprintf('%.4f\n', C(1, 2) / (sd(1) * sd(2)));   % expect: 0.8315
%% a predator-prey model stepped with Euler's method
x = 10;
y = 5;
h = 0.01;
for k = 1:100
  dx = 0.1 * x - 0.02 * x * y;
  dy = -0.3 * y + 0.01 * x * y;
  x = x + h * dx;
  y = y + h * dy;
end
fprintf('%.4f %.4f\n', x, y);             % expect: 10.0932 4.0941
%% a box blur with zero padding by summing shifted views
M = zeros(4);
M(2:3, 2:3) = 9;
P = zeros(size(M) + 2);
P(2:end - 1, 2:end - 1) = M;
B = zeros(size(M));
for di = 0:2
  for dj = 0:2
    B = B + P(1 + di:end - 2 + di, 1 + dj:end - 2 + dj);
  end
end
B = B / 9;
disp(B)
% expect: 1 2 2 1
% expect: 2 4 4 2
% expect: 2 4 4 2
% expect: 1 2 2 1
disp(sum(B(:)) == sum(M(:)))              % expect: 1
hot = B >= 4;
fprintf('%d %s\n', sum(hot(:)), mat2str(find(hot)'));   % expect: 4 [6 7 10 11]
%% unit conversions through a table of factors, with an error for unknown units
fprintf('%g %g %g\n', pn_convert(5, 'km', 'm'), pn_convert(12, 'inch', 'ft'), pn_convert(1, 'm', 'cm'));   % expect: 5000 1 100
try
  pn_convert(3, 'mile', 'm');
catch err
  fprintf('%s %s\n', err.identifier, err.message);   % expect: units:unknown unknown unit 'mile'
end
try
  pn_convert(3, 'm', 'yard');
catch err
  disp(err.message)                       % expect: unknown unit 'yard'
end
%% a shopping cart with discount rules and coupons
items = struct('name', {'apple', 'bread', 'cheese', 'melon'}, 'price', {0.5, 2.25, 7.8, 3}, ...
               'qty', {12, 2, 3, 1}, 'kind', {'fruit', 'bakery', 'dairy', 'fruit'});
total = 0;
for it = items
  line = it.price * it.qty;
  if it.qty >= 10
    line = line * 0.9;
  end
  if strcmp(it.kind, 'fruit')
    line = line * 0.95;
  end
  fprintf('%s %.2f\n', it.name, line);
  total = total + line;
end
% expect: apple 5.13
% expect: bread 4.50
% expect: cheese 23.40
% expect: melon 2.85
for coupon = {'SAVE5', 'PCT10', 'BOGUS'}
  try
    switch coupon{1}
      case 'SAVE5'
        if total <= 50
          error('cart:minimum', 'SAVE5 needs more than 50, have %.2f', total);
        end
        t = total - 5;
      case 'PCT10'
        t = total * 0.9;
      otherwise
        error('cart:coupon', 'unknown coupon %s', coupon{1});
    end
    fprintf('%s %.2f\n', coupon{1}, t);
  catch err
    fprintf('%s\n', err.message);
  end
end
% expect: SAVE5 needs more than 50, have 35.88
% expect: PCT10 32.29
% expect: unknown coupon BOGUS
%% runs of set pixels in each row of a binary image
img = logical([0 1 1 0 1; 1 1 1 1 1; 0 0 0 0 0; 1 0 1 0 1]);
for r = 1:size(img, 1)
  d = diff([0, img(r, :), 0]);
  starts = find(d == 1);
  lens = find(d == -1) - starts;
  fprintf('%d:', r);
  fprintf(' %d+%d', [starts; lens]);
  fprintf('\n');
end
% expect: 1: 2+2 5+1
% expect: 2: 1+5
% expect: 3: +
% expect: 4: 1+1 3+1 5+1
back = false(size(img));
for r = 1:size(img, 1)
  d = diff([0, img(r, :), 0]);
  s = find(d == 1);
  e = find(d == -1) - 1;
  for k = 1:numel(s)
    back(r, s(k):e(k)) = true;
  end
end
disp(isequal(back, img))                 % expect: 1
%% a month calendar laid out by weekday
names = {'Sunday', 'Monday', 'Tuesday', 'Wednesday', 'Thursday', 'Friday', 'Saturday'};
first = find(strcmp(names, pt_weekday(2024, 3, 1)));
days = [zeros(1, first - 1), 1:31];
days(end + 1:42) = 0;
weeks = reshape(days, 7, [])';
for w = 1:size(weeks, 1)
  if all(weeks(w, :) == 0)
    continue
  end
  cells = arrayfun(@(d) sprintf('%2d', d), weeks(w, :), 'UniformOutput', false);
  cells(weeks(w, :) == 0) = {'..'};
  disp(strjoin(cells, ' '));
end
% expect: .. .. .. .. .. 1 2
% expect: 3 4 5 6 7 8 9
% expect: 10 11 12 13 14 15 16
% expect: 17 18 19 20 21 22 23
% expect: 24 25 26 27 28 29 30
% expect: 31 .. .. .. .. .. ..
%% Lagrange interpolation through three points
xs = [1 2 4];
ys = [1 4 16];
L = @(t) sum(arrayfun(@(i) ys(i) * prod((t - xs([1:i - 1, i + 1:end])) ./ (xs(i) - xs([1:i - 1, i + 1:end]))), 1:3));
fprintf('%g %g %g\n', L(3), L(5), L(2));  % expect: 9 25 4
xs = 0:0.5:2;
ys = sin(xs);
n = numel(xs);
L5 = @(t) sum(arrayfun(@(i) ys(i) * prod((t - xs([1:i - 1, i + 1:n])) ./ (xs(i) - xs([1:i - 1, i + 1:n]))), 1:n));
grid = 0:0.1:2;
errs = arrayfun(@(t) abs(L5(t) - sin(t)), grid);
fprintf('%.6f %.6f\n', max(errs), L5(0.75));   % expect: 0.000585 0.681843
fprintf('%d\n', all(errs(1:5:end) < 1e-12));   % expect: 1
