function n = pt_fromroman(r)
% Value of a Roman numeral: a digit smaller than the next one counts negative.
map = struct('I', 1, 'V', 5, 'X', 10, 'L', 50, 'C', 100, 'D', 500, 'M', 1000);
v = zeros(1, length(r));
for k = 1:length(r)
  v(k) = map.(r(k));
end
n = sum(v(1:end - 1) .* (2 * (v(1:end - 1) >= v(2:end)) - 1)) + v(end);
