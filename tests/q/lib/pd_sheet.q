function v = pd_sheet(sheet, name, visiting)
% The value of a cell of a sheet (a struct of texts): a number, or '=' and a formula of numbers
% and cell names joined by + - * /, computed left to right. A cycle is the error sheet:cycle.
if nargin < 3
  visiting = {};
end
if any(strcmp(visiting, name))
  error('sheet:cycle', 'cycle: %s', strjoin([visiting, {name}], ' > '));
end
if ~isfield(sheet, name)
  error('sheet:ref', 'no cell %s', name);
end
text = sheet.(name);
if text(1) ~= '='
  v = str2double(text);
  return
end
toks = regexp(text(2:end), '[A-Z]+\d+|\d+(\.\d+)?|[-+*/]', 'match');
v = 0;
op = '+';
for k = 1:numel(toks)
  t = toks{k};
  if any(strcmp(t, {'+', '-', '*', '/'}))
    op = t;
    continue
  end
  if t(1) >= 'A' && t(1) <= 'Z'
    x = pd_sheet(sheet, t, [visiting, {name}]);
  else
    x = str2double(t);
  end
  switch op
    case '+', v = v + x;
    case '-', v = v - x;
    case '*', v = v * x;
    case '/', v = v / x;
  end
end
