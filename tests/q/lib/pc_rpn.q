function v = pc_rpn(expr)
% Evaluates a reverse Polish expression with a stack kept in a vector.
toks = strsplit(strtrim(expr));
st = [];
for k = 1:numel(toks)
  t = toks{k};
  switch t
    case {'+', '-', '*', '/', '^'}
      if numel(st) < 2
        error('rpn:underflow', 'operator %s needs two operands, has %d', t, numel(st));
      end
      b = st(end);
      a = st(end - 1);
      st(end - 1:end) = [];
      switch t
        case '+', r = a + b;
        case '-', r = a - b;
        case '*', r = a * b;
        case '/'
          if b == 0
            error('rpn:divzero', 'division by zero at token %d', k);
          end
          r = a / b;
        case '^', r = a ^ b;
      end
      st(end + 1) = r;
    case 'dup'
      st(end + 1) = st(end);
    case 'swap'
      st([end - 1, end]) = st([end, end - 1]);
    otherwise
      x = str2double(t);
      if isnan(x)
        error('rpn:token', 'unknown token ''%s''', t);
      end
      st(end + 1) = x;
  end
end
if numel(st) ~= 1
  error('rpn:leftover', '%d values left on the stack', numel(st));
end
v = st;
