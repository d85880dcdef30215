function ok = pc_bucket(t, capacity)
% A token bucket refilled by one token per tick: pc_bucket(t) spends a token at tick t if one
% is left; pc_bucket(t, capacity) resets a full bucket at tick t.
persistent tokens last cap
if nargin == 2
  cap = capacity;
  tokens = capacity;
  last = t;
  ok = true;
  return
end
tokens = min(cap, tokens + (t - last));
last = t;
ok = tokens >= 1;
if ok
  tokens = tokens - 1;
end
