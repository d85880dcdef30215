%% fft: an impulse, four points, padding, truncation, columns and the dimension argument
X = fft([1 0 0 0]);
fprintf('%g ', X, isreal(X)); fprintf('\n')                         % expect: 1 1 1 1 1
X = fft([1 2 3 4]);
fprintf('%g%+gi ', [real(X); imag(X)]); fprintf('\n')
% expect: 10+0i -2+2i -2+0i -2-2i
X = fft([1 2], 4);
fprintf('%g%+gi ', [real(X); imag(X)]); fprintf('\n')               % expect: 3+0i 1-2i -1+0i 1+2i
fprintf('%g ', fft([1 2 3 4], 2), fft([1 2; 3 4]), size(fft([1; 2; 3]))); fprintf('\n')
% expect: 3 -1 4 -2 6 -2 3 1
fprintf('%g ', fft([1; 2], [], 2), fft([1 2; 3 4], [], 2), size(fft([])), size(fft(1, 0)))
fprintf('\n')                                                      % expect: 1 2 3 7 -1 -1 0 0 0 1
%% fft of lengths that are not powers of two, checked against the sum that defines it
X = fft([1 2 3]);
fprintf('%.6f %.6f ', [real(X); imag(X)]); fprintf('\n')
% expect: 6.000000 0.000000 -1.500000 0.866025 -1.500000 -0.866025
inputs = {[2 -1 0.5 3 1.25 -4], [1 -2 3 0.5 7 -1 2], (1:12) .^ 2, [3i 1-2i 4 0 -1]};
for c = 1:numel(inputs)
  v = inputs{c}; n = numel(v); D = zeros(1, n);
  for k = 1:n
    for j = 1:n
      D(k) = D(k) + v(j) * exp(-2i * pi * (j - 1) * (k - 1) / n);
    end
  end
  fprintf('%d %d ', n, max(abs(fft(v) - D)) < 1e-9 * max(1, max(abs(D))));
