%% fzero from one point: the search outward finds a sign change, Brent's method the root
[x, fval, flag] = fzero(@cos, 1);
fprintf('%.10f %d %d\n', x, abs(fval) < 1e-12, flag)              % expect: 1.5707963268 1 1
fprintf('%.10f\n', fzero(@(x) exp(x) - 10, 0))                    % expect: 2.3025850930
fprintf('%.10f\n', fzero(@(x) x.^3 - 8, -50))                     % expect: 2.0000000000
fprintf('%g\n', fzero(@(x) x, 0))                                 % expect: 0
%% fzero on a bracket: either order, a root at an end, a function name
fprintf('%.10f\n', fzero(@(x) x.^3 - 2*x - 5, [2 3]))             % expect: 2.0945514815
fprintf('%.10f\n', fzero(@(x) x.^3 - 2*x - 5, [3 2]))             % expect: 2.0945514815
fprintf('%g %g\n', fzero(@(x) x - 1, [1 5]), fzero(@(x) x - 5, [1 5]))  % expect: 1 5
fprintf('%.10f\n', fzero('sin', [3 4]))                           % expect: 3.1415926536
%% fzero options: a loose TolX, and too few iterations give exit flag 0
x = fzero(@(x) x - 0.3, [0 1], optimset('TolX', 0.1));
fprintf('%d\n', abs(x - 0.3) <= 0.1)                              % expect: 1
[~, ~, flag] = fzero(@cos, [0 3], optimset('MaxIter', 1, 'Display', 'off'));
fprintf('%d\n', flag)                                             % expect: 0
%% fzero errors: no sign change, no bracket found, bad inputs, bad function values
calls = {@() fzero(@(x) x.^2 + 1, [-1 1]), @() fzero(@(x) x.^2 + 1, 3), ...
         @() fzero(@cos, [1 2 3]), @() fzero(@cos, Inf), @() fzero(5, 1), ...
         @() fzero(@(x) [x x], 1), @() fzero(@(x) 'ab', 1), @() fzero(@cos, 1, 5), ...
         @() fzero(@(x) NaN, [0 1])};
for k = 1:numel(calls)
  try
    calls{k}();
  catch e
    fprintf('%s\n', e.identifier);
  end
end
% expect: Q:fzero:noSignChange
% expect: Q:fzero:noBracket
% expect: Q:invalidInput
% expect: Q:invalidInput
% expect: Q:invalidInput
% expect: Q:invalidFunctionValue
% expect: Q:invalidFunctionValue
% expect: Q:invalidInput
% expect: Q:fzero:notFinite
%% an error raised inside the function reaches the caller unchanged
fzero(@(x) error('my:inner', 'failed at %g', x), 1)               % expect-error: my:inner
%% errors inside the function of each method keep their identifier and message
f = @(varargin) error('my:deep', 'deep trouble');
calls = {@() fminbnd(f, 0, 1), @() fminsearch(f, 1), @() integral(f, 0, 1), ...
         @() quad(f, 0, 1)};
for k = 1:numel(calls)
  try
    calls{k}();
  catch e
    fprintf('%s %s\n', e.identifier, e.message);
  end
