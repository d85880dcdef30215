%% lookbehind, positive and negative
strjoin(regexp('price: $42 and $7', '(?<=\$)\d+', 'match'), ',')   % expect: ans = 42,7
strjoin(regexp('a1 b2 c3', '(?<!b)\d', 'match'), ',')             % expect: ans = 1,3
regexprep('a1b2 3', '(?<=[a-z])\d', '#')                          % expect: ans = a#b# 3
%% lookahead, positive and negative (with backtracking into the number)
regexp('foobar foobaz', 'foo(?=bar)', 'start')                    % expect: ans = 1
strjoin(regexp('10px 20em', '\d+(?!px)', 'match'), ',')           % expect: ans = 1,20
%% inline flags
regexp('Hello HELLO hello', '(?i)hello', 'start')                 % expect: ans = 1 7 13
regexp('The Cat the cat', '(?i:the) cat', 'start')                % expect: ans = 9
regexprep('Abc ABC abc', '(?i)abc', 'x')                          % expect: ans = x x x
regexp('ABC', '(?i)b(?-i)C', 'start')                             % expect: ans = 2
%% word anchors \< and \>
regexp('cat concat catalog', '\<cat', 'start')                    % expect: ans = 1 12
regexp('cat concat catalog', 'cat\>', 'start')                    % expect: ans = 1 8
regexp('cat concat catalog', '\<cat\>', 'start')                  % expect: ans = 1
strjoin(regexp('one two_2 3x', '\<\w', 'match'), ',')             % expect: ans = o,t,3
regexprep('big bigger', '\<big\>', 'small')                       % expect: ans = small bigger
%% \< and \> inside a class and after an escaped backslash are characters
regexp('a<b>c', '[\<\>]', 'start')                                % expect: ans = 2 4
regexp('a\<b', '\\<', 'start')                                    % expect: ans = 2
regexp('x[<]y', '[[:alpha:]<]', 'start')                          % expect: ans = 1 3 5
%% named tokens, in names, in replacements and in back references
n = regexp('x=1;y=22', '(?<key>\w)=(?<val>\d+)', 'names');
size(n)                                                           % expect: ans = 1 2
n(2).key                                                          % expect: ans = y
n(2).val                                                          % expect: ans = 22
regexprep('x=1;y=22', '(?<key>\w)=(?<val>\d+)', '$<val>:$<key>')  % expect: ans = 1:x;22:y
strjoin(regexp('abab xyxz', '(?<p>\w\w)\k<p>', 'match'), ',')     % expect: ans = abab
t = regexp('k: v', '(?<name>\w+):\s*(\w+)', 'tokens', 'once');
[t{:}]                                                            % expect: ans = kv
%% anchors, dots and line breaks
numel(regexp(sprintf('ab\ncd'), '^cd$', 'match'))                 % expect: ans = 0
regexp(sprintf('ab\ncd'), '^cd$', 'start', 'lineanchors')         % expect: ans = 4
numel(regexp(sprintf('a\nb'), 'a.b', 'match'))                    % expect: ans = 0
regexp(sprintf('a\nb'), 'a.b', 'start', 'dotall')                 % expect: ans = 1
regexp(sprintf('a\nb'), '(?s)a.b', 'start')                       % expect: ans = 1
%% replacement references to missing tokens give nothing
regexprep('abc', '(b)', '[$2]')                                   % expect: ans = a[]c
regexprep('abc', 'b', '[$1]')                                     % expect: ans = a[]c
regexprep('abc', '(?<x>b)', '[$<y>]')                             % expect: ans = a[]c
%% a malformed pattern is an error
regexp('x', '(')                                                  % expect-error: Q:invalidPattern
%% a lookbehind of unbounded length is refused
regexp('ab', '(?<=a+)b')                                          % expect-error: Q:invalidPattern
%% a match beyond the matcher's memory bound is an error, not a crash
regexp(repmat('ab', 1, 200000), '(a|b)*')                         % expect-error: Q:invalidPattern
