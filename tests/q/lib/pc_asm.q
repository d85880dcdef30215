function out = pc_asm(prog)
% Runs a tiny register machine: set r v, add r s, mul r s, dec r, jnz r label, out r, and
% 'name:' labels. Registers and labels live in structs with dynamic fields.
regs = struct();
labels = struct();
for k = 1:numel(prog)
  t = regexp(prog{k}, '^(\w+):$', 'tokens', 'once');
  if ~isempty(t)
    labels.(t{1}) = k;
  end
end
out = [];
pc = 1;
steps = 0;
while pc <= numel(prog)
  steps = steps + 1;
  if steps > 1000
    error('asm:steps', 'too many steps');
  end
  parts = strsplit(prog{pc});
  op = parts{1};
  pc = pc + 1;
  switch op
    case 'set'
      regs.(parts{2}) = value(regs, parts{3});
    case 'add'
      regs.(parts{2}) = regs.(parts{2}) + value(regs, parts{3});
    case 'mul'
      regs.(parts{2}) = regs.(parts{2}) * value(regs, parts{3});
    case 'dec'
      regs.(parts{2}) = regs.(parts{2}) - 1;
    case 'jnz'
      if value(regs, parts{2}) ~= 0
        pc = labels.(parts{3});
      end
    case 'out'
      out(end + 1) = value(regs, parts{2});
    otherwise
      if op(end) ~= ':'
        error('asm:op', 'unknown instruction %s at line %d', op, pc - 1);
      end
  end
end
end

function v = value(regs, word)
v = str2double(word);
if isnan(v)
  if ~isfield(regs, word)
    error('asm:reg', 'register %s is not set', word);
  end
  v = regs.(word);
end
end
