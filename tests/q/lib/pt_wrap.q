function lines = pt_wrap(text, width)
% Greedy word wrap: a cell of lines no longer than width (unless one word is longer).
words = strsplit(text);
lines = {};
cur = '';
for k = 1:numel(words)
  w = words{k};
  if isempty(cur)
    cur = w;
  elseif length(cur) + 1 + length(w) <= width
    cur = [cur, ' ', w];
  else
    lines{end + 1} = cur;
    cur = w;
  end
end
if ~isempty(cur)
  lines{end + 1} = cur;
end
