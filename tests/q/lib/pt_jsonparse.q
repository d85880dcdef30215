function v = pt_jsonparse(text)
% Parses JSON text by recursive descent: objects become structs, arrays cells, null [],
% true and false logical values, numbers doubles.
[v, pos] = value(text, skip(text, 1));
pos = skip(text, pos);
if pos <= numel(text)
  error('json:trailing', 'unexpected ''%c'' at %d', text(pos), pos);
end
end

function pos = skip(text, pos)
while pos <= numel(text) && any(text(pos) == sprintf(' \t\n\r'))
  pos = pos + 1;
end
end

function [v, pos] = value(text, pos)
if pos > numel(text)
  error('json:eof', 'unexpected end of text');
end
c = text(pos);
switch c
  case '{'
    [v, pos] = object(text, pos);
  case '['
    [v, pos] = array(text, pos);
  case '"'
    [v, pos] = str(text, pos);
  otherwise
    tok = regexp(text(pos:end), '^(-?\d+(\.\d+)?([eE][-+]?\d+)?|true|false|null)', 'match', 'once');
    if isempty(tok)
      error('json:token', 'unexpected ''%c'' at %d', c, pos);
    end
    switch tok
      case 'true', v = true;
      case 'false', v = false;
      case 'null', v = [];
      otherwise, v = str2double(tok);
    end
    pos = pos + numel(tok);
end
end

function [s, pos] = object(text, pos)
s = struct();
pos = skip(text, pos + 1);
if pos <= numel(text) && text(pos) == '}'
  pos = pos + 1;
  return
end
while true
  [key, pos] = str(text, skip(text, pos));
  pos = skip(text, pos);
  if pos > numel(text) || text(pos) ~= ':'
    error('json:colon', 'expected : at %d', pos);
  end
  [s.(key), pos] = value(text, skip(text, pos + 1));
  pos = skip(text, pos);
  if pos <= numel(text) && text(pos) == ','
    pos = pos + 1;
  elseif pos <= numel(text) && text(pos) == '}'
    pos = pos + 1;
    return
  else
    error('json:object', 'expected , or } at %d', pos);
  end
end
end

function [c, pos] = array(text, pos)
c = {};
pos = skip(text, pos + 1);
if pos <= numel(text) && text(pos) == ']'
  pos = pos + 1;
  return
end
while true
  [c{end + 1}, pos] = value(text, skip(text, pos));
  pos = skip(text, pos);
  if pos <= numel(text) && text(pos) == ','
    pos = pos + 1;
  elseif pos <= numel(text) && text(pos) == ']'
    pos = pos + 1;
    return
  else
    error('json:array', 'expected , or ] at %d', pos);
  end
end
end

function [s, pos] = str(text, pos)
if pos > numel(text) || text(pos) ~= '"'
  error('json:string', 'expected a string at %d', pos);
end
s = '';
pos = pos + 1;
while pos <= numel(text) && text(pos) ~= '"'
  if text(pos) == '\'
    pos = pos + 1;
    switch text(pos)
      case 'n', s(end + 1) = sprintf('\n');
      case 't', s(end + 1) = sprintf('\t');
      otherwise, s(end + 1) = text(pos);
    end
  else
    s(end + 1) = text(pos);
  end
  pos = pos + 1;
end
if pos > numel(text)
  error('json:eof', 'unterminated string');
end
pos = pos + 1;
end
