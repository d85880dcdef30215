%% sscanf repeats the format: integers, floating point, widths, skips, literals and sizes
[a, n] = sscanf('10 -2  +7', '%d');
fprintf('%g ', a); fprintf('| %d %d %d\n', n, size(a))             % expect: 10 -2 7 | 3 3 1
fprintf('%g ', sscanf('1.5e2 -.25 inf NaN 4x', '%f')); fprintf('\n')  % expect: 150 -0.25 Inf NaN 4 
fprintf('%g ', sscanf('12345', '%2d'), sscanf('a=1 b=2', ' %*c=%d'), sscanf('1;2;3', '%d;'))
fprintf('| %g\n', sscanf('3.7', '%d'))                             % expect: 12 34 5 1 2 1 2 3 | 3
fprintf('%g ', sscanf('1 2 3 4 5', '%d', [2 Inf]), sscanf('1 2 3 4 5', '%d', [2 2]))
fprintf('| %d %d | %g %g\n', size(sscanf('1 2 3 4 5', '%d', [2 Inf])), sscanf('1 2 3 4 5', '%d', 2))
% expect: 1 2 3 4 5 0 1 2 3 4 | 2 3 | 1 2
%% sscanf on characters: %s and %c give text, mixed formats give codes, nothing read is []
[s, n] = sscanf('hello big world', '%s');
fprintf('[%s] %s %d [%s]\n', s, class(s), n, sscanf('a b', '%c'))
% expect: [hellobigworld] char 3 [a b]
fprintf('%g ', sscanf('ab 12', '%s %d')); fprintf('| %d %d %d\n', size(sscanf('abc', '%d')), ...
        isempty(sscanf('', '%f')))                                 % expect: 97 98 12 | 0 0 1
try, sscanf('1', '%q'); catch err, disp(err.identifier), end       % expect: Q:invalidInput
%% str2num reads numeric literal matrices only and never evaluates code
x = str2num('[1 -2.5, 3e2; 4 5 6]');
fprintf('%g ', x); fprintf('| %d %d\n', size(x))                   % expect: 1 4 -2.5 5 300 6 | 2 3
[y, ok] = str2num(sprintf('1 2\n3 4'));
[z, ok2] = str2num('1 2; 3');
[w, ok3] = str2num('disp(1)');
fprintf('%d %d %d %d %d %d %d\n', numel(y), y(2, 1), ok, isempty(z), ok2, isempty(w), ok3)
% expect: 4 3 1 1 0 1 0
t = str2num('true, false');
fprintf('%s %d %d | %g %g | %d\n', class(t), t, str2num('-Inf NaN'), isempty(str2num('1,,2')))
% expect: logical 1 0 | -Inf NaN | 1
%% isstrprop classifies characters; strjust moves the blanks of each row
s = ['Ab1 ,_' char([233 9])];
cats = {'alpha', 'digit', 'alphanum', 'wspace', 'upper', 'lower', 'punct', 'cntrl', 'xdigit'};
for k = 1:numel(cats), fprintf('%d', isstrprop(s, cats{k})); fprintf(' '); end; fprintf('\n')
% expect: 11000010 00100000 11100010 00010001 10000000 01000010 00001100 00000001 11100000 
c = isstrprop({'a1', 'B'}, 'upper');
fprintf('%s %d%d %d | %d%d%d%d\n', class(c), c{1}, c{2}, isstrprop(['ab'; '12'], 'digit'))
% expect: cell 00 1 | 0101
m = ['a  '; ' bc'; ' d '];
r = strjust(m); l = strjust(m, 'left'); c = strjust(m, 'center');
for k = 1:3, fprintf('[%s|%s|%s]', r(k, :), l(k, :), c(k, :)); end; fprintf('\n')
% expect: [  a|a  | a ][ bc|bc |bc ][  d|d  | d ]
try, isstrprop('a', 'vowel'); catch err, disp(err.identifier), end  % expect: Q:invalidInput
%% cast converts values like the class functions; typecast reinterprets the bytes
fprintf('%d ', cast([300 -5 2.5], 'uint8'), cast(-2.5, 'int16'), cast(200, 'int8'))
fprintf('%s\n', class(cast(int8(7), 'single')))                    % expect: 255 0 3 -3 127 single
fprintf('%d ', typecast(uint8([1 0 0 0]), 'uint32'), typecast(single(1), 'uint32'), ...
        typecast(uint16([1 256]), 'uint8'), typecast(int8(-1), 'uint8'))
fprintf('| %d %d %s\n', size(typecast(uint8([1; 2; 3; 4]), 'uint16')), ...
        class(typecast(uint16([1 256]), 'uint8')))
% expect: 1 1065353216 1 0 0 1 255 | 2 1 uint8
try, typecast(uint8([1 2 3]), 'uint16'); catch err, disp(err.identifier), end
% expect: Q:invalidInput
%% magic squares, nextpow2, factor, perms and ipermute
fprintf('%d ', magic(3)', magic(4)'); fprintf('\n')
% expect: 8 1 6 3 5 7 4 9 2 16 2 3 13 5 11 10 8 9 7 6 12 4 14 15 1 
for n = 3:8
  M = magic(n); s = n * (n^2 + 1) / 2;
  fprintf('%d', all(sum(M) == s) && all(sum(M, 2) == s) && sum(diag(M)) == s && ...
          sum(diag(fliplr(M))) == s && isequal(sort(M(:))', 1:n^2))
end
fprintf(' | %d %d %d %d %d %d\n', magic(2)', magic(1), isempty(magic(0)))
% expect: 111111 | 4 3 1 2 1 1
fprintf('%g ', nextpow2([0 1 2 3 4 5 1000 -7 0.3 0.25])); fprintf('\n')
% expect: 0 0 1 2 2 3 10 3 -1 -2 
fprintf('%d ', factor(60), factor(97), factor(1001), factor(1), factor(0), factor(2^31 - 1))
fprintf('\n')                                    % expect: 2 2 3 5 97 7 11 13 1 0 2147483647 
try, factor(2.5); catch err, disp(err.identifier), end             % expect: Q:invalidInput
p = perms('ab');
fprintf('%d ', perms([1 2 3])'); fprintf('| %s %s | %d %d\n', p(1, :), p(2, :), size(perms(1:5)))
% expect: 3 2 1 3 1 2 2 3 1 2 1 3 1 3 2 1 2 3 | ba ab | 120 5
try, perms(1:11); catch err, disp(err.identifier), end             % expect: Q:invalidInput
A = reshape(1:24, 2, 3, 4);
C = ipermute(A, [2 3 1]);
fprintf('%d %d %d | %d %d | %d\n', size(C), C(4, 2, 3), C(1, 2, 1), ...
        isequal(ipermute(permute(A, [3 1 2]), [3 1 2]), A))      % expect: 4 2 3 | 24 2 | 1
%% a small program: reading key=value records with sscanf and checking the keys with regexp
records = {'x=3.5 y=-2 z=1e3', 'x=1 y=4 z=-0.5', 'bad record'};
total = zeros(3, 1); good = 0;
for k = 1:numel(records)
  [v, n] = sscanf(records{k}, 'x=%f y=%f z=%f');
  if n == 3
    total = total + v; good = good + 1;
  end
end
keys = regexp(records{1}, '(\w)=', 'tokens');
fprintf('%s', keys{1}{1}, keys{2}{1}, keys{3}{1}); fprintf(' %d %g %g %g\n', good, total)
% expect: xyz 2 4.5 2 999.5
