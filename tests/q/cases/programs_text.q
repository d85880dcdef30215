%% a tokenizer builds a struct array of tokens in a while loop
toks = pt_tokenize('x1 = 3.5*(y + 42)');
fprintf('%d\n', numel(toks));                     % expect: 9
for k = 1:numel(toks)
  fprintf('%s:%s ', toks(k).kind, toks(k).text);
end
fprintf('\n');                                    % expect: id:x1 op:= num:3.5 op:* op:( id:y op:+ num:42 op:)
kinds = {toks.kind};
fprintf('%d ops, %d ids\n', sum(strcmp(kinds, 'op')), sum(strcmp(kinds, 'id')));   % expect: 5 ops, 2 ids
nums = str2double({toks(strcmp(kinds, 'num')).text});
fprintf('%g\n', sum(nums));                       % expect: 45.5
isempty(pt_tokenize('   '))                       % expect: ans = 1
%% run-length encoding and decoding round trip
e = pt_rle('aaabccddddde');
disp(e)                                           % expect: 3a1b2c5d1e
disp(pt_unrle(e))                                 % expect: aaabccddddde
disp(pt_rle('z'))                                 % expect: 1z
isempty(pt_rle(''))                               % expect: ans = 1
disp(pt_rle(repmat('x', 1, 12)))                  % expect: 12x
disp(pt_rle('mississippi'))                       % expect: 1m1i2s1i2s1i2p1i
strcmp(pt_unrle(pt_rle('mississippi')), 'mississippi')   % expect: ans = 1
%% roman numerals both ways, checked over a range
for y = [1994 2024 3999 4 49]
  r = pt_toroman(y);
  fprintf('%d=%s=%d\n', y, r, pt_fromroman(r));
end
% expect: 1994=MCMXCIV=1994
% expect: 2024=MMXXIV=2024
% expect: 3999=MMMCMXCIX=3999
% expect: 4=IV=4
% expect: 49=XLIX=49
ok = all(arrayfun(@(n) pt_fromroman(pt_toroman(n)) == n, 1:300))   % expect: ok = 1
lens = arrayfun(@(n) length(pt_toroman(n)), 1:10);
fprintf('%d', lens); fprintf('\n');               % expect: 1232123421
%% a Caesar cipher with char arithmetic and logical masks
msg = 'Hello, World! xyz';
shift = 3;
up = msg >= 'A' & msg <= 'Z';
lo = msg >= 'a' & msg <= 'z';
out = msg;
out(up) = char(mod(msg(up) - 'A' + shift, 26) + 'A');
out(lo) = char(mod(msg(lo) - 'a' + shift, 26) + 'a');
disp(out)                                         % expect: Khoor, Zruog! abc
back = out;
back(up) = char(mod(out(up) - 'A' - shift, 26) + 'A');
back(lo) = char(mod(out(lo) - 'a' - shift, 26) + 'a');
disp(back)                                        % expect: Hello, World! xyz
class(out)                                        % expect: ans = char
fprintf('%d\n', sum(out ~= msg));                 % expect: 13
scores = zeros(1, 26);
for k = 0:25
  guess = out;
  guess(lo) = char(mod(out(lo) - 'a' - k, 26) + 'a');
  scores(k + 1) = sum(guess == 'l') + sum(guess == 'o');
end
[~, best] = max(scores);
disp(best - 1)                           % expect: 3
%% word frequencies sorted by count, ties alphabetically
text = lower('The quick brown fox jumps over the lazy dog. The dog sleeps; the fox runs.');
words = regexp(text, '[a-z]+', 'match');
uniq = {};
counts = [];
for k = 1:numel(words)
  hit = find(strcmp(uniq, words{k}));
  if isempty(hit)
    uniq{end + 1} = words{k};
    counts(end + 1) = 1;
  else
    counts(hit) = counts(hit) + 1;
  end
end
[uniq, order] = sort(uniq);
counts = counts(order);
[counts, order] = sort(counts, 'descend');
uniq = uniq(order);
for k = 1:3
  fprintf('%s %d\n', uniq{k}, counts(k));
end
% expect: the 4
% expect: dog 2
% expect: fox 2
fprintf('%d distinct of %d\n', numel(uniq), numel(words));   % expect: 10 distinct of 15
disp(uniq{end})                                   % expect: sleeps
%% a CSV-like parser builds a struct array named by its header line
csv = sprintf('name,qty,price\napple,3,0.5\npear,10,0.25\nfig,,2\n');
lines = strsplit(strtrim(csv), '\n');
header = strsplit(lines{1}, ',');
for k = 2:numel(lines)
  fields = strsplit(lines{k}, ',', 'CollapseDelimiters', false);
  for j = 1:numel(header)
    v = str2double(fields{j});
    if isnan(v)
      v = fields{j};
    end
    rows(k - 1).(header{j}) = v;
  end
end
total = 0;
for k = 1:numel(rows)
  if isnumeric(rows(k).qty) && ~isempty(rows(k).qty)
    total = total + rows(k).qty * rows(k).price;
  end
end
fprintf('%d rows, total %.2f\n', numel(rows), total);   % expect: 3 rows, total 4.00
disp(strjoin({rows.name}, '|'))                   % expect: apple|pear|fig
class(rows(3).qty)                                % expect: ans = char
disp(strjoin(fieldnames(rows)', ','))             % expect: name,qty,price
%% filling a template from a struct with regexp tokens and dynamic fields
tpl = 'Dear {name}, your order #{id} ships on {day}. Thanks, {name}!';
vals.name = 'Ada';
vals.id = 1042;
vals.day = 'Monday';
keys = regexp(tpl, '\{(\w+)\}', 'tokens');
out = tpl;
for k = 1:numel(keys)
  key = keys{k}{1};
  v = vals.(key);
  if isnumeric(v)
    v = num2str(v);
  end
  out = strrep(out, ['{', key, '}'], v);
end
disp(out)                    % expect: Dear Ada, your order #1042 ships on Monday. Thanks, Ada!
numel(keys)                  % expect: ans = 4
disp(regexprep(tpl, '\{(\w+)\}', '<$1>'))   % expect: Dear <name>, your order #<id> ships on <day>. Thanks, <name>!
%% converting between camelCase and snake_case
names = {'parseHttpHeader', 'x', 'getURL', 'simpleName2'};
for k = 1:numel(names)
  s = lower(regexprep(names{k}, '([a-z0-9])([A-Z])', '$1_$2'));
  fprintf('%s -> %s -> %s\n', names{k}, s, pt_camel(s));
end
% expect: parseHttpHeader -> parse_http_header -> parseHttpHeader
% expect: x -> x -> x
% expect: getURL -> get_url -> getUrl
% expect: simpleName2 -> simple_name2 -> simpleName2
disp(pt_camel('a_b_c'))      % expect: aBC
%% palindromes found with cellfun over cleaned phrases
phrases = {'A man, a plan, a canal: Panama', 'hello', 'Was it a car or a cat I saw', 'ab', 'Noon'};
clean = cellfun(@(s) lower(regexprep(s, '[^A-Za-z]', '')), phrases, 'UniformOutput', false);
isp = cellfun(@(s) strcmp(s, s(end:-1:1)), clean);
disp(isp)                                         % expect: 1 0 1 0 1
fprintf('%s\n', clean{isp});
% expect: amanaplanacanalpanama
% expect: wasitacaroracatisaw
% expect: noon
fprintf('%d\n', sum(cellfun(@length, clean(~isp))));   % expect: 7
for s = {'forgeeksskeegfor', 'abacdfgdcaba'}
  t = s{1};
  best = '';
  for c = 1:numel(t)
    for w = [0 1]
      l = c;
      r = c + w;
      while l >= 1 && r <= numel(t) && t(l) == t(r)
        l = l - 1;
        r = r + 1;
      end
      if r - l - 1 > numel(best)
        best = t(l + 1:r - 1);
      end
    end
  end
  fprintf('%s ', best);
end
fprintf('\n');                           % expect: geeksskeeg aba
%% a bracket checker keeps a stack in a char array
tests = {'(a[b]{c})', '(]', '((x)', '', 'a)b', '{[}]', '[({})]()'};
for k = 1:numel(tests)
  [ok, pos] = pt_balanced(tests{k});
  fprintf('%d:%d ', ok, pos);
end
fprintf('\n');                                    % expect: 1:0 0:2 0:1 1:0 0:2 0:3 1:0
%% edit distances and the nearest word of a dictionary
pairs = {'kitten', 'sitting'; 'flaw', 'lawn'; '', 'abc'; 'same', 'same'; 'intention', 'execution'};
for k = 1:size(pairs, 1)
  fprintf('%d ', pt_levenshtein(pairs{k, :}));
end
fprintf('\n');                                    % expect: 3 2 3 0 5
dict = {'apple', 'apply', 'ape', 'maple'};
for q = {'mapel', 'aplly', 'grape'}
  [d, i] = min(cellfun(@(w) pt_levenshtein(q{1}, w), dict));
  fprintf('%s->%s(%d) ', q{1}, dict{i}, d);
end
fprintf('\n');                                    % expect: mapel->ape(2) aplly->apply(1) grape->ape(2)
%% thousands separators by a loop and by a lookahead pattern
ns = [1234567 999 -1000 0 1000000 12345];
for n = ns
  a = pt_commas(n);
  b = regexprep(sprintf('%d', n), '(\d)(?=(\d{3})+$)', '$1,');
  fprintf('%s %d\n', a, strcmp(a, b));
end
% expect: 1,234,567 1
% expect: 999 1
% expect: -1,000 1
% expect: 0 1
% expect: 1,000,000 1
% expect: 12,345 1
%% base conversion by repeated division and by Horner's rule
fprintf('%s %s %s %s %s\n', pt_tobase(255, 2), pt_tobase(255, 16), pt_tobase(10, 3), pt_tobase(0, 7), pt_tobase(4095, 16));
% expect: 11111111 FF 101 0 FFF
fprintf('%d %d %d\n', pt_frombase('ff', 16), pt_frombase('101', 3), pt_frombase('7fff', 16));   % expect: 255 10 32767
ok = true;
for n = 0:200
  for b = [2 8 16]
    ok = ok && pt_frombase(pt_tobase(n, b), b) == n;
  end
end
ok                                                % expect: ok = 1
%% pig latin with optional regexp tokens
disp(pt_piglatin('the quick apple smiles'))       % expect: ethay uickqay appleway ilessmay
disp(pt_piglatin('rhythm'))                       % expect: rhythmay
disp(pt_piglatin('a'))                            % expect: away
%% acronyms and title case from cellfun with char results
words = strsplit('portable network graphics');
acr = cellfun(@(w) upper(w(1)), words);
disp(acr)                                         % expect: PNG
class(acr)                                        % expect: ans = char
t = strjoin(cellfun(@(w) [upper(w(1)), w(2:end)], words, 'UniformOutput', false), ' ');
disp(t)                                           % expect: Portable Network Graphics
disp(strjoin(words(end:-1:1), ' '))               % expect: graphics network portable
disp(strjoin(cellfun(@(x) x(end:-1:1), words, 'UniformOutput', false), ' '))   % expect: elbatrop krowten scihparg
people = {'ada king lovelace', 'alan turing', 'grace brewster murray hopper'};
initials = cellfun(@(p) upper(cellfun(@(w) w(1), strsplit(p))), people, 'UniformOutput', false);
disp(strjoin(initials, ' '))             % expect: AKL AT GBMH
sentence = 'the Q engine RUNS components.';
fixed = [upper(sentence(1)), lower(sentence(2:end))];
disp(fixed)                              % expect: The q engine runs components.
%% greedy word wrap into lines of a width
lines = pt_wrap('the quick brown fox jumps over the lazy dog', 10);
numel(lines)                                      % expect: ans = 5
fprintf('[%s]\n', lines{:});
% expect: [the quick]
% expect: [brown fox]
% expect: [jumps over]
% expect: [the lazy]
% expect: [dog]
fprintf('%s|', strrep(sprintf('%10s', lines{1}), ' ', '.')); fprintf('\n');   % expect: .the.quick|
lines = pt_wrap('extraordinarily long', 5);
fprintf('[%s]', lines{:}); fprintf('\n');         % expect: [extraordinarily][long]
%% a query string parsed into a struct with percent decoding
q = 'name=Ada%20Lovelace&lang=q&year=1843&flag&sym=%3D%26';
pairs = strsplit(q, '&');
params = struct();
for k = 1:numel(pairs)
  kv = strsplit(pairs{k}, '=');
  key = kv{1};
  if numel(kv) < 2
    val = true;
  else
    val = kv{2};
    hex = regexp(val, '%([0-9A-Fa-f]{2})', 'tokens');
    for h = 1:numel(hex)
      val = strrep(val, ['%', hex{h}{1}], char(pt_frombase(hex{h}{1}, 16)));
    end
    num = str2double(val);
    if ~isnan(num)
      val = num;
    end
  end
  params.(key) = val;
end
disp(params.name)                                 % expect: Ada Lovelace
fprintf('%d\n', params.year + 1);                 % expect: 1844
class(params.flag)                                % expect: ans = logical
disp(params.sym)                                  % expect: =&
disp(strjoin(fieldnames(params)', ','))           % expect: name,lang,year,flag,sym
%% an INI parser builds nested structs with dynamic fields
ini = {'[server]', 'host = example.org', 'port = 8080', '; comment', '', '[client]', 'retries=3', '  name = kvn app  '};
cfg = struct();
section = '';
for k = 1:numel(ini)
  line = strtrim(ini{k});
  if isempty(line) || line(1) == ';'
    continue
  end
  t = regexp(line, '^\[(\w+)\]$', 'tokens', 'once');
  if ~isempty(t)
    section = t{1};
    cfg.(section) = struct();
    continue
  end
  kv = regexp(line, '^(\w+)\s*=\s*(.*)$', 'tokens', 'once');
  v = str2double(kv{2});
  if isnan(v)
    v = kv{2};
  end
  cfg.(section).(kv{1}) = v;
end
fprintf('%s:%d\n', cfg.server.host, cfg.server.port);    % expect: example.org:8080
fprintf('%d [%s]\n', cfg.client.retries, cfg.client.name);   % expect: 3 [kvn app]
disp(strjoin(fieldnames(cfg)', ' '))              % expect: server client
numel(fieldnames(cfg.server))                     % expect: ans = 2
%% validating addresses with a pattern over a cell of texts
addrs = {'ann@example.com', 'bad@', 'x.y+z@sub.domain.org', '@nouser.com', 'two@@at.com', 'ok_1@a.io'};
pat = '^[\w.+-]+@(\w+\.)+[a-z]{2,}$';
valid = ~cellfun(@isempty, regexp(addrs, pat, 'once'));
disp(valid)                                       % expect: 1 0 1 0 0 1
domains = regexp(addrs(valid), '@(.*)$', 'tokens', 'once');
domains = cellfun(@(t) t{1}, domains, 'UniformOutput', false);
disp(strjoin(domains, ';'))                       % expect: example.com;sub.domain.org;a.io
more = lower({'Ann@Example.com', 'ann@example.com', 'OK_1@A.IO'});
[s, order] = sort(more);
keep = [true, ~strcmp(s(2:end), s(1:end - 1))];
disp(strjoin(s(keep), ' '))              % expect: ann@example.com ok_1@a.io
disp(sum(~keep))                         % expect: 1
%% anagram groups keyed by sorted letters in dynamic fields
words = {'listen', 'silent', 'enlist', 'google', 'tinsel', 'banana', 'elgoog'};
groups = struct();
for k = 1:numel(words)
  key = ['k', sort(words{k})];
  if ~isfield(groups, key)
    groups.(key) = {};
  end
  groups.(key){end + 1} = words{k};
end
keys = fieldnames(groups);
for k = 1:numel(keys)
  g = groups.(keys{k});
  fprintf('%d: %s\n', numel(g), strjoin(g, ' '));
end
% expect: 4: listen silent enlist tinsel
% expect: 2: google elgoog
% expect: 1: banana
disp(keys{1})                                     % expect: keilnst
%% letter counts: repeated indices in one assignment count once, a loop counts all
s = 'abracadabra';
idx = s - 'a' + 1;
c1 = zeros(1, 26);
c1(idx) = c1(idx) + 1;
c2 = zeros(1, 26);
for i = idx
  c2(i) = c2(i) + 1;
end
fprintf('%d %d\n', sum(c1), sum(c2));             % expect: 5 11
disp(char(find(c2) + 'a' - 1))                    % expect: abcdr
for i = find(c2)
  fprintf('%c%d ', i + 'a' - 1, c2(i));
end
fprintf('\n');                                    % expect: a5 b2 c1 d1 r2
[m, at] = max(c2);
fprintf('%c %d\n', at + 96, m);                   % expect: a 5
%% the longest common prefix of a list
disp(pt_commonprefix({'interspecies', 'interstellar', 'interstate'}))   % expect: inters
isempty(pt_commonprefix({'dog', 'racecar', 'car'}))   % expect: ans = 1
disp(pt_commonprefix({'single'}))                 % expect: single
isempty(pt_commonprefix({}))                      % expect: ans = 1
disp(pt_commonprefix({'abc', 'abcd', 'ab'}))      % expect: ab
%% log lines parsed with named tokens and sorted by date
logs = {'2024-03-15 ERROR disk full', '2023-12-01 INFO started', 'garbage', '2024-01-07 WARN low memory'};
pat = '^(?<y>\d{4})-(?<m>\d{2})-(?<d>\d{2}) (?<level>[A-Z]+) (?<msg>.*)$';
recs = struct('y', {}, 'level', {}, 'msg', {}, 'days', {});
cm = cumsum([0 31 28 31 30 31 30 31 31 30 31 30]);
for k = 1:numel(logs)
  t = regexp(logs{k}, pat, 'names');
  if isempty(t)
    continue
  end
  y = str2double(t.y);
  m = str2double(t.m);
  d = str2double(t.d);
  doy = cm(m) + d + (m > 2 && mod(y, 4) == 0);
  recs(end + 1) = struct('y', y, 'level', t.level, 'msg', t.msg, 'days', y * 1000 + doy);
end
numel(recs)                                       % expect: ans = 3
[~, order] = sort([recs.days]);
for r = recs(order)
  fprintf('%d/%03d %s: %s\n', r.y, mod(r.days, 1000), r.level, r.msg);
end
% expect: 2023/335 INFO: started
% expect: 2024/007 WARN: low memory
% expect: 2024/075 ERROR: disk full
%% a padded table with widths from the data
items = {'apple', 1.5, 3; 'watermelon', 4.25, 1; 'fig', 0.3, 12};
w = max(cellfun(@length, items(:, 1)));
for k = 1:size(items, 1)
  disp(strrep(sprintf('%-*s|%6.2f|%3d', w, items{k, :}), ' ', '.'));
end
% expect: apple.....|..1.50|..3
% expect: watermelon|..4.25|..1
% expect: fig.......|..0.30|.12
total = sum(cell2mat(items(:, 2)) .* cell2mat(items(:, 3)));
disp(strrep(sprintf('%*s|%6.2f', w, 'total', total), ' ', '.'));   % expect: .....total|.12.35
header = sprintf('%-*s|%6s|%3s', w, 'item', 'price', 'n');
disp(strrep(header, ' ', '.'))           % expect: item......|.price|..n
disp(repmat('-', 1, numel(header)))      % expect: ---------------------
qty = cell2mat(items(:, 3));
fprintf('%d %s\n', sum(qty), items{qty == max(qty), 1});   % expect: 16 fig
%% slugs from titles with two replacement passes
titles = {'Hello, World!', '  Q-code: A Matrix   Language ', 'Already-slug', '100% Done?'};
for k = 1:numel(titles)
  s = lower(strtrim(titles{k}));
  s = regexprep(s, '[^a-z0-9]+', '-');
  s = regexprep(s, '^-|-$', '');
  fprintf('%s\n', s);
end
% expect: hello-world
% expect: q-code-a-matrix-language
% expect: already-slug
% expect: 100-done
slugs = {'a', 'b', 'a', 'a', 'c', 'b'};
out = slugs;
for k = 2:numel(slugs)
  n = sum(strcmp(slugs(1:k - 1), slugs{k}));
  if n > 0
    out{k} = sprintf('%s-%d', slugs{k}, n + 1);
  end
end
disp(strjoin(out, ' '))                  % expect: a b a-2 a-3 c b-2
%% DNA: complement by masks, GC content, codons by arrayfun
dna = 'ATGGCCTTAGATGTAA';
comp = dna;
from = 'ATGC';
to = 'TACG';
for k = 1:4
  comp(dna == from(k)) = to(k);
end
disp(comp(end:-1:1))                              % expect: TTACATCTAAGGCCAT
fprintf('%.4f\n', sum(dna == 'G' | dna == 'C') / length(dna));   % expect: 0.3750
disp(strfind(dna, 'ATG'))                         % expect: 1 11
codons = arrayfun(@(i) dna(i:i + 2), 1:3:length(dna) - 2, 'UniformOutput', false);
disp(strjoin(codons, '-'))                        % expect: ATG-GCC-TTA-GAT-GTA
stop = find(strcmp(codons, 'TAA') | strcmp(codons, 'TAG') | strcmp(codons, 'GTA'), 1);
disp(stop)                                        % expect: 5
aa = struct('ATG', 'M', 'GCC', 'A', 'TTA', 'L', 'GAT', 'D', 'GTA', 'V');
protein = cellfun(@(c) aa.(c), codons);
disp(protein)                            % expect: MALDV
%% text statistics from regexp matches
txt = 'Q is small. It runs components! Does it work? Yes.';
sentences = regexp(txt, '[^.!?]+[.!?]', 'match');
numel(sentences)                                  % expect: ans = 4
words = regexp(txt, '\w+', 'match');
lens = cellfun(@length, words);
fprintf('%d words, mean %.1f\n', numel(words), mean(lens));   % expect: 10 words, mean 3.7
[~, i] = max(lens);
disp(words{i})                                    % expect: components
disp(cellfun(@(s) numel(regexp(s, '\w+')), sentences))   % expect: 3 3 3 1
disp(strtrim(sentences{3}))                       % expect: Does it work?
hist = zeros(1, max(lens));
for L = lens
  hist(L) = hist(L) + 1;
end
disp(hist)                               % expect: 1 3 1 3 1 0 0 0 0 1
%% a hex dump of a text with control characters
s = sprintf('Hi!\tQ\n');
disp(strtrim(sprintf('%02X ', double(s))))       % expect: 48 69 21 09 51 0A
shown = s;
shown(s < 32) = '.';
disp(shown)                                       % expect: Hi!.Q.
length(s)                                         % expect: ans = 6
hex = strsplit(strtrim(sprintf('%02X ', double(s))));
back = char(cellfun(@(h) pt_frombase(h, 16), hex));
disp(isequal(back, s))                   % expect: 1
disp(strjoin(hex(3:4), ':'))             % expect: 21:09
