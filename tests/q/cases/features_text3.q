%% regexprep with a cell of patterns applies them in order
disp(regexprep('abc', {'a', 'b'}, {'1', '2'}))   % expect: 12c
disp(regexprep('abc', {'a', '1'}, {'1', '2'}))   % expect: 2bc
%% regexprep with a cell of patterns and one replacement
disp(regexprep('a-b_c', {'-', '_'}, ' '))   % expect: a b c
%% regexprep with cells of patterns over a cell of subjects
r = regexprep({'ab', 'ba'}, {'a', 'b'}, {'b', 'c'});
disp(strjoin(r, ','))                     % expect: cc,cc
%% regexprep needs as many replacements as patterns, or one
regexprep('abc', {'a', 'b'}, {'1', '2', '3'})   % expect-error: Q:invalidInput
%% regexprep with cells keeps the options for every pattern
disp(regexprep('aXbX', {'x', 'B'}, {'-', '+'}, 'ignorecase', 'once'))   % expect: a-+X
%% cleaning text with a list of patterns
clean = regexprep('  Hello,   World!! ', {'^\s+|\s+$', '\s+', '[^\w ]'}, {'', ' ', ''});
disp(['[', clean, ']'])                   % expect: [Hello World]
%% html escaping with a table of replacements in order
s = regexprep('a<b & c>"d"', {'&', '<', '>', '"'}, {'&amp;', '&lt;', '&gt;', '&quot;'});
disp(s)                                   % expect: a&lt;b &amp; c&gt;&quot;d&quot;
%% strfind over a cell gives a cell of positions
r = strfind({'abcab', 'b', 'x'}, 'b');
fprintf('%s %s %d\n', mat2str(r{1}), mat2str(r{2}), isempty(r{3}));   % expect: [2 5] 1 1
%% upper and lower of cells and of non-text
c = upper({'ab', 'c'});
disp([c{:}])                              % expect: ABC
disp(lower(65))                           % expect: 65
%% num2str of sums that are not exact
disp(num2str(0.1 + 0.2))                  % expect: 0.3
disp(num2str(1/3, 10))                    % expect: 0.3333333333
disp(num2str(123456789012))               % expect: 123456789012
%% mat2str with a precision
disp(mat2str([1/3 2/3], 3))               % expect: [0.333 0.667]
disp(mat2str(-0.5))                       % expect: -0.5
%% sprintf field widths never cut a text
disp(sprintf('%5s|%-5s|', 'abcdefg', 'x'))   % expect: abcdefg|x |
disp(sprintf('%c', 'abc', 100))           % expect: abcd
%% strjoin needs texts
strjoin({1, 2}, ',')                      % expect-error: Q:invalidInput
%% sprintf refuses cells
sprintf('%d', {1})                        % expect-error: Q:invalidInput
%% a text of digits and a number are different values
fprintf('%d %d %d\n', isequal('1', 1), strcmp('1', '1'), '1' == 49);   % expect: 0 1 1
%% building texts in loops with brackets and sprintf
s = '';
for k = 1:5
  s = [s, sprintf('%d', mod(k, 3))];
end
disp(s)                                   % expect: 12012
parts = cell(1, 3);
for k = 1:3
  parts{k} = repmat(char('a' + k - 1), 1, k);
end
disp(strjoin(parts, '.'))                 % expect: a.bb.ccc
%% counting characters with logical sums and histograms of letters
s = 'mississippi';
counts = arrayfun(@(c) sum(s == c), 'imps');
disp(counts)                              % expect: 4 1 2 4
[~, i] = max(counts);
letters = 'imps';
disp(letters(i))                          % expect: i
