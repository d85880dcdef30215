%% a JSON parser by recursive descent, checked against the encoder
v = pt_jsonparse('{"name": "kvn", "n": 3, "tags": ["a", "b"], "inner": {"ok": true, "none": null}, "x": -1.5e2, "s": "a\"b"}');
disp(strjoin(fieldnames(v)', ','))        % expect: name,n,tags,inner,x,s
fprintf('%s %d %d %s\n', v.name, v.n, numel(v.tags), v.tags{2});   % expect: kvn 3 2 b
fprintf('%s %d %d %g %s\n', class(v.inner.ok), v.inner.ok, isempty(v.inner.none), v.x, v.s);   % expect: logical 1 1 -150 a"b
disp(enc(pt_jsonparse('{"a":[1,2,{"b":"c"}],"d":[]}')))   % expect: {"a":[1,2,{"b":"c"}],"d":[]}
e = pt_jsonparse(' [ ] ');
fprintf('%s %d\n', class(e), numel(e));   % expect: cell 0
bad = {'{"a" 1}', '[1, 2', '[1] x', '', '{"k": tru}'};
for k = 1:numel(bad)
  try
    pt_jsonparse(bad{k});
  catch err
    fprintf('%s: %s\n', err.identifier, err.message);
  end
end
% expect: json:colon: expected : at 6
% expect: json:array: expected , or ] at 6
% expect: json:trailing: unexpected 'x' at 5
% expect: json:eof: unexpected end of text
% expect: json:token: unexpected 't' at 7
%% a trie of nested structs counts the words under a prefix
t = [];
for w = {'car', 'cart', 'care', 'cat', 'dog', 'do', 'card'}
  t = pd_trie('insert', t, w{1});
end
fprintf('%d %d %d %d %d\n', pd_trie('count', t, 'ca'), pd_trie('count', t, 'car'), ...
        pd_trie('count', t, 'do'), pd_trie('count', t, 'x'), pd_trie('count', t, ''));   % expect: 5 4 2 0 7
disp(strjoin(fieldnames(t.kids)', ''))    % expect: cd
disp(strjoin(fieldnames(t.kids.c.kids.a.kids.r.kids)', ''))   % expect: ted
fprintf('%d %d\n', t.kids.d.kids.o.here, t.kids.d.kids.o.n);   % expect: 1 2
%% a hash table with chaining in a cell of buckets
buckets = cell(1, 7);
hash = @(key) mod(sum(double(key) .* (1:numel(key))), 7) + 1;
keys = {'apple', 'banana', 'cherry', 'date', 'elder', 'fig', 'grape', 'kiwi'};
for k = 1:numel(keys)
  b = hash(keys{k});
  buckets{b}(end + 1, :) = {keys{k}, k * 10};
end
disp(cellfun(@(b) size(b, 1), buckets))   % expect: 2 0 2 2 0 2 0
lookup = @(key) buckets{hash(key)}{strcmp(buckets{hash(key)}(:, 1), key), 2};
fprintf('%d %d %d\n', lookup('cherry'), lookup('kiwi'), lookup('grape'));   % expect: 30 80 70
b = buckets{4};
disp(strjoin(b(:, 1)', ','))              % expect: cherry,date
b = hash('date');
buckets{b}(strcmp(buckets{b}(:, 1), 'date'), :) = [];
disp(cellfun(@(b) size(b, 1), buckets))   % expect: 2 0 2 1 0 2 0
disp(buckets{4}{1, 1})                    % expect: cherry
%% polynomials as coefficient vectors: product, evaluation and text
p = [1 -3 2];
q = [1 1];
r = zeros(1, numel(p) + numel(q) - 1);
for i = 1:numel(p)
  r(i:i + numel(q) - 1) = r(i:i + numel(q) - 1) + p(i) * q;
end
for c = {p, q, r, [-1 0 0 5], [0 0], [2.5 -1], [0 1 0]}
  fprintf('%s | ', pn_polystr(c{1}));
end
fprintf('\n');   % expect: x^2 - 3x + 2 | x + 1 | x^3 - 2x^2 - x + 2 | -x^3 + 5 | 0 | 2.5x - 1 | x |
horner = @(c, x) pf_reduce(@(acc, a) acc * x + a, c, 0);
disp(arrayfun(@(x) horner(r, x), -1:2))   % expect: 0 2 0 0
%% tic-tac-toe by exhaustive minimax search
B = zeros(3);
B([1 5]) = 1;
B([9 3]) = -1;
[score, move, nodes] = pc_minimax(B, 1);
fprintf('%d %d %d\n', score, move, nodes);   % expect: 0 6 186
B = zeros(3);
B(1) = 1;
B(5) = -1;
[score, move, nodes] = pc_minimax(B, 1);
fprintf('%d %d %d\n', score, move, nodes);   % expect: 0 2 7332
B = [1 1 0; -1 -1 0; 0 0 0];
[score, move] = pc_minimax(B, 1);
fprintf('%d %d\n', score, move);         % expect: 1 7
%% LU factorization with pivoting, checked by reconstruction
A = [2 1 1; 4 3 3; 8 7 9];
[L, U, p] = pn_lu(A);
disp(p)                                   % expect: 3 1 2
fprintf('%d\n', norm(A(p, :) - L * U) < 1e-12);   % expect: 1
n = 3;
inversions = sum(arrayfun(@(i) sum(p(i) > p(i + 1:end)), 1:n));
d = prod(U(1:n + 1:end)) * (-1)^inversions;
fprintf('%.6f %.6f\n', d, det(A));        % expect: 4.000000 4.000000
upper = all(U([2 3 6]) == 0);
lowerOnes = all(L([1 5 9]) == 1) && all(L([4 7 8]) == 0);
fprintf('%d %d\n', upper, lowerOnes);       % expect: 1 1
%% zigzag order of a matrix along its anti-diagonals
M = reshape(1:9, 3, 3)';
[R, C] = size(M);
out = [];
for s = 0:R + C - 2
  rows = max(0, s - C + 1):min(s, R - 1);
  if mod(s, 2) == 0
    rows = rows(end:-1:1);
  end
  for i = rows
    out(end + 1) = M(i + 1, s - i + 1);
  end
end
disp(out)                                 % expect: 1 2 4 7 5 3 6 8 9
M = reshape(1:6, 3, 2)';
[R, C] = size(M);
out = [];
for s = 0:R + C - 2
  rows = max(0, s - C + 1):min(s, R - 1);
  if mod(s, 2) == 0
    rows = rows(end:-1:1);
  end
  for i = rows
    out(end + 1) = M(i + 1, s - i + 1);
  end
end
disp(out)                                 % expect: 1 2 4 5 3 6
%% permission modes between octal digits and rwx text
for m = [755 644 700 0 777]
  fprintf('%s ', pt_modestr(m));
end
fprintf('\n');   % expect: rwxr-xr-x rw-r--r-- rwx------ --------- rwxrwxrwx
t = 'rw-r-----';
digits = [4 2 1] * reshape(t ~= '-', 3, 3);
fprintf('%d%d%d\n', digits);              % expect: 640
back = arrayfun(@(m) sum(([4 2 1] * reshape(pt_modestr(m) ~= '-', 3, 3)) .* [100 10 1]), [755 640 1]);
disp(back)                                % expect: 755 640 1
%% meeting times parsed from text and checked for overlaps
meet = {'standup', '09:00', '09:15'; 'review', '09:10', '10:00'; 'lunch', '12:00', '13:00'; ...
        'call', '12:30', '12:45'; 'retro', '10:00', '10:30'};
toMin = @(t) [60 1] * str2double(strsplit(t, ':'))';
span = zeros(size(meet, 1), 2);
for k = 1:size(meet, 1)
  span(k, :) = [toMin(meet{k, 2}), toMin(meet{k, 3})];
end
disp(span(:, 1)')                         % expect: 540 550 720 750 600
clashes = {};
for i = 1:size(span, 1)
  for j = i + 1:size(span, 1)
    if span(i, 1) < span(j, 2) && span(j, 1) < span(i, 2)
      clashes{end + 1} = [meet{i, 1}, '/', meet{j, 1}];
    end
  end
end
disp(strjoin(clashes, ' '))               % expect: standup/review lunch/call
fprintf('%d minutes booked\n', sum(diff(span, 1, 2)));   % expect: 170 minutes booked
%% a stack machine runs code compiled from reverse Polish text
src = '3 4 + 2 * 7 -';
toks = strsplit(src);
code = zeros(0, 2);
ops = '+-*/';
for k = 1:numel(toks)
  o = find(ops == toks{k}(1) & numel(toks{k}) == 1);
  if isempty(o)
    code(end + 1, :) = [0, str2double(toks{k})];
  else
    code(end + 1, :) = [o, 0];
  end
end
disp(code(:, 1)')                         % expect: 0 0 1 0 3 0 2
stack = [];
pc = 1;
while pc <= size(code, 1)
  op = code(pc, 1);
  if op == 0
    stack(end + 1) = code(pc, 2);
  else
    b = stack(end);
    a = stack(end - 1);
    stack(end - 1:end) = [];
    switch op
      case 1, stack(end + 1) = a + b;
      case 2, stack(end + 1) = a - b;
      case 3, stack(end + 1) = a * b;
      case 4, stack(end + 1) = a / b;
    end
  end
  pc = pc + 1;
end
disp(stack)                               % expect: 7
%% detecting a warning that was turned off, through lastwarn, and restoring its state
[x, warned] = pc_solve([2 0; 0 4], [2; 8]);
fprintf('%g %g %d\n', x, warned);         % expect: 1 2 0
[x, warned] = pc_solve([1 2; 2 4], [1; 2]);
fprintf('%d\n', warned);                  % expect: 1
s = warning('query', 'pc:singular');
disp(s.state)                             % expect: on
warning('off', 'pc:singular');
[~, warned] = pc_solve([1 1; 1 1], [1; 1]);
s = warning('query', 'pc:singular');
fprintf('%d %s\n', warned, s.state);      % expect: 1 off
[msg, id] = lastwarn();
disp(id)                                  % expect: pc:singular
%% a dispatcher that passes each handler as many arguments as it declares
handlers = {@(a) a * 2, @(a, b) a + b, @(varargin) numel(varargin), @pf_half, @(a, b, c) a * b - c};
results = cellfun(@(h) pc_apply(h, 6, 4, 9), handlers);
disp(results)                             % expect: 12 10 3 6 15
disp(arrayfun(@(k) nargin(handlers{k}), 1:numel(handlers)))   % expect: 1 2 -1 1 3
disp(pc_apply(@max, [3 8 1]))             % expect: 8
%% a logging wrapper with varargin in an anonymous function
logged = {};
wrap = @(name, f) @(varargin) deal(f(varargin{:}), sprintf('%s(%d args)', name, numel(varargin)));
add = wrap('add', @plus);
cat3 = wrap('cat', @(varargin) [varargin{:}]);
[v, msg] = add(2, 3);
logged{end + 1} = msg;
[w, msg] = cat3('a', 'b', 'c');
logged{end + 1} = msg;
[z, msg] = cat3();
logged{end + 1} = msg;
fprintf('%d %s %d\n', v, w, isempty(z));  % expect: 5 abc 1
disp(strjoin(logged, '; '))               % expect: add(2 args); cat(3 args); cat(0 args)
%% records keyed by names checked before they become fields
names = {'alpha', 'beta 2', '3rd', 'ok_name', '_x'};
rec = struct();
bad = {};
for k = 1:numel(names)
  try
    rec.(names{k}) = k;
  catch err
    bad{end + 1} = sprintf('%s(%s)', names{k}, err.identifier);
  end
end
disp(strjoin(fieldnames(rec)', ','))      % expect: alpha,ok_name
disp(strjoin(bad, ' '))                   % expect: beta 2(Q:invalidFieldName) 3rd(Q:invalidFieldName) _x(Q:invalidFieldName)
safe = regexprep(names, {'^([^A-Za-z])', '\W'}, {'x$1', '_'});
disp(strjoin(safe, ','))                  % expect: alpha,beta_2,x3rd,ok_name,x_x
for k = 1:numel(safe)
  rec.(safe{k}) = k;
end
disp(numel(fieldnames(rec)))              % expect: 5
%% prices rounded to cents in a report
items = {'tea', 3.456; 'cake', 2.004; 'jam', 10.0149};
total = 0;
for k = 1:size(items, 1)
  p = round(items{k, 2}, 2);
  total = total + p;
  fprintf('%s %.2f\n', items{k, 1}, p);
end
% expect: tea 3.46
% expect: cake 2.00
% expect: jam 10.01
fprintf('%.2f %g\n', total, round(total, -1));   % expect: 15.47 20
tax = round(total * 0.08, 2);
fprintf('%.2f %.2f\n', tax, total + tax);   % expect: 1.24 16.71
share = round(total / 3, 2);
fprintf('%.2f %.2f\n', share, total - 2 * share);   % expect: 5.16 5.15
