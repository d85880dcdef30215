function tree = vp_build(depth)
% A complete binary tree of the given depth: a node is a cell {left, right}, a leaf {}.
if depth > 0
  depth = depth - 1;
  tree = {vp_build(depth), vp_build(depth)};
else
  tree = {};
end
end
