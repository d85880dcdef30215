function env = pt_letlang(lines)
% Runs lines of a tiny language: 'let x = expr' binds a name, 'print expr' prints, where expr
% is numbers and names joined by + and * (products first). Names live in a struct.
env = struct();
for k = 1:numel(lines)
  t = regexp(lines{k}, '^\s*(let|print)\s+(.*)$', 'tokens', 'once');
  if isempty(t)
    error('let:syntax', 'line %d: cannot read ''%s''', k, lines{k});
  end
  if strcmp(t{1}, 'let')
    parts = regexp(t{2}, '^(\w+)\s*=\s*(.+)$', 'tokens', 'once');
    env.(parts{1}) = evaluate(parts{2}, env, k);
  else
    fprintf('%g\n', evaluate(t{2}, env, k));
  end
end
end

function v = evaluate(text, env, line)
v = 0;
for term = strsplit(text, '+')
  p = 1;
  for factor = strsplit(term{1}, '*')
    word = strtrim(factor{1});
    x = str2double(word);
    if isnan(x)
      if ~isfield(env, word)
        error('let:unbound', 'line %d: %s is not bound', line, word);
      end
      x = env.(word);
    end
    p = p * x;
  end
  v = v + p;
end
end
