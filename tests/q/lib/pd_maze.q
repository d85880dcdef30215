function [len, marked] = pd_maze(maze)
% Shortest path from S to E through a char grid ('#' walls) by breadth-first search; marked
% shows the path with '*'. len is -1 when E cannot be reached.
[R, C] = size(maze);
start = find(maze == 'S');
goal = find(maze == 'E');
dist = -ones(R, C);
prev = zeros(R, C);
dist(start) = 0;
queue = start;
head = 1;
moves = [1, -1, R, -R];
while head <= numel(queue)
  u = queue(head);
  head = head + 1;
  for m = moves
    v = u + m;
    if maze(v) ~= '#' && dist(v) < 0
      dist(v) = dist(u) + 1;
      prev(v) = u;
      queue(end + 1) = v;
    end
  end
end
len = dist(goal);
marked = maze;
if len > 0
  p = prev(goal);
  while p ~= start
    marked(p) = '*';
    p = prev(p);
  end
end
