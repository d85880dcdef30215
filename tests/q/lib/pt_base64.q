function out = pt_base64(s)
% Base64 text of the character codes of s (each below 256), three bytes to four characters.
table = ['A':'Z', 'a':'z', '0':'9', '+/'];
bytes = double(s);
pad = mod(3 - mod(numel(bytes), 3), 3);
bytes = [bytes, zeros(1, pad)];
out = '';
for k = 1:3:numel(bytes)
  n = bytes(k) * 65536 + bytes(k + 1) * 256 + bytes(k + 2);
  idx = mod(floor(n ./ 64 .^ (3:-1:0)), 64) + 1;
  out = [out, table(idx)];
end
out(end - pad + 1:end) = '=';
