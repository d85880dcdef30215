function out = pd_trie(op, t, word)
% A trie of nested structs: each node counts the words through it (n), those ending there
% (here), and keeps its children in a struct named by letter (kids).
switch op
  case 'insert'
    out = insert(t, word);
  case 'count'
    out = countPrefix(t, word);
end
end

function node = insert(node, word)
if isempty(node)
  node = struct('n', 0, 'here', 0, 'kids', struct());
end
node.n = node.n + 1;
if isempty(word)
  node.here = node.here + 1;
  return
end
c = word(1);
if isfield(node.kids, c)
  child = node.kids.(c);
else
  child = [];
end
node.kids.(c) = insert(child, word(2:end));
end

function n = countPrefix(node, prefix)
n = 0;
while ~isempty(node)
  if isempty(prefix)
    n = node.n;
    return
  end
  if ~isfield(node.kids, prefix(1))
    return
  end
  node = node.kids.(prefix(1));
  prefix = prefix(2:end);
end
end
