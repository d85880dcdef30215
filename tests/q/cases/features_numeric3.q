%% ranges count their elements with a tolerance
disp(numel(0:0.1:1))                      % expect: 11
disp(numel(1:0.2:2))                      % expect: 6
r = 0:0.1:0.3;
fprintf('%.1f\n', r(end));                % expect: 0.3
%% ranges with a zero or a wrong-way step are empty
disp(size(1:0:5))                         % expect: 1 0
disp(size(5:1:1))                         % expect: 1 0
disp(size(1:-1:5))                        % expect: 1 0
%% a range of chars
disp('a':'e')                             % expect: abcde
disp(class('a':'c'))                      % expect: char
%% colon uses the first element of array endpoints
disp(numel([1 9]:3))                      % expect: 3
%% cumulative sums give running balances
deposits = [100 -20 -30 50 -200];
bal = cumsum(deposits);
disp(bal)                                 % expect: 100 80 50 100 -100
disp(find(bal < 0, 1))                    % expect: 5
%% max and min of a matrix overall
A = [3 8; 9 1];
fprintf('%d %d\n', max(A(:)), min(A(:)));   % expect: 9 1
[m, i] = max(A(:));
fprintf('%d %d %d\n', m, mod(i - 1, 2) + 1, floor((i - 1) / 2) + 1);   % expect: 9 2 1
%% sorting rows by a column with sort indices
A = [3 30; 1 10; 2 20];
[~, i] = sort(A(:, 1));
disp(A(i, 2)')                            % expect: 10 20 30
[~, i] = sort(A(:, 2), 'descend');
disp(A(i, 1)')                            % expect: 3 2 1
%% the k largest values by sorting
v = [5 1 9 3 7];
s = sort(v, 'descend');
disp(s(1:3))                              % expect: 9 7 5
%% means and sums with logical masks
v = [4 -2 7 -1 0];
fprintf('%g %g %d\n', mean(v(v > 0)), sum(v(v < 0)), sum(v == 0));   % expect: 5.5 -3 1
%% normalizing a vector and clamping values
v = [3 4];
u = v / norm(v);
fprintf('%.1f %.1f\n', u);                % expect: 0.6 0.8
x = [-5 0 5 10 15];
disp(min(max(x, 0), 10))                  % expect: 0 0 5 10 10
%% element-wise products of vectors against matrix products
a = [1 2 3];
b = [4 5 6];
disp(a .* b)                              % expect: 4 10 18
disp(a * b')                              % expect: 32
disp(size(a' * b))                        % expect: 3 3
%% outer products and multiplication tables by implicit expansion
t = (1:3)' * (1:4);
disp(t(3, :))                             % expect: 3 6 9 12
u = (1:3)' .* (1:4);
disp(isequal(t, u))                       % expect: 1
%% counting with accumulation in a loop over indices
idx = [2 3 2 1 2];
counts = zeros(1, 3);
for i = idx
  counts(i) = counts(i) + 1;
end
disp(counts)                              % expect: 1 3 1
%% floating point comparisons with a tolerance
a = 0.1 + 0.2;
fprintf('%d %d\n', a == 0.3, abs(a - 0.3) < eps * 4);   % expect: 0 1
fprintf('%d\n', eps > 0 && eps < 1e-15);   % expect: 1
%% integer checks with mod and round
v = [1 2.5 -3 4.0];
disp(v == round(v))                       % expect: 1 0 1 1
disp(mod(v(v == round(v)), 2) == 0)       % expect: 0 0 1
%% powers, roots and logarithms round trip
x = 7.3;
fprintf('%.10f %.10f %.10f\n', sqrt(x)^2, exp(log(x)), 10^log10(x));   % expect: 7.3000000000 7.3000000000 7.3000000000
%% factorial and binomial coefficients with prod
n = 6;
k = 2;
fprintf('%d %d\n', prod(1:n), prod(n - k + 1:n) / prod(1:k));   % expect: 720 15
%% a geometric series summed in a loop and in closed form
r = 0.5;
s = 0;
for k = 0:20
  s = s + r^k;
end
fprintf('%.6f %.6f\n', s, (1 - r^21) / (1 - r));   % expect: 1.999999 1.999999
%% the mean and spread of a matrix along both dimensions
A = [1 2; 3 4; 5 6];
fprintf('%g ', mean(A)); fprintf('| ');
fprintf('%g ', mean(A, 2)); fprintf('\n');   % expect: 3 4 | 1.5 3.5 5.5
fprintf('%g %g\n', max(A(:)) - min(A(:)), mean(A(:)));   % expect: 5 3.5
%% complex roots of a quadratic
a = 1; b = 2; c = 5;
d = sqrt(b^2 - 4 * a * c);
r1 = (-b + d) / (2 * a);
r2 = (-b - d) / (2 * a);
fprintf('%g%+gi %g%+gi\n', real(r1), imag(r1), real(r2), imag(r2));   % expect: -1+2i -1-2i
%% the sign and magnitude of values
v = [-2.5 0 3];
fprintf('%g ', sign(v) .* abs(v)); fprintf('\n');   % expect: -2.5 0 3
%% hypotenuse and distance between points
p = [1 2];
q = [4 6];
fprintf('%g %g\n', hypot(q(1) - p(1), q(2) - p(2)), norm(q - p));   % expect: 5 5
