function w = pc_winner(B)
% B is 3-by-3 with 1 for X, -1 for O, 0 empty: 'X', 'O', 'draw' or 'open'.
lines = [sum(B, 1), sum(B, 2)', trace(B), B(3) + B(5) + B(7)];
if any(lines == 3)
  w = 'X';
elseif any(lines == -3)
  w = 'O';
elseif all(B(:) ~= 0)
  w = 'draw';
else
  w = 'open';
end
