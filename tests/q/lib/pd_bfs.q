function [order, dist] = pd_bfs(A, start)
% Breadth-first search over an adjacency matrix with a queue kept in a cell.
n = size(A, 1);
dist = Inf(1, n);
dist(start) = 0;
queue = {start};
order = [];
while ~isempty(queue)
  u = queue{1};
  queue(1) = [];
  order(end + 1) = u;
  for v = find(A(u, :))
    if isinf(dist(v))
      dist(v) = dist(u) + 1;
      queue{end + 1} = v;
    end
  end
end
