function out = pt_rle(s)
% Run-length encodes a text: 'aaab' gives '3a1b'.
out = '';
k = 1;
while k <= length(s)
  j = k;
  while j < length(s) && s(j + 1) == s(k)
    j = j + 1;
  end
  out = [out, sprintf('%d%c', j - k + 1, s(k))];
  k = j + 1;
end
