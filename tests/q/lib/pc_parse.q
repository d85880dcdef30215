function pc_parse(name)
if isempty(name)
  error('parse:empty', 'name is empty');
end
ext = regexp(name, '\.\w+$', 'match', 'once');
if ~strcmp(ext, '.cfg')
  error('parse:ext', 'extension %s is not .cfg', ext);
end