end
fprintf('\n')                                                       % expect: 6 1 7 1 12 1 5 1
M = [1 2 3; 4 5 6];
fprintf('%d ', max(max(abs(fft(M, [], 2) - [fft(M(1, :)); fft(M(2, :))]))) < 1e-12)
fprintf('%d\n', max(abs(fft([1 2 3 4 5], 7) - fft([1 2 3 4 5 0 0]))) < 1e-12)  % expect: 1 1
%% ifft: round trips, real results of conjugate-symmetric input, the 'symmetric' option
x = [2 -1 0.5 3 1.25];
y = ifft(fft(x));
fprintf('%d %d ', isreal(y), max(abs(y - x)) < 1e-12)
z = [1+2i, 3, -1i, 4 - 0.5i, 2];
w = ifft(fft(z));
fprintf('%d %d\n', isreal(w), max(abs(w - z)) < 1e-12)            % expect: 1 1 0 1
y = ifft([10, -2+2i, -2, -2-2i]);
fprintf('%g ', y, isreal(y)); fprintf('\n')                         % expect: 1 2 3 4 1
y = ifft([1 2 3]);
fprintf('%.6f %d ', real(y(1)), abs(imag(y(1))) < 1e-15)
fprintf('%.6f %.6f ', [real(y(2:3)); imag(y(2:3))]); fprintf('\n')
% expect: 2.000000 1 -0.500000 -0.288675 -0.500000 0.288675
fprintf('%g ', ifft([1 2 3], 'symmetric'), ifft([4 0 0 0], 2)); fprintf('\n')
% expect: 2 -0.5 -0.5 2 2
%% fft2 and ifft2: along the columns then the rows, sizes, round trips
X = fft2([1 2; 3 4]);
fprintf('%g ', X, isreal(ifft2(X)), ifft2(X)); fprintf('\n')        % expect: 10 -4 -2 0 1 1 3 2 4
F = fft2(ones(2), 3, 4);
fprintf('%g ', size(F), F(1, 1), fft2([1 2; 3 4], 1, 1))
fprintf('\n')                                                       % expect: 3 4 4 1
A = magic(4); A = A(1:3, :);
B = ifft2(fft2(A));
fprintf('%d %d\n', isreal(B), max(max(abs(B - A))) < 1e-12)         % expect: 1 1
%% fft and ifft refuse bad lengths, dimensions, options and classes
try, fft({1}), catch e, disp(e.identifier), end                     % expect: Q:invalidInput
try, fft(1, -1), catch e, disp(e.identifier), end                   % expect: Q:invalidInput
try, fft(1, 2^31 + 1), catch e, disp(e.identifier), end             % expect: Q:invalidInput
try, fft(1, 2.5), catch e, disp(e.identifier), end                  % expect: Q:invalidInput
try, fft(1, 2, 0), catch e, disp(e.identifier), end                 % expect: Q:invalidDimension
try, ifft(1, 'odd'), catch e, disp(e.identifier), end               % expect: Q:invalidInput
try, fft2(1, 2), catch e, disp(e.identifier), end                   % expect: Q:invalidInput
%% spline: a cubic is reproduced exactly, inside and beyond the points
f = @(t) t .^ 3 - 2 * t .^ 2 + 3;
x = [0 1 2.5 3 4 6];
xx = [0.5 2 3.7 5.5 -1 7];
fprintf('%.6f ', spline(x, f(x), [0.5 -0.5 7])); fprintf('\n')
% expect: 2.625000 2.375000 248.000000
fprintf('%d\n', max(abs(spline(x, f(x), xx) - f(xx))) < 1e-10)      % expect: 1
%% spline: two points give the line, three the parabola; end slopes, decreasing x, shapes
fprintf('%g ', spline([0 2], [1 5], [1 3]), spline([0 1 3], [0 1 9], [2 -1])); fprintf('\n')
% expect: 3 7 4 1
fprintf('%.6f ', spline([0 1 2], [0 0 1 8 12], [0.5 1.5])); fprintf('\n')
% expect: 0.125000 3.375000
s = spline([3 1 0], [9 1 0], [2 1; 0.5 NaN]);
fprintf('%g ', s, size(s)); fprintf('\n')                           % expect: 4 0.25 1 NaN 2 2
try, spline([0 1 1], [1 2 3], 0.5), catch e, disp(e.identifier), end  % expect: Q:invalidInput
try, spline([0 1], [1 2 3], 0.5), catch e, disp(e.identifier), end  % expect: Q:invalidInput
%% pchip: the harmonic-mean slopes, flat stretches stay flat, monotone data stays monotone
fprintf('%.6f ', pchip([0 1 2], [0 1 3], [0.5 1.5]), pchip([0 1 3], [0 2 3], [0.5 2]))
fprintf('\n')                                       % expect: 0.395833 1.854167 1.205357 2.714286
fprintf('%g ', pchip([0 1 2 3], [1 1 2 2], [0.5 1.25 1.5 2.5])); fprintf('\n')
% expect: 1 1.15625 1.5 2
x = [0 1 2 3 4]; y = [0 0.1 0.2 5 5.1]; xx = linspace(0, 4, 401);
fprintf('%d %d\n', all(diff(pchip(x, y, xx)) >= 0), any(diff(spline(x, y, xx)) < 0))
% expect: 1 1
%% interp1 with 'spline', 'pchip' and 'cubic': the same curves, NaN outside unless 'extrap'
x = [0 1 2]; y = [0 1 3];
fprintf('%.6f ', interp1(x, y, [0.5 1.5], 'pchip'), interp1(x, y, 0.5, 'cubic')); fprintf('\n')
% expect: 0.395833 1.854167 0.395833
fprintf('%g ', interp1([0 1 3], [0 1 9], [2 -1 4], 'spline'), ...
        interp1([0 1 3], [0 1 9], [-1 4], 'spline', 'extrap'), ...
        interp1([3 1 0], [9 1 0], 2, 'spline')); fprintf('\n')    % expect: 4 NaN NaN 1 16 4
