% RUNME  a script
x = [1 -2, 3 - 4; a' b' 'text', f (1)];
c = {@(t) t + 1, @sin; [], {}};
hold on
warning off my:id
format long g;
if x(1) > 0 && ~isempty(c), disp('it''s'), elseif x, y = 1; else, y = 2; end
for k = 1:2:10, if k == 5, break; end, continue, end
while n ~= 0 | m < 3
  n = n - 1;
end
switch lower(s)
  case {'a', 'b'}
    r = 1e-3i;
  otherwise
    r = .5;
end
try
  error('my:id', 'oops');
catch err
  disp(err.message)
end
global g1 g2
persistent p
z = 2^-1^2 - -a.' ...
  + b;
