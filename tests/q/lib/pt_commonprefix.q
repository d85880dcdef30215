function p = pt_commonprefix(words)
% The longest prefix all texts of a cell share.
if isempty(words)
  p = '';
  return
end
p = words{1};
for k = 2:numel(words)
  w = words{k};
  n = min(length(p), length(w));
  j = 1;
  while j <= n && p(j) == w(j)
    j = j + 1;
  end
  p = p(1:j - 1);
end
