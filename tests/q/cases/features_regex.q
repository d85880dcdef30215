%% regexp start indices by default, matches and tokens on request
disp(regexp('a1b22c333', '\d+'))          % expect: 2 4 7
m = regexp('a1b22c333', '\d+', 'match');
disp(strjoin(m, ','))                     % expect: 1,22,333
%% regexp outputs in the default order: start, end, extents, match, tokens
[s, e, te, m, t] = regexp('x=1 y=22', '(\w)=(\d+)');
disp([s; e])
% expect: 1 5
% expect: 3 8
disp(te{2})
% expect: 5 5
% expect: 7 8
disp(m{2})                                % expect: y=22
disp(t{1}{2})                             % expect: 1
%% option order decides the output order
[m, s] = regexp('abc', 'b', 'match', 'start');
fprintf('%s %d\n', m{1}, s);              % expect: b 2
%% once gives the first result unwrapped
disp(regexp('k9 k8', 'k(\d)', 'tokens', 'once'))   % expect: {'9'}
disp(regexp('k9 k8', 'k\d', 'match', 'once'))      % expect: k9
disp(regexp('k9 k8', 'k\d', 'once'))      % expect: 1
%% no match gives empty results
m = regexp('abc', '\d', 'match');
disp(size(m))                             % expect: 1 0
disp(isempty(regexp('abc', '\d', 'match', 'once')))   % expect: 1
disp(isempty(regexp('abc', '\d')))        % expect: 1
%% names gives a struct with one field per named token
n = regexp('w=3,h=4', '(?<key>\w)=(?<val>\d)', 'names');
disp(size(n))                             % expect: 1 2
fprintf('%s%s ', n(2).key, n(2).val); fprintf('\n');   % expect: h4
n = regexp('2024-05', '(?<y>\d+)-(?<m>\d+)', 'names', 'once');
disp(n.m)                                 % expect: 05
%% split gives the text between matches
p = regexp('a1b22c', '\d+', 'split');
disp(strjoin(p, '|'))                     % expect: a|b|c
p = regexp('1a2', '\d', 'split');
fprintf('%d %d\n', numel(p), isempty(p{1}));   % expect: 3 1
%% a group that does not take part gives an empty token
t = regexp('ac', 'a(b)?c', 'tokens');
disp(isempty(t{1}{1}))                    % expect: 1
%% a cell of subjects gives a cell of results
r = regexp({'a1', 'b', 'c22'}, '\d+', 'match');
disp(size(r))                             % expect: 1 3
disp(numel(r{2}))                         % expect: 0
disp(r{3}{1})                             % expect: 22
%% ignorecase as an option and as an inline flag
disp(numel(regexp('AbAB', 'ab', 'match', 'ignorecase')))   % expect: 2
disp(numel(regexp('AbAB', '(?i)ab', 'match')))   % expect: 2
disp(numel(regexp('AbAB', 'ab', 'match')))   % expect: 0
%% word anchors, lookahead and lookbehind
disp(regexp('cat concat cats', '\<cat\>'))   % expect: 1
disp(regexp('price: $42', '(?<=\$)\d+', 'match', 'once'))   % expect: 42
disp(regexp('a1 b2 c3', '\w(?=2)', 'match', 'once'))   % expect: b
%% lazy and greedy quantifiers
disp(regexp('<a><b>', '<.*>', 'match', 'once'))    % expect: <a><b>
disp(regexp('<a><b>', '<.*?>', 'match', 'once'))   % expect: <a>
%% back references find doubled letters
disp(regexp('bookkeeper', '(\w)\1', 'match'))   % expect: {'oo'} {'kk'} {'ee'}
%% regexprep with token references
disp(regexprep('John Smith', '(\w+) (\w+)', '$2, $1'))   % expect: Smith, John
disp(regexprep('aaa', 'a', '$0$0'))       % expect: aaaaaa
%% regexprep replaces all matches unless once
disp(regexprep('a.b.c', '\.', '-'))       % expect: a-b-c
disp(regexprep('a.b.c', '\.', '-', 'once'))   % expect: a-b.c
%% regexprep with ignorecase and an empty replacement
disp(regexprep('Hello HELLO hello', 'hello', 'x', 'ignorecase'))   % expect: x x x
disp(regexprep('a1b2c3', '\d', ''))       % expect: abc
%% regexprep over a cell
r = regexprep({'ab', 'bb'}, '^b', 'X');
disp(strjoin(r, ','))                     % expect: ab,Xb
%% regexprep translates escapes in the replacement
s = regexprep('a,b', ',', '\t');
disp(double(s(2)))                        % expect: 9
%% named token references in a replacement
disp(regexprep('10:30', '(?<h>\d+):(?<m>\d+)', '$<m> past $<h>'))   % expect: 30 past 10
%% a malformed pattern is an error
regexp('abc', '(')                        % expect-error: Q:invalidPattern
%% line anchors
t = sprintf('one\ntwo\nthree');
disp(numel(regexp(t, '^\w+$', 'match')))  % expect: 0
disp(numel(regexp(t, '^\w+$', 'match', 'lineanchors')))   % expect: 3
%% character classes
disp(regexprep('a-b_c d!', '[^\w]', ''))  % expect: ab_cd
disp(regexp('x9y8', '[0-9]', 'match'))    % expect: {'9'} {'8'}
disp(numel(regexp('tab	here', '\s')))   % expect: 1
