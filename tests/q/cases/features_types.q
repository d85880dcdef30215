%% class of literals and of common results
fprintf('%s %s %s %s %s\n', class(1), class('a'), class(true), class({}), class(struct()));   % expect: double char logical cell struct
fprintf('%s %s %s\n', class(1 == 1), class(@sin), class(int8(1)));   % expect: logical function_handle int8
%% logical conversion refuses NaN and accepts any other number
disp(logical([2 0 -1]))                   % expect: 1 0 1
logical(NaN)                              % expect-error: Q:NaNToLogical
%% double of text gives the codes, char of codes gives the text
disp(double('AZ'))                        % expect: 65 90
disp(char([81 45 99]))                    % expect: Q-c
%% conversions of cells and structs to numbers are errors
double({1})                               % expect-error: Q:invalidConversion
%% a struct cannot be converted either
int8(struct('a', 1))                      % expect-error: Q:invalidConversion
%% true and false make logical arrays of any size
t = true(2, 3);
fprintf('%s %d %d\n', class(t), numel(t), all(t(:)));   % expect: logical 6 1
disp(size(false(0, 2)))                   % expect: 0 2
%% logical arrays index and count
m = logical([1 0 1 1]);
v = [10 20 30 40];
disp(v(m))                                % expect: 10 30 40
disp(sum(m))                              % expect: 3
disp(class(m & true))                     % expect: logical
%% the not operator on numbers gives logical
r = ~[0 3];
fprintf('%s %s\n', class(r), mat2str(r));   % expect: logical [true false]
%% zeros and ones with a class name
a = zeros(1, 2, 'int16');
b = ones(2, 'uint8');
fprintf('%s %s %d\n', class(a), class(b), numel(b));   % expect: int16 uint8 4
e = eye(2, 'logical');
disp(class(e))                            % expect: logical
%% single values and mixed arithmetic
s = single(0.1);
fprintf('%s %d\n', class(s + 0.1), s == 0.1);   % expect: single 0
fprintf('%s\n', class(double(s)));        % expect: double
%% complex numbers: parts, conjugate, magnitude and angle
z = 3 + 4i;
fprintf('%g %g %g %g\n', real(z), imag(z), abs(z), angle(1i) * 2 / pi);   % expect: 3 4 5 1
w = conj(z);
fprintf('%g %g\n', real(w), imag(w));     % expect: 3 -4
fprintf('%d %d\n', isreal(z), isreal(z * conj(z)));   % expect: 0 1
%% complex arithmetic
z = (1 + 2i) * (3 - 1i);
fprintf('%g %g\n', real(z), imag(z));     % expect: 5 5
z = (1i)^2;
fprintf('%g %g\n', real(z), imag(z));     % expect: -1 0
%% the transpose of a complex matrix conjugates, the dot transpose does not
z = [1 + 1i, 2];
a = z';
b = z.';
fprintf('%g %g\n', imag(a(1)), imag(b(1)));   % expect: -1 1
%% isnumeric, ischar, islogical, iscell, isstruct and isa
v = {1, 'a', true, {}, struct(), int8(1), @sin};
fprintf('%d', cellfun(@isnumeric, v)); fprintf('\n');   % expect: 1000010
fprintf('%d', cellfun(@islogical, v)); fprintf('\n');   % expect: 0010000
fprintf('%d', cellfun(@(x) isa(x, 'function_handle'), v)); fprintf('\n');   % expect: 0000001
%% isreal, isfloat, isinteger
fprintf('%d %d %d %d\n', isreal(1), isreal(1i), isfloat(1), isinteger(int64(1)));   % expect: 1 0 1 1
%% isempty, isscalar, isvector, isrow and iscolumn
x = zeros(1, 0);
fprintf('%d %d %d %d %d\n', isempty(x), isscalar(5), isvector([1 2]), isrow([1; 2]), iscolumn([1; 2]));   % expect: 1 1 1 0 1
fprintf('%d %d\n', isvector(ones(2)), isscalar([]));   % expect: 0 0
%% isequal across classes compares values
fprintf('%d %d %d %d\n', isequal(int8(1), 1), isequal('a', 97), isequal(true, 1), isequal([1 2], [1 2]'));   % expect: 1 1 1 0
fprintf('%d %d\n', isequal(NaN, NaN), isequal([], zeros(0, 0)));   % expect: 0 1
disp(isequal(1, 1, 1))                    % expect: 1
%% num2cell, cell2mat and struct round trips
c = num2cell(int8([1 2 3]));
disp(class(c{1}))                         % expect: int8
m = cell2mat(c);
disp(class(m))                            % expect: int8
%% a char matrix holds rows of equal length
c = ['ab'; 'cd'];
disp(size(c))                             % expect: 2 2
disp(c(2, :))                             % expect: cd
%% rows of different lengths cannot be stacked with brackets
c = ['ab'; 'c'];                          % expect-error: Q:catDimensions
%% concatenating text with numbers gives text
s = ['a', 66, 'c'];
fprintf('%s %s\n', class(s), s);          % expect: char aBc
%% concatenating logical with double gives double
c = [true, 2];
disp(class(c))                            % expect: double
disp(class([true, false]))                % expect: logical
%% empty operands in concatenation
disp(size([[], 1, []]))                   % expect: 1 1
disp(class(['', 'ab']))                   % expect: char
disp(size([zeros(1, 0), 1:2]))            % expect: 1 2
%% a cell among the operands makes a cell
c = [{1}, 2];
fprintf('%s %d\n', class(c), numel(c));   % expect: cell 2
%% size of results and of empties
disp(size(zeros(3, 0)'))                  % expect: 0 3
disp(size(''))                            % expect: 0 0
disp(size({}))                            % expect: 0 0
disp(size(struct()))                      % expect: 1 1
%% function handles are not concatenated into arrays
x = [@sin, @cos];                         % expect-error: Q:invalidInput
