%% bit operations on whole numbers: and, or, xor, shifts, result classes and class widths
fprintf('%d %d %d |', bitand(12, 10), bitor(12, 10), bitxor(12, 10));
fprintf(' %d', bitand([5 6 7], 3))
fprintf('\n')                                                      % expect: 8 14 6 | 1 2 3
fprintf('%s %s %d %d %d\n', class(bitor(uint8(1), 2)), class(bitxor(3, 1)), bitshift(1, 3), ...
        bitshift(16, -2), bitshift(uint8(255), 1))                 % expect: uint8 double 8 4 254
fprintf('%d %.0f %.0f\n', bitshift(int8(100), 1), bitshift(2^52, 1), bitshift(3, 52))
% expect: 72 0 4503599627370496
try, bitand(-1, 3), catch err, disp(err.identifier), end
% expect: Q:invalidInput
try, bitor(1.5, 1), catch err, disp(err.identifier), end
% expect: Q:invalidInput
%% number bases: dec2bin, dec2hex, bin2dec, hex2dec
fprintf('%s %s %s %s %s\n', dec2bin(10), dec2bin(5, 8), dec2bin(0), dec2hex(255), dec2hex(26, 4))
% expect: 1010 00000101 0 FF 001A
m = dec2bin([1 2 5]);
fprintf('%d %d: %s %s %s\n', size(m), m(1, :), m(2, :), m(3, :))  % expect: 3 3: 001 010 101
fprintf('%d ', bin2dec('1010'), bin2dec('1 0 1'), bin2dec({'11', '100'}), hex2dec('ff'), ...
        hex2dec({'1A'; 'FFFF'})); fprintf('\n')                     % expect: 10 5 3 4 255 26 65535 
try, bin2dec('102'), catch err, disp(err.identifier), end
% expect: Q:invalidInput
try, hex2dec('G1'), catch err, disp(err.identifier), end
% expect: Q:invalidInput
try, dec2bin(-1), catch err, disp(err.identifier), end
% expect: Q:invalidInput
%% roots, logarithms near one and angle units
fprintf('%g %g %g %s\n', nthroot(27, 3), nthroot(-8, 3), nthroot(16, 4), ...
        class(nthroot(single(8), 3)))
% expect: 3 -2 2 single
fprintf('%.12e %.12e %g\n', log1p(1e-10), expm1(1e-10), log1p(0))
% expect: 9.999999999500e-11 1.000000000050e-10 0
fprintf('%g %g %.6f %s\n', rad2deg(pi), rad2deg(pi / 2), deg2rad(90), class(deg2rad(single(180))))
% expect: 180 90 1.570796 single
try, nthroot(-16, 4), catch err, disp(err.identifier), end
% expect: Q:invalidInput
%% structs and cells: struct2cell, cell2struct, getfield, setfield, orderfields
s = struct('b', 2, 'a', 'x');
c = struct2cell(s);
fprintf('%d %d %d %s | %d %d %d\n', size(c), c{1}, c{2}, size(struct2cell(struct('p', {1, 2}))))
% expect: 2 1 2 x | 1 1 2
t = cell2struct({1, 'p'; 2, 'q'}, {'n', 'name'}, 2);
u = cell2struct({1 2 3; 'a' 'b' 'c'}, {'k', 'v'}, 1);
fprintf('%d %d %d %s | %d %d %d %s\n', size(t), t(2).n, t(2).name, size(u), u(3).k, u(3).v)
% expect: 2 1 2 q | 3 1 3 c
s2 = setfield(s, 'c', 5);
fprintf('%d %s %d %d |', getfield(s, 'b'), strjoin(fieldnames(s2)', ','), s2.c, isfield(s, 'c'))
[o, p] = orderfields(s); fprintf(' %s', strjoin(fieldnames(o)', ','), o.a); fprintf(' %d', p)
fprintf('\n')                                                      % expect: 2 b,a,c 5 0 | a,b x 2 1
try, getfield(s, 'zz'), catch err, disp(err.identifier), end
% expect: Q:nonExistentField
try, cell2struct({1, 2}, {'a'}, 2), catch err, disp(err.identifier), end
% expect: Q:sizeMismatch
%% file names: fullfile, fileparts and the separators
fprintf('%s %s %s\n', fullfile('a', 'b', 'c.txt'), fullfile('a/', '/b', '', 'c'), ...
        fullfile('/', 'x'))
% expect: a/b/c.txt a/b/c /x
paths = {'/home/user/data.tar.gz', '/x.m', '.bashrc', 'notes'};
for i = 1:numel(paths)
  [d, n, e] = fileparts(paths{i}); fprintf('%s ', ['[' d '|' n '|' e ']']);
end
fprintf('\n')  % expect: [/home/user|data.tar|.gz] [/|x|.m] [|.bashrc|] [|notes|] 
fprintf('%s %s %d\n', filesep, pathsep, double(newline))           % expect: / : 10
%% shape and order tests: ismatrix, issorted, isequaln
fprintf('%d', ismatrix(ones(2, 3)), ismatrix(ones(2, 2, 2)), issorted([1 2 2 3]), ...
        issorted([3 1]), issorted([1 2 NaN]), issorted([NaN 1]), issorted([]));
fprintf('\n')                                                      % expect: 1010101
fprintf('%d', isequaln([1 NaN], [1 NaN]), isequal([1 NaN], [1 NaN]), ...
        isequaln({NaN, 'a'}, {NaN, 'a'}), isequaln([1 2], [1 2 3]), ...
        isequaln(struct('a', NaN), struct('a', NaN)), isequaln(1, 1, 2))
fprintf('\n')                                                      % expect: 101010
%% packing flags into a byte and reading them back
flags = [1 0 1 1];
b = uint8(0);
for k = 1:numel(flags)
  if flags(k), b = bitor(b, bitshift(uint8(1), k - 1)); end
end
fprintf('%d %s %s %d %d\n', b, dec2bin(b, 8), dec2hex(b, 2), bitand(b, 4) > 0, bitxor(b, 4))
% expect: 13 00001101 0D 1 9
%% a record from a cell, listed with its fields in name order
r = orderfields(cell2struct({'Ann'; 42; 'Oslo'}, {'name', 'age', 'city'}, 1));
f = fieldnames(r);
for i = 1:numel(f)
  v = getfield(r, f{i});
  if ischar(v), fprintf('%s=%s ', f{i}, v); else, fprintf('%s=%d ', f{i}, v); end
end
fprintf('\n')                                              % expect: age=42 city=Oslo name=Ann 
