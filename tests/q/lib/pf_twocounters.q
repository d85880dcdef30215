function [x, y] = pf_twocounters()
% Two functions of one file, each with its own persistent named n.
x = first();
y = second();
end

function v = first()
persistent n
if isempty(n)
  n = 0;
end
n = n + 1;
v = n;
end

function v = second()
persistent n
if isempty(n)
  n = 100;
end
n = n + 10;
v = n;
end
