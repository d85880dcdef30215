function [row, score] = pn_merge2048(row)
% Slides a row of 2048 tiles to the left, merging equal neighbours once each.
tiles = row(row ~= 0);
out = [];
score = 0;
i = 1;
while i <= numel(tiles)
  if i < numel(tiles) && tiles(i) == tiles(i + 1)
    out(end + 1) = 2 * tiles(i);
    score = score + 2 * tiles(i);
    i = i + 2;
  else
    out(end + 1) = tiles(i);
    i = i + 1;
  end
end
row = [out, zeros(1, numel(row) - numel(out))];
