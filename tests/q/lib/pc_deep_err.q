function y = pc_deep_err(n)
if n == 0
  error('deep:bottom', 'reached the bottom');
end
y = pc_deep_err(n - 1);
