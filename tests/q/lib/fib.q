function r = fib(n)
% fib(n): the n-th Fibonacci number, by plain recursion.
if n < 2
  r = n;
else
  r = fib(n - 1) + fib(n - 2);
end
