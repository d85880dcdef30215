%% accumarray: sums into a column or a matrix, a shared value, a given size
A = accumarray([1; 3; 1; 2], [10; 20; 30; 40]);
fprintf('%g ', A); fprintf('| %d %d\n', size(A))                   % expect: 40 40 20 | 3 1
disp(accumarray([1 1; 2 3; 1 1], 1, [2 4]))
% expect:    2   0   0   0
% expect:    0   0   1   0
fprintf('%d %d\n', size(accumarray([2; 1], [5; 6], [4 1])))         % expect: 4 1
%% sortrows: by all columns, by chosen columns and directions, NaN, classes and texts
A = [3 1; 1 2; 3 0; 1 2];
[B, i] = sortrows(A);
fprintf('%g ', B, i); fprintf('\n')                                % expect: 1 1 3 3 2 2 0 1 2 4 3 1
[B, i] = sortrows(A, -2);
fprintf('%g ', B, i); fprintf('\n')                                % expect: 1 1 3 3 2 2 1 0 2 4 1 3
[~, i] = sortrows(A, [-1 2]);
fprintf('%g ', i, sortrows([2; NaN; 1]), sortrows([2; NaN; 1], -1)); fprintf('\n')
% expect: 3 1 2 4 1 2 NaN NaN 2 1
B = sortrows(int8([2 1; 1 5]));
fprintf('%s %d %d %d %d\n', class(B), B)                           % expect: int8 1 2 5 1
[c, k] = sortrows({'pear'; 'apple'; 'fig'});
fprintf('%s ', c{:}); fprintf('%d ', k); fprintf('\n')             % expect: apple fig pear 2 3 1
%% histc and histcounts: half-open bins, the last edge, bin numbers and shapes
x = [1 2 2 3 5 7 10 -1 NaN];
[n, bin] = histc(x, [0 2 4 10]);
fprintf('%g ', n, bin); fprintf('\n')                % expect: 1 3 2 1 1 2 2 2 3 3 4 0 0
fprintf('%g ', histc(x, [0; 5]), size(histc(x, [0; 5]))); fprintf('\n')  % expect: 4 1 2 1
fprintf('%g ', histcounts(x, [0 2 4 10]), size(histcounts(x, [0; 2; 4; 10]))); fprintf('\n')
% expect: 1 3 3 1 3
%% polyval and polyfit: evaluation keeps the shape, exact and least-squares fits
v = polyval([2 -3 1], [0 1 2; 3 4 5]);
fprintf('%g ', v, size(v), polyval([], 5), polyval(4, [1 2])); fprintf('\n')
% expect: 1 10 0 21 3 36 2 3 0 4 4
x = 0:4;
fprintf('%.6f ', polyfit(x, 3 * x.^2 - 2 * x + 1, 2)); fprintf('\n')
% expect: 3.000000 -2.000000 1.000000
p = polyfit([0 1 2 3], [1 3 2 4], 1);
fprintf('%.4f %.4f | %d %d | %.4f\n', p, size(p), polyfit([1 2 3], [2 4 9], 0))
% expect: 0.8000 1.3000 | 1 2 | 5.0000
%% interp1: methods, outside values, extrapolation, decreasing x and shapes
x = [1 2 4]; y = [10 20 0];
fprintf('%g ', interp1(x, y, [1.5 3 4 0 5])); fprintf('\n')        % expect: 15 10 0 NaN NaN
fprintf('%g ', interp1(x, y, [1.5 3 2.9 3.1], 'nearest')); fprintf('\n')  % expect: 20 0 20 0
fprintf('%g ', interp1(x, y, [1 1.9 2 3.9 4 0.5], 'previous')); fprintf('\n')
% expect: 10 10 20 20 0 NaN
fprintf('%g ', interp1(x, y, [1 1.1 2 2.1 4 4.5], 'next')); fprintf('\n')
% expect: 10 20 20 0 0 NaN
fprintf('%g ', interp1(x, y, [0 5], 'linear', 'extrap'), interp1(x, y, [0 2], 'linear', -1))
fprintf('\n')                                                      % expect: 0 -10 -1 20
fprintf('%g ', interp1(x, y, [0 5], 'nearest', 'extrap'), ...
        interp1(x, y, [0 5], 'previous', 'extrap'))
fprintf('\n')                                                      % expect: 10 0 NaN 0
fprintf('%g ', interp1([4 2 1], [0 20 10], 3), size(interp1(x, y, [1.5; 2]))); fprintf('\n')
% expect: 10 2 1
%% trapz: unit spacing, given points, matrices along the first dimension
fprintf('%g ', trapz([1 2 3]), trapz([1; 2; 3]), trapz([0 1 3], [1 2 3]), trapz(5)); fprintf('\n')
% expect: 4 4 6.5 0
fprintf('%g ', trapz([1 2; 3 4; 5 6]), trapz([0; 2; 3], [1 2; 3 4; 5 6])); fprintf('\n')
% expect: 6 8 8 11
%% conv and filter: shapes of the result, moving averages and feedback
fprintf('%g ', conv([1 2 3], [1 1]), conv([1 2 3 4 5], [1 0 -1], 'same')); fprintf('\n')
% expect: 1 3 5 3 2 2 2 2 -4
fprintf('%g ', conv([1 2 3 4 5], [1 0 -1], 'valid'), conv([1 2 3], [1 1 1 1], 'same'))
fprintf('\n')
% expect: 2 2 2 6 6 5
fprintf('%d ', size(conv([1; 2], [1; 1])), size(conv([1; 2], [1 1])), ...
        size(conv([1 2], [1 2 3], 'valid')))