end
try, [t, y] = ode45(f, [0 1], 1); catch e, fprintf('%s %s\n', e.identifier, e.message); end
% expect: my:deep deep trouble
% expect: my:deep deep trouble
% expect: my:deep deep trouble
% expect: my:deep deep trouble
% expect: my:deep deep trouble
%% fminbnd: inside minima, a minimum at an end, a point interval
[x, fval, flag] = fminbnd(@(x) (x - 2).^2 + 1, 0, 5);
fprintf('%.4f %.4f %d\n', x, fval, flag)                          % expect: 2.0000 1.0000 1
[x, fval] = fminbnd(@cos, 3, 4);
fprintf('%.4f %.4f\n', x, fval)                                   % expect: 3.1416 -1.0000
fprintf('%d %g\n', abs(fminbnd(@(x) x, 1, 3) - 1) < 1e-3, fminbnd(@(x) x, 2, 2))  % expect: 1 2
x = fminbnd(@cos, 3, 4, optimset('TolX', 1e-10));
fprintf('%d\n', abs(x - pi) < 1e-6)                               % expect: 1
%% fminbnd errors: bounds in the wrong order, infinite bounds, too many outputs
try, fminbnd(@(x) x, 2, 1), catch e, disp(e.identifier), end       % expect: Q:invalidInput
try, fminbnd(@(x) x, 0, Inf), catch e, disp(e.identifier), end     % expect: Q:invalidInput
try, [a, b, c, d] = fminbnd(@(x) x, 0, 1), catch e, disp(e.identifier), end
% expect: Q:TooManyOutputs
%% fminsearch: the Rosenbrock function from its classic start, a matrix start keeps its shape
rosenbrock = @(p) 100 * (p(2) - p(1)^2)^2 + (1 - p(1))^2;
[x, fval, flag] = fminsearch(rosenbrock, [-1.2 1]);
fprintf('%d %d %d %d\n', size(x), max(abs(x - [1 1])) < 1e-3, fval < 1e-6)  % expect: 1 2 1 1
fprintf('%d\n', flag)                                             % expect: 1
target = [1 2; 3 4];
x = fminsearch(@(x) sum(sum((x - target).^2)), zeros(2));
fprintf('%d %d %d\n', size(x), max(abs(x(:) - target(:))) < 1e-2)   % expect: 2 2 1
tight = optimset('TolX', 1e-10, 'TolFun', 1e-10, 'MaxIter', 2000, 'MaxFunEvals', 2000);
x = fminsearch(rosenbrock, [-1.2; 1], tight);
fprintf('%d %d %d\n', size(x), max(abs(x - [1; 1])) < 1e-8)       % expect: 2 1 1
[~, ~, flag] = fminsearch(rosenbrock, [-1.2 1], optimset('MaxFunEvals', 10));
fprintf('%d\n', flag)                                             % expect: 0
%% fminsearch errors: empty or infinite starts, a function giving more than one value
try, fminsearch(@(x) x, []), catch e, disp(e.identifier), end            % expect: Q:invalidInput
try, fminsearch(@(x) x, [1 Inf]), catch e, disp(e.identifier), end       % expect: Q:invalidInput
try, fminsearch(@(x) x, [1 2]), catch e, disp(e.identifier), end
% expect: Q:invalidFunctionValue
%% optimset and optimget: names in any case, updates, merging, defaults
o = optimset('tolx', 1e-3, 'MAXITER', 7);
names = fieldnames(o);
fprintf('%s ', names{:}); fprintf('| %g %g\n', o.TolX, o.MaxIter)
% expect: TolX MaxIter | 0.001 7
o = optimset(o, 'TolX', 0.5, 'TolFun', 2);
fprintf('%g %g %g\n', o.TolX, o.MaxIter, o.TolFun)                % expect: 0.5 7 2
o = optimset(o, optimset('MaxIter', 9));
fprintf('%g %g\n', o.TolX, o.MaxIter)                             % expect: 0.5 9
fprintf('%g %g %d\n', optimget(o, 'maxiter'), optimget(o, 'MaxFunEvals', 42), ...
        isempty(optimget(o, 'Display')))                          % expect: 9 42 1
