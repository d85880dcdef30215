function [parent, root] = pd_find(parent, x)
% The root of x in a union-find forest, compressing the path walked.
root = x;
while parent(root) ~= root
  root = parent(root);
end
while parent(x) ~= root
  next = parent(x);
  parent(x) = root;
  x = next;
end