%% interp2: bilinear on the grid, nearest, outside points, coordinates and grids of queries
Z = [1 2 3; 4 5 6];
fprintf('%g ', interp2(Z, 1.5, 1.5), interp2(Z, [1.5 2.5], [1 2]), interp2(Z, 4, 1)); fprintf('\n')
% expect: 3 1.5 5.5 NaN
fprintf('%g ', interp2([0 0; 0 1], [1.5 1.25], 1.5), interp2(Z, 1.4, 1.6, 'nearest'))
fprintf('\n')                                                       % expect: 0.25 0.125 4
fprintf('%g ', interp2([0 10 20], [0; 1], Z, 5, 0.5), interp2(Z, [1 3], [1; 2])); fprintf('\n')
% expect: 3 1 4 3 6
[X, Y] = meshgrid([0 10 20], [0 1]);
fprintf('%g ', interp2(X, Y, Z, [15 20 21], [1 0 0], 'nearest')); fprintf('\n')  % expect: 6 3 NaN
try, interp2(Z, [1 2], [1 2 1]), catch e, disp(e.identifier), end   % expect: Q:sizeMismatch
try, interp2(Z, 1, 1, 'cubic'), catch e, disp(e.identifier), end   % expect: Q:invalidInput
%% erfinv and erfcinv: special values, round trips through erf and erfc, classes
fprintf('%g ', erfinv([0 1 -1 1.5 NaN]), erfcinv([1 0 2 -0.5])); fprintf('\n')
% expect: 0 Inf -Inf NaN NaN 0 Inf -Inf NaN
fprintf('%.10f\n', erfinv(0.5))                                     % expect: 0.4769362762
x = [-0.999 -0.5 1e-9 0.1 0.9 0.999999];
fprintf('%d ', max(abs(erf(erfinv(x)) - x)) < 1e-15, max(abs(erfinv(-x) + erfinv(x))) == 0)
y = [-2 0.5 3 10 25];
fprintf('%d ', max(abs(erfcinv(erfc(y)) - y) ./ abs(y)) < 1e-14)
fprintf('%s %d %d\n', class(erfinv(single(0.5))), size(erfcinv(zeros(2, 3))))
% expect: 1 1 1 single 2 3
try, erfinv(int8(1)), catch e, disp(e.identifier), end              % expect: Q:invalidInput
try, erfcinv(1i), catch e, disp(e.identifier), end                  % expect: Q:invalidInput
%% cumtrapz: unit spacing, given points, matrices along the first dimension
fprintf('%g ', cumtrapz([1 2 3]), cumtrapz([0 1 3], [1 2 3]), cumtrapz(5)); fprintf('\n')
% expect: 0 1.5 4 0 1.5 6.5 0
c = cumtrapz([1 2; 3 4; 5 6]);
fprintf('%g ', c, size(c), c(end, :) - trapz([1 2; 3 4; 5 6])); fprintf('\n')
% expect: 0 2 6 0 3 8 3 2 0 0
try, cumtrapz([1 2], [1 2 3]), catch e, disp(e.identifier), end     % expect: Q:invalidInput
%% reductions with 'all': the whole array as one column
A = [1 2; 3 4];
fprintf('%g ', sum(A, 'all'), prod(A, 'all'), mean(A, 'all'), sum(ones(2, 3, 4), 'all'))
fprintf('\n')                                                       % expect: 10 24 2.5 24
[m, i] = max(A, [], 'all'); [n, j] = min([5 2; 1 7], [], 'all');
fprintf('%g ', m, i, n, j, any(A > 3, 'all'), all(A > 0, 'all'), all(A > 1, 'all'))
fprintf('\n')                                                       % expect: 4 4 1 2 1 1 0
s = sum(int8([100 100; -100 0]), 'all');
fprintf('%s %d | %g %g %d %d %d\n', class(s), s, sum(zeros(0, 3), 'all'), ...
        size(max([], [], 'all')), any([], 'all'), all(zeros(0, 2), 'all'))
% expect: int8 100 | 0 0 0 0 1
%% 'omitnan' and 'includenan': sums and means leave NaN out, max and min let it win
x = [1 NaN 3];
fprintf('%g ', sum(x), sum(x, 'omitnan'), mean(x, 'omitnan'), mean([NaN NaN], 'omitnan'), ...
        sum([NaN NaN], 'omitnan'), prod(x, 'omitnan')); fprintf('\n')  % expect: NaN 4 2 NaN 0 3
A = [1 NaN; 3 4];
fprintf('%g ', sum(A, 1, 'omitnan'), mean(A, 2, 'omitnan'), sum(A, 'all', 'omitnan'), ...
        mean(A, 'all', 'includenan')); fprintf('\n')            % expect: 4 4 1 3.5 8 NaN
[m, i] = min([4 NaN 1], [], 2, 'includenan');
fprintf('%g ', max(x), max(x, [], 'includenan'), m, i, max([1 NaN], [3 2], 'omitnan'), ...
        max(A, [], 'all', 'includenan'), mean([1+1i NaN 3-1i], 'omitnan')); fprintf('\n')
% expect: 3 NaN NaN 2 3 2 NaN 2
try, sum(x, 'bogus'), catch e, disp(e.identifier), end               % expect: Q:invalidInput
try, sum(x, 'omitnan', 2), catch e, disp(e.identifier), end          % expect: Q:invalidInput
try, cumsum(x, 'all'), catch e, disp(e.identifier), end              % expect: Q:invalidInput
try, any(x, 'omitnan'), catch e, disp(e.identifier), end             % expect: Q:invalidInput