fprintf('%d\n', numel(fieldnames(optimset())))                    % expect: 5
try, optimset('Tolerance', 1), catch e, disp(e.identifier), end   % expect: Q:invalidInput
try, optimset('TolX'), catch e, disp(e.identifier), end           % expect: Q:invalidInput
try, fzero(@cos, 1, optimset('TolX', -1)), catch e, disp(e.identifier), end
% expect: Q:invalidInput
%% integral: polynomials, reversed limits, tolerances given by name
fprintf('%.10f %.10f\n', integral(@(x) x.^2, 0, 3), integral(@(x) x.^5 - x, -1, 2))
% expect: 9.0000000000 9.0000000000
fprintf('%.10f %.10f\n', integral(@sin, 0, pi), integral(@sin, pi, 0))
% expect: 2.0000000000 -2.0000000000
q = integral(@(x) exp(x), 0, 1, 'AbsTol', 1e-13, 'reltol', 1e-12);
fprintf('%d\n', abs(q - (exp(1) - 1)) < 1e-12)                    % expect: 1
fprintf('%d\n', abs(integral(@(x) 1 ./ sqrt(x), 0, 1) - 2) <= 2e-6)  % expect: 1
%% integral over infinite ranges by a change of variable
fprintf('%d\n', abs(integral(@(x) exp(-x.^2), -Inf, Inf) - sqrt(pi)) < 1e-6)   % expect: 1
fprintf('%.8f %.8f\n', integral(@(x) 1 ./ (1 + x.^2), 0, Inf), pi / 2)
% expect: 1.57079633 1.57079633
fprintf('%.8f %.8f\n', integral(@exp, -Inf, 0), integral(@exp, 0, -Inf))
% expect: 1.00000000 -1.00000000
%% integral near singular ends and on a half-line with a decaying tail
fprintf('%.6f %.6f\n', integral(@log, 0, 1), integral(@(x) x .* exp(-x), 0, Inf))
% expect: -1.000000 1.000000
%% the methods nest: each call's function may itself call another method
inverse = @(c) arrayfun(@(cc) fzero(@(x) x.^3 - cc, [-2 2]), c);
fprintf('%.6f\n', integral(inverse, 0, 1))                        % expect: 0.750000
lowest = fminbnd(@(a) integral(@(x) (x - a).^2, 0, 1), -1, 2);
fprintf('%.4f\n', lowest)                                         % expect: 0.5000
%% integral with 'ArrayValued': the function gets scalars and may return arrays
v = integral(@(x) [x, x^2; 1, 2 * x], 0, 1, 'ArrayValued', true);
fprintf('%d %d |', size(v)); fprintf(' %.6f', v); fprintf('\n')
% expect: 2 2 | 0.500000 1.000000 0.333333 1.000000
%% integral errors and the subdivision limit
try, integral(@(x) 1, 0, 1), catch e, disp(e.identifier), end      % expect: Q:invalidFunctionValue
try, integral(@(x) x, 0, NaN), catch e, disp(e.identifier), end    % expect: Q:invalidInput
try, integral(@(x) x, 0, 1, 'Waypoints', 1), catch e, disp(e.identifier), end
% expect: Q:invalidInput
try, integral(@(x) x, 0, 1, 'AbsTol'), catch e, disp(e.identifier), end   % expect: Q:invalidInput
warning('off', 'Q:integral:maxIntervalCount');
q = integral(@(x) 1 ./ x, 0, 1);
[~, id] = lastwarn();
fprintf('%s %d\n', id, q > 10)                      % expect: Q:integral:maxIntervalCount 1
% A divergent integral over a half-line or the whole line is never taken as converged.
warning('off', 'Q:integral:minStepSize');
for range = {[0 Inf], [-Inf Inf]}
  lastwarn('');
  integral(@(x) x .^ 2, range{1}(1), range{1}(2));
  [~, id] = lastwarn();
  disp(id)                                            % expect: Q:integral:minStepSize
end                                                   % expect: Q:integral:minStepSize
%% quad: Simpson's rule is exact for cubics; adaptive refinement for the rest
fprintf('%.10f\n', quad(@(x) x.^3 - x, 0, 2))                     % expect: 2.0000000000
fprintf('%d %d\n', abs(quad(@(x) 1 ./ x, 1, 2) - log(2)) < 1e-6, ...
        abs(quad(@(x) exp(-x.^2), 0, 3, 1e-10) - 0.886207348259521) < 1e-9)   % expect: 1 1
