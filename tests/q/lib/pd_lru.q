function [value, cache] = pd_lru(cache, key, compute)
% Looks key up in a least-recently-used cache (fields keys, values, capacity, misses); a miss
% computes the value and evicts the entry used longest ago.
i = find(strcmp(cache.keys, key), 1);
if isempty(i)
  value = compute(key);
  cache.keys = [{key}, cache.keys];
  cache.values = [{value}, cache.values];
  if numel(cache.keys) > cache.capacity
    cache.keys(end) = [];
    cache.values(end) = [];
  end
  cache.misses = cache.misses + 1;
else
  value = cache.values{i};
  order = [i, 1:i - 1, i + 1:numel(cache.keys)];
  cache.keys = cache.keys(order);
  cache.values = cache.values(order);
end
