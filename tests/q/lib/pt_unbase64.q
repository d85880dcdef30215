function s = pt_unbase64(code)
% Decodes pt_base64 text.
table = ['A':'Z', 'a':'z', '0':'9', '+/'];
pad = sum(code == '=');
code(code == '=') = 'A';
vals = arrayfun(@(c) find(table == c) - 1, code);
s = '';
for k = 1:4:numel(vals)
  n = sum(vals(k:k + 3) .* 64 .^ (3:-1:0));
  s = [s, char(mod(floor(n ./ 256 .^ (2:-1:0)), 256))];
end
s = s(1:end - pad);
