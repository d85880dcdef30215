function out = pt_vigenere(text, key, direction)
% Vigenere cipher over upper-case letters; direction 1 encrypts, -1 decrypts.
out = text;
j = 0;
for k = 1:numel(text)
  c = text(k);
  if c >= 'A' && c <= 'Z'
    shift = key(mod(j, numel(key)) + 1) - 'A';
    out(k) = char(mod(c - 'A' + direction * shift, 26) + 'A');
    j = j + 1;
  end
end