fprintf('%.6f\n', quad(@(x) sqrt(x), 4, 0))                       % expect: -5.333333
try, quad(@(x) 1, 0, 1), catch e, disp(e.identifier), end          % expect: Q:invalidFunctionValue
try, quad(@(x) x, 0, Inf), catch e, disp(e.identifier), end        % expect: Q:invalidInput
try, quad(@(x) x, 0, 1, -1), catch e, disp(e.identifier), end      % expect: Q:invalidInput
%% ode45 on exponential decay: the solver's steps, a column of times, a row per time
[t, y] = ode45(@(t, y) -y, [0 1], 1);
fprintf('%d %d %d %g %g\n', size(t, 2), size(y, 1) == numel(t), size(y, 2), t(1), t(end))
% expect: 1 1 1 0 1
fprintf('%d %d\n', all(diff(t) > 0), max(abs(y - exp(-t))) < 1e-4)   % expect: 1 1
% A row y0: f still gets columns (a row would make it divide by zero).
[t, y] = ode45(@(t, y) [-1; -2] .* y / (size(y, 2) == 1), [0 2], [1 2]);
fprintf('%d %d\n', size(y, 2), max(max(abs(y - [exp(-t), 2 * exp(-2 * t)]))) < 1e-4)
% expect: 2 1
%% ode45 at given times, backwards in time, and with tight tolerances
[t, y] = ode45(@(t, y) [y(2); -y(1)], [0 pi/2 pi], [0; 1]);
fprintf('%d %d %d %d\n', size(y), isequal(t, [0; pi/2; pi]), ...
        max(max(abs(y - [0 1; 1 0; 0 -1]))) < 1e-3)               % expect: 3 2 1 1
[t, y] = ode45(@(t, y) -2 * y, [1 0], 1);
fprintf('%g %d\n', t(end), abs(y(end) - exp(2)) < 1e-2)           % expect: 0 1
o = odeset('RelTol', 1e-8, 'AbsTol', [1e-10 1e-10]);
[t, y] = ode45(@(t, y) [y(2); -y(1)], linspace(0, 10, 21), [0 1], o);
fprintf('%d %d\n', numel(t), max(max(abs(y - [sin(t), cos(t)]))) < 1e-6)   % expect: 21 1
[t, y] = ode45(@(t, y) 1, [0 2], 0, odeset('MaxStep', 0.5, 'Refine', 1));
fprintf('%d %d\n', all(diff(t) <= 0.5 + 1e-12), max(abs(y - t)) < 1e-12)  % expect: 1 1
%% ode45 errors and the step-size limit near a blow-up
calls = {@() ode45(@(t, y) -y, [0 1 0.5], 1), @() ode45(@(t, y) -y, [0 0], 1), ...
         @() ode45(@(t, y) [y; y], [0 1], 1), @() ode45(@(t, y) -y, [0 1], []), ...
         @() ode45(@(t, y) -y, [0 1], 1, odeset('AbsTol', [1 2]))};
for k = 1:numel(calls)
  try
    [~, ~] = calls{k}();
  catch e
    fprintf('%s\n', e.identifier);
  end
end
% expect: Q:invalidInput
% expect: Q:invalidInput
% expect: Q:invalidFunctionValue
% expect: Q:invalidInput
% expect: Q:invalidInput
warning('off', 'Q:ode45:stepTooSmall');
[t, y] = ode45(@(t, y) y.^2, [0 2], 1);
[~, id] = lastwarn();
fprintf('%s %d\n', id, t(end) > 0.99 && t(end) < 1)         % expect: Q:ode45:stepTooSmall 1
try, y = ode45(@(t, y) -y, [0 1], 1), catch e, disp(e.identifier), end
% expect: Q:NotEnoughOutputs
