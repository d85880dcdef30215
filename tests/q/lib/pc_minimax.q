function [score, move, nodes] = pc_minimax(B, player)
% Plays tic-tac-toe perfectly: the score (1 X wins, -1 O wins, 0 draw) with best play from
% board B (1 X, -1 O, 0 empty) when player moves, the first best move, and the nodes searched.
nodes = 1;
move = 0;
score = pc_winner_value(B);
if score ~= 0 || all(B(:) ~= 0)
  return
end
score = [];
for m = find(B(:) == 0)'
  B(m) = player;
  [v, ~, n] = pc_minimax(B, -player);
  B(m) = 0;
  nodes = nodes + n;
  if isempty(score) || (player == 1 && v > score) || (player == -1 && v < score)
    score = v;
    move = m;
  end
end
end

function v = pc_winner_value(B)
switch pc_winner(B)
  case 'X'
    v = 1;
  case 'O'
    v = -1;
  otherwise
    v = 0;
end
end
