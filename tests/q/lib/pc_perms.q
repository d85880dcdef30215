function P = pc_perms(v)
% All orderings of the elements of v, one per row, in lexical order of positions.
if numel(v) <= 1
  P = v;
  return
end
P = [];
for k = 1:numel(v)
  rest = v;
  rest(k) = [];
  sub = pc_perms(rest);
  P = [P; repmat(v(k), size(sub, 1), 1), sub];
end
