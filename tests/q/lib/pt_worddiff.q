function lines = pt_worddiff(a, b)
% A word diff of two texts from their longest common subsequence: ' w' kept, '-w' removed,
% '+w' added.
a = strsplit(a);
b = strsplit(b);
m = numel(a);
n = numel(b);
L = zeros(m + 1, n + 1);
for i = m:-1:1
  for j = n:-1:1
    if strcmp(a{i}, b{j})
      L(i, j) = L(i + 1, j + 1) + 1;
    else
      L(i, j) = max(L(i + 1, j), L(i, j + 1));
    end
  end
end
lines = {};
i = 1;
j = 1;
while i <= m || j <= n
  if i <= m && j <= n && strcmp(a{i}, b{j})
    lines{end + 1} = [' ', a{i}];
    i = i + 1;
    j = j + 1;
  elseif j <= n && (i > m || L(i, j + 1) >= L(i + 1, j))
    lines{end + 1} = ['+', b{j}];
    j = j + 1;
  else
    lines{end + 1} = ['-', a{i}];
    i = i + 1;
  end
end
