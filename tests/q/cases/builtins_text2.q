%% cellstr and strvcat: rows without trailing blanks, padded rows, empty texts skipped
c = cellstr(['ab  '; 'cde '; '    ']);
fprintf('%d %d |%s|%s|%d %d\n', size(c), c{1:2}, size(c{3}))            % expect: 3 1 |ab|cde|0 0
k = cellstr({'x', 'y z '}); e = cellstr('');
fprintf('%d %d [%s] %d %d %d\n', size(k), k{2}, size(e), isempty(e{1}))
% expect: 1 2 [y z ] 1 1 1
s = strvcat('a', '', 'bcd', {'ef', ''});
fprintf('%d %d %s|%s|%s\n', size(s), strrep(s(1, :), ' ', '.'), s(2, :), strrep(s(3, :), ' ', '.'))
% expect: 3 3 a..|bcd|ef.
fprintf('%d %d\n', size(strvcat('', {''})))                          % expect: 0 0
%% strip and pad: sides, other characters, cells
dot = @(t) strrep(t, ' ', '.'); b = @(t) ['[' t ']'];
fprintf('%s', b(strip(sprintf(' \t a b \n'))), b(dot(strip('  a  ', 'left'))), ...
        b(dot(strip('  a  ', 'right'))), b(strip('xxaxx', 'right', 'x')), ...
        b(strip('--', 'both', '-')))
fprintf('\n')
% expect: [a b][a..][..a][xxa][]
c = strip({' p ', 'q  '});
fprintf('%s|%s|%d %d\n', c{:}, size(c))                              % expect: p|q|1 2
fprintf('[%s]', dot(pad('ab', 5)), dot(pad('ab', 5, 'left')), dot(pad('ab', 5, 'both')), ...
        pad('abc', 2), pad('7', 3, 'left', '0'))
fprintf('\n')
% expect: [ab...][...ab][.ab..][abc][007]
c = pad({'a', 'bcd'; 'ef', ''});
fprintf('%s|', dot(c{1, 1}), c{1, 2}, dot(c{2, 1}), dot(c{2, 2})); fprintf('\n')
% expect: a..|bcd|ef.|...|
try, pad('a', -1), catch err, disp(err.identifier), end              % expect: Q:invalidInput
try, strip(5), catch err, disp(err.identifier), end                  % expect: Q:invalidInput
%% erase and replace: every occurrence, the longest pattern first, paired texts
fprintf('%s|%s|%s\n', erase('hello world', 'o'), erase('abcabc', {'b', 'bc'}), ...
        erase('aaa', 'aa'))                                          % expect: hell wrld|aa|a
fprintf('%s|%s|%s\n', replace('a.b.c', '.', '--'), ...
        replace('cat dog cat', {'cat', 'dog'}, {'dog', 'cat'}), replace('aaa', 'aa', 'b'))
% expect: a--b--c|dog cat dog|ba
c = replace({'aa', 'ba'; 'c', ''}, 'a', 'x');
fprintf('%s ', c{:}); fprintf('| %d %d\n', size(c))                  % expect: xx c bx | 2 2
fprintf('%s\n', replace('a-b', {'-', 'b'}, 'X'))                     % expect: aXX
try, replace('a', {'a', 'b'}, {'x', 'y', 'z'}), catch err, disp(err.identifier), end
% expect: Q:sizeMismatch
%% strlength, extractBefore and extractAfter: positions, texts, cells
fprintf('%d ', strlength('hello'), strlength(''), strlength({'ab', ''; 'xyz', 'q'}))
fprintf('\n')                                                        % expect: 5 0 2 3 0 1
b = @(t) ['[' t ']'];
fprintf('%s', b(extractBefore('hello world', 6)), b(extractBefore('hello', 1)), ...
        b(extractBefore('abc', 4)), b(extractAfter('hello world', 6)), ...
        b(extractAfter('hello', 5)), ...
        b(extractAfter('abc', 0)))
fprintf('\n')
% expect: [hello][][abc][world][][abc]
fprintf('%s', b(extractBefore('key=value', '=')), b(extractAfter('key=value=x', '=')), ...
        b(extractBefore('abc', '#')), b(extractAfter('abc', 'c')))
