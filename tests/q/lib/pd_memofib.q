function [f, hits] = pd_memofib(n, reset)
% Fibonacci numbers memoized in a persistent vector; hits counts answers taken from it.
persistent memo hitcount
if nargin > 1 && reset
  memo = [];
  hitcount = 0;
end
if isempty(hitcount)
  hitcount = 0;
end
if n <= 2
  f = 1;
elseif numel(memo) >= n && memo(n) > 0
  f = memo(n);
  hitcount = hitcount + 1;
else
  f = pd_memofib(n - 1) + pd_memofib(n - 2);
  memo(n) = f;
end
hits = hitcount;
