function [dist, prev] = pd_dijkstra(W, s)
% Shortest distances from s over a weight matrix (Inf: no edge), and each node's predecessor.
n = size(W, 1);
dist = Inf(1, n);
prev = zeros(1, n);
done = false(1, n);
dist(s) = 0;
for it = 1:n
  d = dist;
  d(done) = Inf;
  [m, u] = min(d);
  if isinf(m)
    break
  end
  done(u) = true;
  for v = find(~done & ~isinf(W(u, :)))
    if dist(u) + W(u, v) < dist(v)
      dist(v) = dist(u) + W(u, v);
      prev(v) = u;
    end
  end
end
