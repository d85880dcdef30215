function out = pt_parens(n, open, close, cur)
% Every balanced text of n pairs of parentheses, by recursion.
if nargin == 1
  out = pt_parens(n, 0, 0, '');
  return
end
if numel(cur) == 2 * n
  out = {cur};
  return
end
out = {};
if open < n
  out = [out, pt_parens(n, open + 1, close, [cur, '('])];
end
if close < open
  out = [out, pt_parens(n, open, close + 1, [cur, ')'])];
end
