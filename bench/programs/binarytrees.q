function binarytrees(n)
% binary-trees: builds many complete binary trees bottom up, counts their nodes, and keeps one
% long-lived tree meanwhile. A node is a cell {left, right}; a leaf is an empty cell.
if nargin < 1
  n = 15;
end
minDepth = 4;
maxDepth = max(minDepth + 2, n);
stretchDepth = maxDepth + 1;
fprintf('stretch tree of depth %d\t check: %d\n', stretchDepth, ...
        itemCheck(bottomUpTree(stretchDepth)));
longLivedTree = bottomUpTree(maxDepth);
for depth = minDepth:2:maxDepth
  iterations = 2 ^ (maxDepth - depth + minDepth);
  check = 0;
  for i = 1:iterations
    check = check + itemCheck(bottomUpTree(depth));
  end
  fprintf('%d\t trees of depth %d\t check: %d\n', iterations, depth, check);
end
fprintf('long lived tree of depth %d\t check: %d\n', maxDepth, itemCheck(longLivedTree));
end

function tree = bottomUpTree(depth)
if depth > 0
  depth = depth - 1;
  tree = {bottomUpTree(depth), bottomUpTree(depth)};
else
  tree = {};
end
end

function count = itemCheck(tree)
if isempty(tree)
  count = 1;
else
  count = 1 + itemCheck(tree{1}) + itemCheck(tree{2});
end
end
