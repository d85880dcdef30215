function v = pc_calc(text)
% Evaluates + - * / ^ (right associative), unary minus and parentheses by recursive descent.
toks = regexp(text, '\d+\.?\d*|[-+*/^()]', 'match');
[v, pos] = expr(toks, 1);
if pos <= numel(toks)
  error('calc:trailing', 'unexpected ''%s''', toks{pos});
end
end

function [v, pos] = expr(toks, pos)
[v, pos] = term(toks, pos);
while pos <= numel(toks) && any(strcmp(toks{pos}, {'+', '-'}))
  op = toks{pos};
  [r, pos] = term(toks, pos + 1);
  if op == '+'
    v = v + r;
  else
    v = v - r;
  end
end
end

function [v, pos] = term(toks, pos)
[v, pos] = factor(toks, pos);
while pos <= numel(toks) && any(strcmp(toks{pos}, {'*', '/'}))
  op = toks{pos};
  [r, pos] = factor(toks, pos + 1);
  if op == '*'
    v = v * r;
  else
    v = v / r;
  end
end
end

function [v, pos] = factor(toks, pos)
[v, pos] = unary(toks, pos);
if pos <= numel(toks) && strcmp(toks{pos}, '^')
  [r, pos] = factor(toks, pos + 1);
  v = v ^ r;
end
end

function [v, pos] = unary(toks, pos)
if pos > numel(toks)
  error('calc:eof', 'unexpected end of input');
end
t = toks{pos};
if strcmp(t, '-')
  [v, pos] = unary(toks, pos + 1);
  v = -v;
elseif strcmp(t, '(')
  [v, pos] = expr(toks, pos + 1);
  if pos > numel(toks) || ~strcmp(toks{pos}, ')')
    error('calc:paren', 'missing )');
  end
  pos = pos + 1;
else
  v = str2double(t);
  if isnan(v)
    error('calc:token', 'unexpected ''%s''', t);
  end
  pos = pos + 1;
end
end
