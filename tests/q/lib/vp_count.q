function count = vp_count(tree)
% The nodes and leaves of a tree made by vp_build.
if isempty(tree)
  count = 1;
else
  count = 1 + vp_count(tree{1}) + vp_count(tree{2});
end
end