fprintf('\n')                                                      % expect: 3 1 1 3 1 0
fprintf('%g ', filter([1 1] / 2, 1, [2 4 6 8]), filter(1, [1 -0.5], [1 0 0 0])); fprintf('\n')
% expect: 1 3 5 7 1 0.5 0.25 0.125
y = filter(2, [2 -1], [1; 1]);
fprintf('%g ', y, size(y)); fprintf('\n')                          % expect: 1 1.5 2 1
%% cross, kron, logspace, cummax and cummin
fprintf('%g ', cross([1 0 0], [0 1 0]), cross([1 2 3], [4 5 6]), size(cross([1; 2; 3], [4 5 6])))
fprintf('\n')                                                      % expect: 0 0 1 -3 6 -3 3 1
fprintf('%g ', kron([1 2], [1; 10]), kron([1 2; 3 4], [0 1])); fprintf('\n')
% expect: 1 10 2 20 0 0 1 3 0 0 2 4
fprintf('%g ', logspace(0, 2, 3), numel(logspace(1, 2)), logspace(0, 3, 1)); fprintf('\n')
% expect: 1 10 100 50 1000
fprintf('%g ', cummax([1 3 2 5 4]), cummin([NaN 4 NaN 2 3]), cummax([1 5; 3 2; 2 7])); fprintf('\n')
% expect: 1 3 3 5 5 NaN 4 4 2 2 1 3 3 5 5 7
fprintf('%s\n', class(cummax(int8([1 2]))))                        % expect: int8
%% wrong arguments are refused
bad = {@() accumarray([0; 1], 1), @() accumarray([1; 2], [1 2 3]), ...
       @() accumarray(3, 1, [2 1]), @() accumarray(1, 1, [1 1], 4), @() sortrows([1 2], 3), ...
       @() histc(1, [3 1]), @() histcounts(1:5, 3), @() polyfit([1 2], [3 4], 2), ...
       @() polyfit([1 1 1], [1 2 3], 1), @() interp1([1 1 2], [1 2 3], 1.5), ...
       @() interp1([1 2], [1 2], 1, 'quintic'), @() trapz([1 2], [1 2 3]), ...
       @() conv([1 2], 1, 'middle'), @() filter(1, 0, 1), @() cross([1 2], [3 4])};
for k = 1:numel(bad)
  try
    bad{k}();
    fprintf('no error %d\n', k);
  catch e
    fprintf('%d', strcmp(e.identifier, 'Q:invalidInput'));
  end
end
fprintf('\n')                                                      % expect: 111111111111111
%% a sales report: totals by region ranked, and a histogram of order sizes
region = [2 1 3 2 1 2]'; amount = [10 5 7 3 4 1]';
ranked = sortrows([(1:3)' accumarray(region, amount)], -2);
fprintf('%d:%g ', ranked'); fprintf('\n')                          % expect: 2:14 1:9 3:7
edges = 0:5:15;
counts = histcounts(amount, edges);
for k = 1:numel(counts)
  fprintf('%d-%d: %s\n', edges(k), edges(k + 1), repmat('*', 1, counts(k)));
end
% expect: 0-5: ***
% expect: 5-10: **
% expect: 10-15: *
%% a fitted line: evaluated, integrated, and a smoothed series with its running peak
t = 0:5;
p = polyfit(t, 2 + 3 * t, 1);
fprintf('%.4f %.4f | %.4f | %.4f\n', p, polyval(p, 10), trapz(t, polyval(p, t)))
% expect: 3.0000 2.0000 | 32.0000 | 47.5000
s = filter(ones(1, 3) / 3, 1, [3 6 9 3 0 6]);
fprintf('%g ', s, cummax(s)); fprintf('\n')                        % expect: 1 3 6 6 4 3 1 3 6 6 6 6
%% decompositions: svd, rank, pinv and eig, checked against values worked out by hand
A = [3 0; 4 5];                            % A'*A = [25 20; 20 25]: eigenvalues 45 and 5
fprintf('%.6f ', svd(A)); fprintf('\n')    % expect: 6.708204 2.236068 
[U, S, V] = svd(A);
B = [1 2; 3 4; 5 6];
[Ue, Se, Ve] = svd(B, 'econ');
fprintf('%d %d %d %d %d %d | %d %d %d\n', norm(U*S*V' - A) < 1e-12, size(Ue), size(Se), ...
        norm(Ue*Se*Ve' - B) < 1e-12, rank([1 2; 2 4]), rank(eye(3)), rank(zeros(2)))
% expect: 1 3 2 2 2 1 | 1 3 0
fprintf('%.4f ', pinv(B)); fprintf('\n')   % inv(B'*B)*B' with B'*B = [35 44; 44 56]
% expect: -1.3333 1.0833 -0.3333 0.3333 0.6667 -0.4167 
[V, D] = eig([2 1; 1 2]);
e = eig([0 1; -1 0]);
fprintf('%g %g %d | %g%+gi %g%+gi\n', eig([2 1; 1 2]), norm([2 1; 1 2]*V - V*D) < 1e-12, ...
        real(e(1)), imag(e(1)), real(e(2)), imag(e(2)))   % expect: 1 3 1 | 0+1i 0-1i
M = [4 1 2; 0 3 1; 1 0 2];
[V, D] = eig(M);
R = [0 1 0; -1 0 0; 0 0 2];                % a turn: a conjugate pair of vectors
[W, E] = eig(R);
fprintf('%d %d\n', norm(M*V - V*D) < 1e-12, norm(R*W - W*E) < 1e-12)   % expect: 1 1
