function toks = pt_tokenize(src)
% Splits source text into a struct array of tokens: kind 'num', 'id' or 'op', and the text.
toks = struct('kind', {}, 'text', {});
k = 1;
n = length(src);
while k <= n
  c = src(k);
  if c == ' '
    k = k + 1;
    continue
  end
  j = k;
  if pt_isdigit(c)
    while j <= n && (pt_isdigit(src(j)) || src(j) == '.')
      j = j + 1;
    end
    kind = 'num';
  elseif pt_isident(c)
    while j <= n && (pt_isident(src(j)) || pt_isdigit(src(j)))
      j = j + 1;
    end
    kind = 'id';
  else
    j = k + 1;
    kind = 'op';
  end
  toks(end + 1) = struct('kind', kind, 'text', src(k:j - 1));
  k = j;
end
end

function tf = pt_isdigit(c)
tf = c >= '0' && c <= '9';
end

function tf = pt_isident(c)
tf = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
end
