function s = pt_modestr(mode)
% A three-digit octal permission mode as rwx text.
letters = 'rwx';
s = '';
for d = sprintf('%03d', mode) - '0'
  bits = mod(floor(d ./ [4 2 1]), 2) == 1;
  part = '---';
  part(bits) = letters(bits);
  s = [s, part];
end
