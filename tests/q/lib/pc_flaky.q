function v = pc_flaky(n)
% pc_flaky(n) resets; afterwards a call fails with pc:transient until the n-th, which returns n.
persistent calls limit
if nargin == 1
  calls = 0;
  limit = n;
  v = 0;
  return
end
calls = calls + 1;
if calls < limit
  error('pc:transient', 'attempt %d failed', calls);
end
v = calls;
