function pc_load(name)
try
  pc_parse(name);
catch inner
  error('load:failed', 'cannot load %s: %s', name, inner.message);
end
