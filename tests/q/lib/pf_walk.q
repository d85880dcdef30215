function acc = pf_walk(node, visit, acc, depth)
% Visits a tree of structs (fields name, size, children: a cell of nodes) depth first.
if nargin < 4
  depth = 0;
end
acc = visit(acc, node, depth);
for k = 1:numel(node.children)
  acc = pf_walk(node.children{k}, visit, acc, depth + 1);
end
