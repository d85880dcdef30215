function out = pd_spiral(M)
% The elements of a matrix in clockwise spiral order: take the top row, turn the rest.
out = [];
while ~isempty(M)
  out = [out, M(1, :)];
  M(1, :) = [];
  M = M';
  M = M(end:-1:1, :);
end