fprintf('\n')                                                        % expect: [key][value=x][][]
c = extractAfter({'a:b', 'cc:d'}, ':'); d = extractBefore({'abc', 'de'}, [2 3]);
fprintf('%s ', c{:}, d{:}); fprintf('\n')                            % expect: b d a de
try, extractBefore('abc', 5), catch err, disp(err.identifier), end   % expect: Q:invalidInput
try, extractAfter('abc', 1.5), catch err, disp(err.identifier), end  % expect: Q:invalidInput
%% join and split: delimiters, runs of delimiters, cells of texts
fprintf('[%s]', join({'a', 'b', 'c'}), join({'a', 'b', 'c'}, ', '), join({'x'; 'y'}, '-'), ...
        join({'a', 'b', 'c'}, {'+', '='})); fprintf('%d %d', size(join({})))
fprintf('\n')
% expect: [a b c][a, b, c][x-y][a+b=c]0 0
c = split(sprintf('a b \t c'));
fprintf('%s.', c{:}); fprintf('%d %d\n', size(c))                    % expect: a.b.c.3 1
c = split('k1=v1;k2=v2', {';', '='});
fprintf('%s.', c{:}); fprintf('%d %d\n', size(c))                    % expect: k1.v1.k2.v2.4 1
c = split(',a,', ',');
fprintf('%d%d%s%d%d %d %d\n', size(c{1}), c{2}, size(c{3}), size(c))     % expect: 00a00 3 1
c = split({'a-b'; 'c-d'; 'e-f'}, '-');
fprintf('%s', c{:}); fprintf(' %d %d %s\n', size(c), c{3, 1})        % expect: acebdf 3 2 e
try, split({'a-b', 'c'}, '-'), catch err, disp(err.identifier), end  % expect: Q:sizeMismatch
try, join({'a', 'b'}, {'+', '-'}), catch err, disp(err.identifier), end
% expect: Q:sizeMismatch
%% validatestring: exact and prefix matches regardless of case, the shortest common option
o = {'apple', 'Banana', 'int', 'integer'};
fprintf('%s|', validatestring('app', o), validatestring('BAN', o), validatestring('in', o), ...
        validatestring('INTE', o), validatestring('Int', {'int8', 'INT'})); fprintf('\n')
% expect: apple|Banana|int|integer|INT|
try, validatestring('c', o), catch err, disp(err.identifier), end
% expect: Q:unrecognizedStringChoice
try, validatestring('a', {'abc', 'abd'}), catch err, disp(err.identifier), end
% expect: Q:ambiguousStringChoice
try, validatestring('', o), catch err, disp(err.identifier), end
% expect: Q:unrecognizedStringChoice
%% jsonencode: numbers, vectors, matrices, logicals, NaN and Inf
fprintf('%s\n', jsonencode(3), jsonencode(-2.5), jsonencode(0.1), jsonencode(int8(-5)))
% expect: 3
% expect: -2.5
% expect: 0.1
% expect: -5
fprintf('%s %s %s %s\n', jsonencode([1 2 3]), jsonencode([1; 2]), jsonencode([1 2; 3 4]), ...
        jsonencode([]))
