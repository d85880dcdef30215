%% text tests and pieces: isspace, blanks, deblank, strtok, iscellstr
fprintf('%d', isspace(sprintf('a b\tc'))); fprintf('\n')          % expect: 01010
fprintf('[%s] [%s]\n', blanks(3), deblank(sprintf('hi  \t ')))     % expect: [   ] [hi]
[t, r] = strtok('  hello world  ');
fprintf('[%s] [%s]\n', t, r)                                       % expect: [hello] [ world  ]
[t, r] = strtok('a,b,,c', ',');
fprintf('[%s] [%s]\n', t, r)                                       % expect: [a] [,b,,c]
fprintf('%d %d %d\n', iscellstr({'a', 'bc'}), iscellstr({'a', 1}), iscellstr('a'))  % expect: 1 0 0
%% contains, startsWith and endsWith on texts and cells, with any of several patterns
fprintf('%d %d %d\n', contains('Hello World', 'world'), ...
        contains('Hello World', 'world', 'IgnoreCase', true), contains('abc', {'x', 'c'}))
% expect: 0 1 1
fprintf('%d', startsWith({'apple', 'banana', 'apricot'}, 'ap'), ...
        endsWith({'file.txt', 'data.csv'}, {'.csv', '.dat'})); fprintf('\n')  % expect: 10101
%% whole numbers: gcd, lcm, factorial, nchoosek, isprime, primes and the class limits
fprintf('%d %d %d %d |', gcd(12, 18), lcm(4, 6), gcd(0, 5), lcm(0, 3)); fprintf(' %d', gcd([12 15 7], 3))
fprintf('\n')                                                      % expect: 6 12 5 0 | 3 3 1
fprintf('%d %d %g %d %d\n', factorial(5), factorial(0), factorial(171), nchoosek(5, 2), ...
        nchoosek(52, 5))                                           % expect: 120 1 Inf 10 2598960
disp(nchoosek(1:4, 3))
% expect:    1   2   3
% expect:    1   2   4
% expect:    1   3   4
% expect:    2   3   4
fprintf('%d', isprime([0 1 2 3 4 5 97 100])); fprintf(' |'); fprintf(' %d', primes(20)); fprintf('\n')
% expect: 00110110 | 2 3 5 7 11 13 17 19
fprintf('%d %d %d %d %s\n', intmax, intmin, intmax('uint8'), intmin('int8'), class(intmax('int64')))
% expect: 2147483647 -2147483648 255 -128 int64
fprintf('%g %g %d\n', realmax, realmin, flintmax == 2^53)            % expect: 1.79769e+308 2.22507e-308 1
fprintf('%d %d %d %d %s |', idivide(int32(7), int32(2)), idivide(int32(-7), int32(2)), ...
        idivide(int32(7), 2, 'round'), idivide(int32(-7), int32(2), 'floor'), class(idivide(int8(9), 4)))
fprintf(' %d', idivide(int16([10 11 12]), int16(3), 'ceil')); fprintf('\n')  % expect: 3 -3 4 -4 int8 | 4 4 4
%% reordering: flip, fliplr, flipud, circshift, rot90
fprintf('%d ', fliplr([1 2 3]), flipud([1; 2]), flip([1 2; 3 4])); fprintf('%s\n', fliplr('abc'))
% expect: 3 2 1 2 1 3 1 4 2 cba
fprintf('%d ', circshift(1:5, 2), circshift(1:5, -1)); fprintf('\n')  % expect: 4 5 1 2 3 2 3 4 5 1 
disp(circshift([1 2 3; 4 5 6], 1, 2))
% expect:    3   1   2
% expect:    6   4   5
disp(rot90([1 2; 3 4]))
% expect:    2   4
% expect:    1   3
fprintf('%d ', rot90([1 2; 3 4], 2), rot90([1 2 3], -1)); fprintf('\n')  % expect: 4 2 3 1 1 2 3 
%% matrices: diag, triu, tril, nnz, sub2ind, ind2sub, meshgrid
disp(diag([1 2], 1))
% expect:    0   1   0
% expect:    0   0   2
% expect:    0   0   0
m = [1 2 3; 4 5 6; 7 8 9];
fprintf('%d ', diag(m), diag(m, -1), triu(m), tril(m, -1)); fprintf('%s\n', class(diag(int8([1 2]))))
% expect: 1 5 9 4 8 1 0 0 2 5 0 3 6 9 0 4 7 0 0 8 0 0 0 int8
fprintf('%d %d |', nnz([1 0 2 0 NaN]), nnz([])); fprintf(' %d', sub2ind([3 4], [1 2 3], [1 2 4]))
fprintf('\n')                                                      % expect: 3 0 | 1 5 12
[r, c] = ind2sub([3 4], [1 5 12]);
[i, j, k] = ind2sub([2 2 2], 7);
fprintf('%d ', r, c, i, j, k); fprintf('\n')                        % expect: 1 2 3 1 2 4 1 2 2 
[X, Y] = meshgrid(1:3, [10 20]);
fprintf('%d ', X, Y); fprintf('\n')                                 % expect: 1 1 2 2 3 3 10 20 10 20 10 20 
%% statistics along a dimension: median, mode, var, std
fprintf('%g %g %g | %g %g %g\n', median([3 1 2]), median([4 1 3 2]), median([1 NaN 3]), ...
        mode([1 2 2 3 3]), mode([5 NaN NaN 4]), median([]))       % expect: 2 2.5 NaN | 2 4 NaN
