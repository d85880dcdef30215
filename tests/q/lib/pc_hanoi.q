function moves = pc_hanoi(n, from, to, via)
% The moves (rows: from, to) that carry n disks from one peg to another.
if n == 0
  moves = zeros(0, 2);
  return
end
moves = [pc_hanoi(n - 1, from, via, to); from, to; pc_hanoi(n - 1, via, to, from)];
