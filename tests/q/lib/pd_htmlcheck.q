function msg = pd_htmlcheck(html)
% Checks that the tags of an HTML fragment nest; void tags (br, img) need no end tag.
tags = regexp(html, '<(/?)(\w+)[^>]*?(/?)>', 'tokens');
stack = {};
for k = 1:numel(tags)
  [closing, name, selfclosing] = tags{k}{:};
  name = lower(name);
  if ~isempty(selfclosing) || any(strcmp(name, {'br', 'img'}))
    continue
  end
  if isempty(closing)
    stack{end + 1} = name;
  elseif isempty(stack)
    msg = sprintf('unexpected </%s>', name);
    return
  elseif ~strcmp(stack{end}, name)
    msg = sprintf('</%s> closes <%s>', name, stack{end});
    return
  else
    stack(end) = [];
  end
end
if isempty(stack)
  msg = 'ok';
else
  msg = ['unclosed: ', strjoin(stack, ' ')];
end
