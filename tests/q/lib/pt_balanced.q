function [ok, pos] = pt_balanced(s)
% True when every bracket of s is closed in order; pos is the first offending position (0 if ok).
stack = '';
where = [];
pairs = struct('close', {')', ']', '}'}, 'open', {'(', '[', '{'});
ok = true;
pos = 0;
for k = 1:length(s)
  c = s(k);
  if any(c == '([{')
    stack(end + 1) = c;
    where(end + 1) = k;
  elseif any(c == ')]}')
    m = find([pairs.close] == c);
    if isempty(stack) || stack(end) ~= pairs(m).open
      ok = false;
      pos = k;
      return
    end
    stack(end) = [];
    where(end) = [];
  end
end
if ~isempty(stack)
  ok = false;
  pos = where(end);
end