% expect: [1,2,3] [1,2] [[1,2],[3,4]] []
fprintf('%s %s %s\n', jsonencode([NaN Inf 1]), jsonencode(true), jsonencode([true false]))
% expect: [null,null,1] true [true,false]
fprintf('%s %s\n', jsonencode(uint64(18446744073709551615)), jsonencode(single([0.1 2])))
% expect: 18446744073709551615 [0.1,2]
try, jsonencode(1 + 2i), catch err, disp(err.identifier), end        % expect: Q:invalidInput
%% jsonencode: texts, cells, structs and struct arrays, nesting bound
fprintf('%s %s %s\n', jsonencode('hi "x"'), jsonencode(''), jsonencode(['ab'; 'cd']))
% expect: "hi \"x\"" "" ["ab","cd"]
fprintf('%s\n', jsonencode({1, 'a', {}, [1 2]}))                     % expect: [1,"a",[],[1,2]]
s = struct('name', 'A', 'v', [1 2]);
fprintf('%s\n', jsonencode(s), jsonencode(struct('a', {1, 2})), jsonencode(struct('a', {})))
% expect: {"name":"A","v":[1,2]}
% expect: [{"a":1},{"a":2}]
% expect: []
fprintf('%d ', double(jsonencode(char([233 8364])))); fprintf('\n')  % expect: 34 233 8364 34
c = 1; for k = 1:201, c = {c}; end
try, jsonencode(c), catch err, disp(err.identifier), end             % expect: Q:invalidInput
%% jsondecode: scalars, row vectors, matrices, logicals, null, texts
v = jsondecode('[1, 2.5, null]');
fprintf('%g ', v, size(v)); fprintf('%s\n', class(v))                % expect: 1 2.5 NaN 1 3 double
m = jsondecode('[[1,2,3],[4,5,6]]');
fprintf('%g ', m, size(m)); fprintf('\n')                            % expect: 1 4 2 5 3 6 2 3
b = jsondecode('[true,false]'); t = jsondecode('true'); n = jsondecode('null');
fprintf('%s %d %d %s %d %d %d %d\n', class(b), b, class(t), t, size(n), isa(n, 'double'))
% expect: logical 1 0 logical 1 0 0 1
fprintf('%d ', double(jsondecode('"a\tb"')), jsondecode('-1.5e2'), isempty(jsondecode('[]')))
fprintf('\n')                                                        % expect: 97 9 98 -150 1
fprintf('%d ', double(jsondecode('"\u00e9\u20ac\ud83d\ude00"'))); fprintf('\n')
% expect: 233 8364 55357 56832
%% jsondecode: objects, struct arrays, mixed arrays as cells, field names made valid
s = jsondecode('{"a": 1, "b": [1, 2], "c": {"d": "x"}}');
fprintf('%g %g %g %s\n', s.a, s.b, s.c.d)                            % expect: 1 1 2 x
r = jsondecode('[{"x": 1}, {"x": 2}, {"x": 5}]');
fprintf('%s %d %d %g\n', class(r), size(r), [r.x] * [1; 1; 1])       % expect: struct 1 3 8
c = jsondecode('[{"x": 1}, {"y": 2}]'); m = jsondecode('[1, "a", [true]]');
fprintf('%s %d %d %s %s %s %s\n', class(c), size(c), class(m{1}), m{2}, class(m{3}), ...
        class(jsondecode('[[1],[true]]')))
% expect: cell 1 2 double a logical cell
f = fieldnames(jsondecode(['{"1st": 1, "a-b": 2, "a b": 3, "a_b": 4, ', ...
                           '"\u00e9t\u00e9": 5, "a-b": 6}']));
fprintf('%s ', f{:}); fprintf('\n')                       % expect: x1st a_b a_b_1 a_b_2 x_t_ a_b_3
e = jsondecode('{}');
fprintf('%s %d %d %d\n', class(e), size(e), numel(fieldnames(e)))    % expect: struct 1 1 0
%% jsondecode: round trips, malformed text and the nesting bound
x = [1 2; 3 4];
fprintf('%d ', isequal(jsondecode(jsonencode(x)), x), isequal(jsondecode(jsonencode(1:4)), 1:4))
t = '{"a":[1,2,3],"b":{"c":"d"},"e":[true,false],"f":[{"g":1},{"g":2}],"h":[1,"z"]}';
fprintf('%d\n', strcmp(jsonencode(jsondecode(t)), t))               % expect: 1 1 1
try, jsondecode('[1,'), catch err
  fprintf('%s %d\n', err.identifier, contains(err.message, 'parse error')), end
% expect: Q:jsonDecode 1
try, jsondecode('{"a" 1}'), catch err, disp(err.identifier), end     % expect: Q:jsonDecode
deep = [repmat('[', 1, 200), '1', repmat(']', 1, 200)];
v = jsondecode(deep);
fprintf('%s\n', class(v))                                            % expect: cell
try, jsondecode(['[' deep ']']), catch err, disp(err.identifier), end   % expect: Q:jsonDecode
try, jsondecode(5), catch err, disp(err.identifier), end             % expect: Q:invalidInput
%% datenum: the calendar from year 0, leap years, carried months, date vectors, arrays
fprintf('%d %d %d %d\n', datenum(0, 1, 1), datenum(2000, 1, 1), datenum(1970, 1, 1), ...
        datenum(2024, 2, 29))
% expect: 1 730486 719529 739311
fprintf('%d %d %d %d\n', datenum(2000, 3, 1) - datenum(2000, 2, 1), ...
        datenum(1900, 3, 1) - datenum(1900, 2, 1), datenum(2000, 13, 1), datenum(2000, 0, 1))
% expect: 29 28 730852 730455
fprintf('%.4f ', datenum(2000, 1, 1, 12, 0, 0), datenum([2000 1 1 6 0 0; 2000 1 2 0 0 0]), ...
        datenum([2000 1 1]), datenum(2000, 1, 1, 0, 0, 21600)); fprintf('\n')
