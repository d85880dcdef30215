function G = pn_life(G, steps)
% Conway's game of life on a grid with dead borders, neighbours counted by shifted views.
for s = 1:steps
  P = zeros(size(G) + 2);
  P(2:end - 1, 2:end - 1) = G;
  N = zeros(size(G));
  for di = -1:1
    for dj = -1:1
      if di ~= 0 || dj ~= 0
        N = N + P((2:end - 1) + di, (2:end - 1) + dj);
      end
    end
  end
  G = double((G & (N == 2 | N == 3)) | (~G & N == 3));
end
