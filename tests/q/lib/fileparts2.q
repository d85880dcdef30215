function [folder, name] = fileparts2(path)
% The folder and the file name of a path.
slash = strfind(path, '/');
if isempty(slash)
  folder = '';
  name = path;
else
  folder = path(1:slash(end) - 1);
  name = path(slash(end) + 1:end);
end
