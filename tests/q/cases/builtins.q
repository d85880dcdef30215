%% construction and shape
z = zeros(2, 3);
size(z)                                  % expect: ans = 2 3
o = ones(2, 'int8');
class(o)                                 % expect: ans = int8
eye(2)                                   % expect: ans = 1 0
% expect: 0 1
numel(linspace(0, 1, 5))                 % expect: ans = 5
repmat([1 2], 2, 2)                      % expect: ans = 1 2 1 2
% expect: 1 2 1 2
reshape(1:6, 2, 3)                       % expect: ans = 1 3 5
% expect: 2 4 6
%% size with several outputs and a dimension
A = zeros(3, 4);
[r, c] = size(A);
[r c]                                    % expect: ans = 3 4
size(A, 2)                               % expect: ans = 4
length(A)                                % expect: ans = 4
ndims(A)                                 % expect: ans = 2
%% shape predicates
[isempty([]) isscalar(5) isvector([1 2]) isrow([1; 2]) iscolumn([1; 2])]   % expect: ans = 1 1 1 0 1
%% type functions
class(int16(5))                          % expect: ans = int16
isa(5, 'double')                         % expect: ans = 1
isa(int8(5), 'numeric')                  % expect: ans = 1
[isnumeric('a') ischar('a') iscell({}) isstruct(struct()) islogical(true)]   % expect: ans = 0 1 1 1 1
[isreal(1i) isfloat(single(1)) isinteger(uint8(1))]                          % expect: ans = 0 1 1
%% conversions between classes
double('AB')                             % expect: ans = 65 66
char([72 105])                           % expect: ans = Hi
logical([2 0 -1])                        % expect: ans = 1 0 1
int8(-200)                               % expect: ans = -128
uint16(70000)                            % expect: ans = 65535
%% structs and fields
s = struct('a', 1, 'b', 'text');
fieldnames(s)'                           % expect: ans = {'a'} {'b'}
isfield(s, 'b')                          % expect: ans = 1
t = rmfield(s, 'a');
fieldnames(t)'                           % expect: ans = {'b'}
%% struct with cell values makes a struct array
s = struct('v', {10, 20, 30});
size(s)                                  % expect: ans = 1 3
s(3).v                                   % expect: ans = 30
%% cells
c = cell(1, 3);
size(c)                                  % expect: ans = 1 3
n = num2cell([1 2]);
class(n)                                 % expect: ans = cell
cell2mat({1 2; 3 4})                     % expect: ans = 1 2
% expect: 3 4
%% math
abs(-3)                                  % expect: ans = 3
sqrt(16)                                 % expect: ans = 4
sqrt(-4)                                 % expect: ans = 0 + 2i
[floor(2.7) ceil(2.2) round(2.5) fix(-2.7)]   % expect: ans = 2 3 3 -2
[mod(-1, 3) rem(-1, 3)]                  % expect: ans = 2 -1
hypot(3, 4)                              % expect: ans = 5
exp(0)                                   % expect: ans = 1
log(1)                                   % expect: ans = 0
[real(3+4i) imag(3+4i) abs(3+4i)]        % expect: ans = 3 4 5
%% reductions
sum([1 2 3])                             % expect: ans = 6
sum([1 2; 3 4])                          % expect: ans = 4 6
sum([1 2; 3 4], 2)'                      % expect: ans = 3 7
prod([1 2 3 4])                          % expect: ans = 24
cumsum([1 2 3])                          % expect: ans = 1 3 6
mean([2 4 6])                            % expect: ans = 4
[m, i] = max([3 9 2]);
[m i]                                    % expect: ans = 9 2
min([4 2 8])                             % expect: ans = 2
max([1 5], [4 2])                        % expect: ans = 4 5
%% sorting and finding
[s, i] = sort([3 1 2]);
s                                        % expect: s = 1 2 3
i                                        % expect: i = 2 3 1
sort([3 1 2], 'descend')                 % expect: ans = 3 2 1
find([0 1 0 1])                          % expect: ans = 2 4
[any([0 0 1]) all([1 1 0])]              % expect: ans = 1 0
diff([1 4 9])                            % expect: ans = 3 5
%% NaN and Inf tests
isnan([1 NaN])                           % expect: ans = 0 1
isinf([Inf 1])                           % expect: ans = 1 0
isfinite([Inf NaN 2])                    % expect: ans = 0 0 1
%% linear algebra
A = [2 1; 1 3];
det(A)                                   % expect: ans = 5
inv([2 0; 0 4])                          % expect: ans = 0.5000 0.0000
% expect: 0.0000 0.2500
trace(A)                                 % expect: ans = 5
dot([1 2 3], [4 5 6])                    % expect: ans = 32
norm([3 4])                              % expect: ans = 5
x = A \ [3; 5];
round(x' * 1000) / 1000                  % expect: ans = 0.8000 1.4000
%% text functions
num2str(3.14159)                         % expect: ans = 3.1416
num2str(42)                              % expect: ans = 42
int2str(2.7)                             % expect: ans = 3
mat2str([1 2; 3 4])                      % expect: ans = [1 2;3 4]
str2double('2.5')                        % expect: ans = 2.5000
sprintf('%d apples and %s', 3, 'pears')  % expect: ans = 3 apples and pears
sprintf('%5.1f|', [1.26 2.5])            % expect: ans = 1.3| 2.5|
%% string comparison
strcmp('abc', 'abc')                     % expect: ans = 1
strcmpi('ABC', 'abc')                    % expect: ans = 1
strncmp('abcdef', 'abcxyz', 3)           % expect: ans = 1
strcmp({'a', 'b'}, 'b')                  % expect: ans = 0 1
%% string manipulation
strfind('abcabc', 'bc')                  % expect: ans = 2 5
strrep('hello world', 'o', '0')          % expect: ans = hell0 w0rld
strtrim('  padded  ')                    % expect: ans = padded
upper('mixed Case')                      % expect: ans = MIXED CASE
lower('MIXED Case')                      % expect: ans = mixed case
strcat('a', 'b', 'c')                    % expect: ans = abc
parts = strsplit('a,b,c', ',');
numel(parts)                             % expect: ans = 3
strjoin({'x', 'y', 'z'}, '-')            % expect: ans = x-y-z
%% regular expressions
regexprep('a1b22c', '\d+', '#')          % expect: ans = a#b#c
tokens = regexp('key=value', '(\w+)=(\w+)', 'tokens');
tokens{1}{2}                             % expect: ans = value
m = regexp('one two', '\w+', 'match');
m{2}                                     % expect: ans = two
%% text concatenation with numbers makes text
s = ['abc', 65]                          % expect: s = abcA
%% concatenation of integer classes keeps the integer class
class([int8(1) 2.5])                     % expect: ans = int8
%% concatenation of cells
c = [{1}, {2, 3}];
size(c)                                  % expect: ans = 1 3
%% concatenation of struct arrays
a.x = 1; b.x = 2;
s = [a b];
[s.x]                                    % expect: ans = 1 2
%% vertical concatenation needs equal widths
[1 2; 3]                                 % expect-error: Q:catDimensions
%% strsplit merges runs of delimiters unless CollapseDelimiters is false
strjoin(strsplit('a,,b', ','), '|')                              % expect: ans = a|b
strjoin(strsplit('a,,b', ',', 'CollapseDelimiters', false), '|')  % expect: ans = a||b
strjoin(strsplit('x  y'), '|')                                   % expect: ans = x|y
%% sprintf and fprintf take the elements of all their arguments in order; empty ones add nothing
sprintf('%d-%d|', [], 1, [], 2, [3 4])  % expect: ans = 1-2|3-4|
sprintf('%s=%d;', 'a', [], 1)           % expect: ans = a=1;
sprintf('%d,', [1 2; 3 4])              % expect: ans = 1,3,2,4,
fprintf('%d:', [], 7, zeros(1, 0), 8); fprintf('\n');   % expect: 7:8:
