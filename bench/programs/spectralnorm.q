function spectralnorm(n)
% spectral-norm: the largest singular value of the infinite matrix
% A(i,j) = 1/((i+j)(i+j+1)/2+i+1) cut to n by n, by ten rounds of the power method on A'A.
if nargin < 1
  n = 800;
end
u = ones(1, n);
v = zeros(1, n);
for round = 1:10
  v = multiplyAtAv(u, n);
  u = multiplyAtAv(v, n);
end
vBv = 0;
vv = 0;
for i = 1:n
  vBv = vBv + u(i) * v(i);
  vv = vv + v(i) * v(i);
end
fprintf('%.9f\n', sqrt(vBv / vv));
end

function value = a(i, j)
ij = i + j - 2;
value = 1 / (ij * (ij + 1) / 2 + i);
end

function av = multiplyAv(v, count)
av = zeros(1, count);
for i = 1:count
  total = 0;
  for j = 1:count
    total = total + a(i, j) * v(j);
  end
  av(i) = total;
end
end

function atv = multiplyAtv(v, count)
atv = zeros(1, count);
for i = 1:count
  total = 0;
  for j = 1:count
    total = total + a(j, i) * v(j);
  end
  atv(i) = total;
end
end

function atav = multiplyAtAv(v, count)
atav = multiplyAtv(multiplyAv(v, count), count);
end