fprintf('%g ', median([1 2; 3 4; 5 6]), median([1 2; 3 4; 5 6], 2)); fprintf('\n')  % expect: 3 4 1.5 3.5 5.5 
fprintf('%.4f %.4f %.4f %g %s\n', var([1 2 3 4]), var([1 2 3 4], 1), std([2 4 4 4 5 5 7 9], 1), ...
        std(5), class(mode(int8([1 1 2]))))                         % expect: 1.6667 1.2500 2.0000 0 int8
%% a small report: words cleaned, filtered and summarised with the text and statistics built-ins
lines = {'  alpha 10  ', 'beta 7', '# comment', 'gamma 13', '  '};
names = {}; values = [];
for k = 1:numel(lines)
  line = deblank(lines{k});
  if isempty(strtrim(line)) || startsWith(strtrim(line), '#')
    continue
  end
  [name, rest] = strtok(line);
  names{end + 1} = name;
  values(end + 1) = str2double(rest);
end
[~, order] = sort(values);
fprintf('%s ', names{fliplr(order)}); fprintf('| %g %g %.3f\n', median(values), mode(values), std(values))
% expect: gamma alpha beta | 10 7 3.000
%% random whole numbers and permutations keep to their ranges; structfun maps over fields
rng(7);
r = randi(6, 1, 1000);
q = randi([-2 2], 3, 4);
p = randperm(10);
fprintf('%d %d %d %s | %d %d %d | %d %d %d\n', min(r), max(r), numel(unique(r)), class(r), ...
        size(q), all(q(:) >= -2 & q(:) <= 2), numel(p), isequal(sort(p), 1:10), ...
        numel(unique(randperm(10, 3))))        % expect: 1 6 6 double | 3 4 1 | 10 1 3
s = struct('a', 1, 'b', [2 3], 'c', 'xyz');
t = structfun(@(v) v(end), s, 'UniformOutput', false);
fprintf('%d ', structfun(@numel, s)); fprintf('| %d %d %s\n', t.a, t.b, t.c)  % expect: 1 2 3 | 1 3 z
%% narginchk and nargoutchk check the calling function's counts
[a, b] = count_checked(7, 8);
fprintf('%d %d\n', a, b)                    % expect: 1 2
calls = {{}, {1, 2, 3}};
for k = 1:2
  try, x = count_checked(calls{k}{:}); catch err, disp(err.identifier), end
end
% expect: Q:NotEnoughInputs
% expect: Q:TooManyInputs
try, count_checked(1); catch err, disp(err.identifier), end  % expect: Q:NotEnoughOutputs
try, narginchk(0, 1); catch err, disp(err.identifier), end   % expect: Q:notInFunction
%% errors made with MException are thrown and read like caught ones; regexpi ignores case
try
  throw(MException('pkg:range', 'Value %d out of [%d, %d]', 12, 0, 10));
catch err
  fprintf('%s | %s | %s\n', err.identifier, err.message, getReport(err))
end
% expect: pkg:range | Value 12 out of [0, 10] | Value 12 out of [0, 10]
try, MException('nocolon', 'x'); catch err, disp(err.identifier), end   % expect: Q:invalidInput
fprintf('%d ', regexpi('Hello HELLO', 'hello'), numel(regexpi('Hello HELLO', 'hello', 'matchcase')))
fprintf('\n')                                                            % expect: 1 7 0 
