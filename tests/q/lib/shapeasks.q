function shapeasks(x, y, probe)
% Shape questions about x inside a function, where conditions and scalar arithmetic answer them
% without making arrays; y empty or not picks the branches. Prints one line per question. With
% a third input it asks about a variable before it is set.
if nargin > 2
  if isempty(later), disp('never'), end
  later = probe;
end
c = {1, 'ab', []};
s = struct('a', {1, 2, 3});
if isempty(x), disp('x empty'), else, disp('x not empty'), end
if ~isempty(y), disp('y not empty'), else, disp('y empty'), end
if isempty(c{3}) && ~isempty(c), disp('c{3} empty, c not'), end
if isscalar(x) || isrow(y), disp('scalar x or row y'), end
if iscolumn(x), disp('x column'), end
if isvector(s) && ~iscolumn(s), disp('s row vector'), end
n = numel(x) + numel(c) * length(s);
fprintf('%d %d %d %d\n', n, ndims(zeros(2, 3, 4)), length(zeros(3, 7)), length([]));
e = isempty(x);
fprintf('%s %s\n', class(e), class(numel(x)));
k = 0;
while k < numel(s), k = k + 1; end
for j = 1:length(y), k = k + 1; end
fprintf('%d\n', k);