% expect: 730486.5000 730486.2500 730487.0000 730486.0000 730486.2500
d = datenum(2000, 1, [1 2 3]);
fprintf('%d ', d, size(d), size(datenum([2000 1 1; 2001 1 1]))); fprintf('\n')
% expect: 730486 730487 730488 1 3 2 1
try, datenum(2000, 1.5, 1), catch err, disp(err.identifier), end     % expect: Q:invalidInput
try, datenum(2000, [1 2], [1 2 3]), catch err, disp(err.identifier), end  % expect: Q:sizeMismatch
try, datenum([1 2 3 4]), catch err, disp(err.identifier), end        % expect: Q:invalidInput
%% datestr: the default and the numbered formats, symbols, rounding, several dates
fprintf('%s|%s\n', datestr(730486), datestr([2024 2 29 13 5 9]))
% expect: 01-Jan-2000 00:00:00|29-Feb-2024 13:05:09
fprintf('%s|%s|%s|%s\n', datestr(739311, 29), datestr(739311, 1), datestr(739311.75, 31), ...
        datestr(739311.75, 0))
% expect: 2024-02-29|29-Feb-2024|2024-02-29 18:00:00|29-Feb-2024 18:00:00
fprintf('%s|%s|%s|%s\n', datestr(730486.5, 30), datestr(730486, 2), datestr(730486, 23), ...
        datestr(730486.25, 13))
% expect: 20000101T120000|01/01/00|01/01/2000|06:00:00
fprintf('%s|%s|%s\n', datestr(739311, 'dddd, mmmm dd yy'), datestr(739311, 'ddd d m'), ...
        datestr(730486 + 13.5 / 24, 'HH:MM PM'))
% expect: Thursday, February 29 24|Thu T F|01:30 PM
fprintf('%s|%s|%s\n', datestr(730486, 'HH:MM AM'), datestr(730486 + 59.6 / 86400, 'HH:MM:SS'), ...
        datestr(730486 + 1.25 / 86400, 'SS.FFF'))
% expect: 12:00 AM|00:01:00|01.250
d = datestr([730486; 730487.5], 'yyyy-mm-dd HH');
fprintf('%d %d %s %s\n', size(d), d(1, :), d(2, :))
% expect: 2 13 2000-01-01 00 2000-01-02 12
fprintf('%s|%s\n', datestr([2000 1 2], 1), datestr(730486 - 0.4 / 86400, 'yyyy-mm-dd HH:MM:SS'))
% expect: 02-Jan-2000|2000-01-01 00:00:00
try, datestr(1, 7), catch err, disp(err.identifier), end             % expect: Q:invalidInput
try, datestr(Inf), catch err, disp(err.identifier), end              % expect: Q:invalidInput
%% weekday and etime: Sunday is 1, names short and long, seconds between date vectors
[n, s] = weekday(730486);
fprintf('%d %s %d ', n, s, weekday([739311 739312])); fprintf('\n')  % expect: 7 Sat 5 6
[n, s] = weekday(739311.9, 'long'); [~, w] = weekday([730486; 730487], 'long');
fprintf('%d %s %d %d %s|%s\n', n, s, size(w), w(1, :), strrep(w(2, :), ' ', '.'))
% expect: 5 Thursday 2 8 Saturday|Sunday..
fprintf('%g %g %.0f\n', etime([2000 1 1 0 0 0], [1999 12 31 23 59 58.5]), ...
        etime([2024 3 1 0 0 0], [2024 2 28 0 0 0]), etime([2000 1 1 0 0 0], [2001 1 1 0 0 0]))
% expect: 1.5 172800 -31622400
try, etime([1 2 3], [1 2 3 4 5 6]), catch err, disp(err.identifier), end  % expect: Q:sizeMismatch
%% now, clock, date and cputime agree with each other
c = clock; n = now; d = date; t0 = cputime; x = sum(1:1e5); t1 = cputime;
fprintf('%d %d %d\n', size(c), abs(datenum(c) - n) * 86400 < 5)          % expect: 1 6 1
same = strcmp(d, datestr(floor(n), 1)) || strcmp(d, datestr(floor(n) + 1, 1));
fprintf('%d %d %d\n', numel(d), same, isequal(class(t0), 'double') && t1 >= t0 && t0 >= 0)
% expect: 11 1 1
try, now(1), catch err, disp(err.identifier), end                    % expect: Q:TooManyInputs
