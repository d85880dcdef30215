function G = pd_flood(G, r, c, from, to)
% Recursive flood fill of the 4-connected region of value from that contains (r, c).
if from == to || r < 1 || c < 1 || r > size(G, 1) || c > size(G, 2) || G(r, c) ~= from
  return
end
G(r, c) = to;
G = pd_flood(G, r + 1, c, from, to);
G = pd_flood(G, r - 1, c, from, to);
G = pd_flood(G, r, c + 1, from, to);
G = pd_flood(G, r, c - 1, from, to);
