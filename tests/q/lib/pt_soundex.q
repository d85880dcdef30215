function code = pt_soundex(word)
% American Soundex: first letter, then the digits of the following consonant groups.
groups = {'BFPV', 'CGJKQSXZ', 'DT', 'L', 'MN', 'R'};
w = upper(word);
digitOf = @(c) find(cellfun(@(g) any(g == c), groups));
code = w(1);
last = digitOf(w(1));
for c = w(2:end)
  d = digitOf(c);
  if ~isempty(d) && (isempty(last) || d ~= last)
    code(end + 1) = char('0' + d);
  end
  if ~any(c == 'HW')
    last = d;
  end
end
code = [code, '000'];
code = code(1:4);
