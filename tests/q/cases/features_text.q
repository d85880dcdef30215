%% sprintf flags, widths and precisions
disp(sprintf('[%5d][%-5d][%05d]', 42, 42, 42))   % expect: [ 42][42 ][00042]
disp(sprintf('[%+d][% d][%+.1f]', 3, 3, -0.25))   % expect: [+3][ 3][-0.2]
disp(sprintf('[%8.3f][%-8.2e]', pi, 12345.678))   % expect: [ 3.142][1.23e+04]
disp(sprintf('%x %X %o %#x', 255, 255, 8, 255))   % expect: ff FF 10 0xff
%% sprintf widths and precisions from arguments
disp(sprintf('[%*d]', 6, 7))              % expect: [ 7]
disp(sprintf('[%.*f]', 2, pi))            % expect: [3.14]
disp(strrep(sprintf('[%-*s]', 4, 'ab'), ' ', '_'))   % expect: [ab__]
%% sprintf repeats its format over the values, column by column
disp(sprintf('%d:%d,', [1 2; 3 4]))       % expect: 1:3,2:4,
disp(sprintf('%s=%d;', 'a', 1, 'b', 2))   % expect: a=1;b=2;
%% sprintf stops at the first conversion without a value
disp(sprintf('%d and %d and %d', 1, 2))   % expect: 1 and 2 and
%% sprintf without any value writes the format once with empty conversions
disp(['[', sprintf('x%dy'), ']'])         % expect: [xy]
%% sprintf of a non-integer with %d uses an exponent form
disp(sprintf('%d', 2.5))                  % expect: 2.500000e+00
disp(sprintf('%d', 1e10))                 % expect: 10000000000
%% sprintf of text with %d prints the character codes
disp(sprintf('%d ', 'AB'))                % expect: 65 66
disp(sprintf('%s', [72 105]))             % expect: Hi
%% sprintf of special values
disp(sprintf('%d %f %g', Inf, -Inf, NaN))  % expect: Inf -Inf NaN
disp(sprintf('[%5.1f]', NaN))             % expect: [ NaN]
%% sprintf of logical and integer classes
disp(sprintf('%d %d %d', true, int8(-5), uint16(600)))   % expect: 1 -5 600
disp(sprintf('%.2f', int32(7)))           % expect: 7.00
%% sprintf escapes
s = sprintf('a\tb\\n%%');
disp(double(s(2)))                        % expect: 9
disp(s(4:end))                            % expect: \n%
%% %g chooses fixed or exponent form
disp(sprintf('%g|%g|%g|%g|%g', 0.5, 123456, 1234567, 1e-5, 2))   % expect: 0.5|123456|1.23457e+06|1e-05|2
disp(sprintf('%.3g|%.10g', pi, 1/3))      % expect: 3.14|0.3333333333
%% fprintf writes a list of values through one format
fprintf('%d-', 1:4); fprintf('\n');       % expect: 1-2-3-4-
fprintf('%s|%s\n', 'ab', 'cd');           % expect: ab|cd
%% num2str of integers, reals and matrices
disp(num2str(42))                         % expect: 42
disp(num2str(-3.75))                      % expect: -3.75
disp(num2str(pi))                         % expect: 3.1416
disp(num2str(100.5))                      % expect: 100.5
disp(num2str(1e-5))                       % expect: 1e-05
disp(num2str([1 2 3]))                    % expect: 1 2 3
%% num2str with a precision and with a format
disp(num2str(pi, 8))                      % expect: 3.1415927
disp(num2str(2/3, 3))                     % expect: 0.667
disp(num2str(7, '%03d'))                  % expect: 007
disp(num2str(1.5, '%.3f'))                % expect: 1.500
%% num2str of text is the text, of logical a digit
disp(num2str('abc'))                      % expect: abc
disp(num2str(true))                       % expect: 1
%% int2str rounds half away from zero
disp([int2str(2.5), ' ', int2str(-2.5), ' ', int2str(2.4)])   % expect: 3 -3 2
%% mat2str of matrices, texts and logicals
disp(mat2str([1 2; 3 4]))                 % expect: [1 2;3 4]
disp(mat2str([0.5 -1]))                   % expect: [0.5 -1]
disp(mat2str(pi, 4))                      % expect: 3.142
disp(mat2str([true false]))               % expect: [true false]
disp(mat2str('a''b'))                     % expect: 'a''b'
disp(mat2str([]))                         % expect: []
disp(mat2str(int16([1 -2]), 'class'))     % expect: int16([1 -2])
%% str2double of numbers, blanks, signs, exponents and thousands separators
disp(str2double('  3.5 '))                % expect: 3.5000
disp(str2double('-1e3'))                  % expect: -1000
disp(str2double('1,234'))                 % expect: 1234
disp(str2double('+.5'))                   % expect: 0.5000
%% str2double of text that is not a number is NaN
disp(isnan(str2double('12abc')))          % expect: 1
disp(isnan(str2double('')))               % expect: 1
disp(isnan(str2double(5)))                % expect: 1
%% str2double of a cell gives an array
disp(str2double({'1', 'x', '2.5'}))       % expect: 1.0000 NaN 2.5000
%% strsplit merges runs of delimiters unless told not to
c = strsplit('a,,b', ',');
disp(numel(c))                            % expect: 2
c = strsplit('a,,b', ',', 'CollapseDelimiters', false);
disp(numel(c))                            % expect: 3
disp(isempty(c{2}))                       % expect: 1
%% strsplit on whitespace and on several delimiters
c = strsplit(sprintf(' a\tb  c '));
disp(numel(c))                            % expect: 5
c = strsplit('k=v;x=y', {'=', ';'});
disp(strjoin(c, '|'))                     % expect: k|v|x|y
%% strjoin with a default, a given and an escaped delimiter
disp(strjoin({'a', 'b', 'c'}))            % expect: a b c
disp(strjoin({'a', 'b'}, ', '))           % expect: a, b
s = strjoin({'a', 'b'}, '\n');
disp(double(s(2)))                        % expect: 10
%% strrep replaces every occurrence, left to right without overlap
disp(strrep('aaa', 'aa', 'b'))            % expect: ba
disp(strrep('the cat sat', 'at', 'og'))   % expect: the cog sog
disp(strrep('abc', 'x', 'y'))             % expect: abc
%% strrep over a cell of texts
c = strrep({'a-b', 'c-d-e'}, '-', '+');
disp(strjoin(c, ' '))                     % expect: a+b c+d+e
%% strtrim removes leading and trailing white space only
disp(['[', strtrim(sprintf(' \t a b \n ')), ']'])   % expect: [a b]
%% upper and lower leave other characters alone
disp(upper('abc-xyz 12'))                 % expect: ABC-XYZ 12
disp(lower('MiXeD'))                      % expect: mixed
%% strcmp and strcmpi compare whole texts
fprintf('%d %d %d %d\n', strcmp('a', 'a'), strcmp('a', 'ab'), strcmpi('ABC', 'abc'), strcmp('1', 1));   % expect: 1 0 1 0
%% strncmp and strncmpi compare prefixes
fprintf('%d %d %d\n', strncmp('hello', 'help', 3), strncmp('hello', 'help', 4), strncmpi('HELlo', 'helium', 3));   % expect: 1 0 1
%% strfind gives overlapping match positions
disp(strfind('abababa', 'aba'))           % expect: 1 3 5
disp(isempty(strfind('abc', 'z')))        % expect: 1
%% strcat trims trailing blanks of char arguments but not of cells
disp(['[', strcat('a ', 'b '), ']'])      % expect: [ab]
c = strcat({'a '}, 'b');
disp(['[', c{1}, ']'])                    % expect: [a b]
%% char arithmetic and conversions
disp(char('a' + 1))                       % expect: b
disp(double('0'))                         % expect: 48
disp('7' - '0')                           % expect: 7
disp(class(['a', 66]))                    % expect: char
%% char stacks rows, padding them with blanks
c = char('ab', 'c');
disp(size(c))                             % expect: 2 2
disp(double(c(2, 2)))                     % expect: 32
%% comparing texts of one length with == gives a mask
disp('abc' == 'abd')                      % expect: 1 1 0
disp(sum('hello' == 'l'))                 % expect: 2
%% texts of different lengths cannot be compared with ==
'ab' == 'abc'                             % expect-error: Q:sizeMismatch
%% a text indexed, reversed and searched
s = 'programming';
disp(s(end:-1:1))                         % expect: gnimmargorp
disp(s([1 end]))                          % expect: pg
disp(find(s == 'm'))                      % expect: 7 8
%% ischar, isempty and size of texts
fprintf('%d %d %d\n', ischar('a'), ischar({'a'}), isempty(''));   % expect: 1 0 1
disp(size('hello'))                       % expect: 1 5
