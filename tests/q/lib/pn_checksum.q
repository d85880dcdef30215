function [adler, fletcher] = pn_checksum(text)
% Adler-32 and Fletcher-16 of the character codes of a text.
a = 1;
b = 0;
s1 = 0;
s2 = 0;
for c = double(text)
  a = mod(a + c, 65521);
  b = mod(b + a, 65521);
  s1 = mod(s1 + c, 255);
  s2 = mod(s2 + s1, 255);
end
adler = b * 65536 + a;
fletcher = s2 * 256 + s1;
