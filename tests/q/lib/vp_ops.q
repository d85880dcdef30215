function r = vp_ops(op, a, b)
% Small functions over cells and other values, each compiled on its own; op picks one. Each is
% called twice: compiled code calls what the first call, made the usual way, resolved.
switch op
  case 'pair'
    pair(a, b);
    r = pair(a, b);
  case 'same'
    same(a);
    r = same(a);
  case 'emptyFlag'
    emptyFlag(a);
    r = emptyFlag(a);
  case 'inc'
    inc(a);
    r = inc(a);
  case 'second'
    second(a);
    r = second(a);
  case 'descend'
    descend(a, b);
    r = descend(a, b);
  case 'chain'
    chain(a);
    r = chain(a);
  case 'total'
    total(a);
    r = total(a);
  case 'deep'
    deep(a);
    r = deep(a);
  case 'wide'
    wide(a);
    r = wide(a);
  case 'viaScalar'
    viaScalar(a);
    r = viaScalar(a);
  case 'innermost'
    innermost(a);
    r = innermost(a);
  case 'wrap'
    wrap(a);
    r = wrap(a);
  case 'plusSecond'
    plusSecond(a);
    r = plusSecond(a);
  case 'elements'
    elements(a);
    r = elements(a);
end
end

function c = pair(a, b)
c = {a, b};
end

function x = same(x)
end

function e = emptyFlag(c)
e = isempty(c);
end

function r = inc(x)
r = {x + 1};
end

function r = second(c)
r = c{2};
end

function t = descend(t, n)
for k = 1:n
  t = t{1};
end
end

function c = chain(n)
% The list 1, 2, ..., n: each link is {number, rest}.
c = {};
while n > 0
  c = {n, c};
  n = n - 1;
end
end

function s = total(c)
s = 0;
while ~isempty(c)
  s = s + c{1};
  c = c{2};
end
end

function r = innermost(n)
c = {{{n}}};
c = c{1};
c = c{1};
r = c{1};
end

function r = deep(k)
r = {deep(k + 1)};
end

function c = wide(x)
c = {x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x};
end

function r = plusSecond(c)
% second gives up for good earlier in the cases; this one only meets what it can do.
r = 1 + secondOf(c);
end

function r = secondOf(c)
r = c{2};
end

function r = viaScalar(n)
r = half(n) + 1;
end

function r = half(n)
c = {n, n / 2};
r = c{2};
end

function r = wrap(n)
r = boxed(n);
end

function c = boxed(n)
c = {n};
end

function r = elements(c)
% Calls whose argument is an element: a user function's and a shape query's.
r = 100 * count(c{1}) + numel(c{3});
end

function n = count(x)
n = numel(x);
end
