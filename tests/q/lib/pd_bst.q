function out = pd_bst(op, tree, arg)
% A binary search tree kept in a struct array (fields key, left, right; 0 is no child).
switch op
  case 'insert'
    out = insert(tree, arg);
  case 'inorder'
    out = inorder(tree, 1);
  case 'height'
    out = height(tree, 1);
  case 'contains'
    out = contains(tree, 1, arg);
end
end

function tree = insert(tree, key)
node = struct('key', key, 'left', 0, 'right', 0);
if isempty(tree)
  tree = node;
  return
end
i = 1;
while true
  if key < tree(i).key
    side = 'left';
  else
    side = 'right';
  end
  if tree(i).(side) == 0
    tree(end + 1) = node;
    tree(i).(side) = numel(tree);
    return
  end
  i = tree(i).(side);
end
end

function keys = inorder(tree, i)
if isempty(tree) || i == 0
  keys = [];
  return
end
keys = [inorder(tree, tree(i).left), tree(i).key, inorder(tree, tree(i).right)];
end

function h = height(tree, i)
if isempty(tree) || i == 0
  h = 0;
else
  h = 1 + max(height(tree, tree(i).left), height(tree, tree(i).right));
end
end

function tf = contains(tree, i, key)
tf = false;
while ~isempty(tree) && i ~= 0 && ~tf
  tf = tree(i).key == key;
  if key < tree(i).key
    i = tree(i).left;
  else
    i = tree(i).right;
  end
end
end
