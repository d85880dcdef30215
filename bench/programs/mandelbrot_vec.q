function mandelbrot_vec(n)
% mandelbrot, written with whole-array operations: every point of the n by n grid takes each of
% the 50 iterations, and a point counts as outside from the first iteration it escapes on; points
% that escaped go on iterating (towards Inf and NaN) without changing the answer. Prints what
% mandelbrot.q prints.
if nargin < 1
  n = 1200;
end
cr = repmat(2 * (0:n - 1) / n - 1.5, n, 1);    % row y, column x
ci = repmat(2 * (0:n - 1)' / n - 1, 1, n);
zr = zeros(n);
zi = zeros(n);
tr = zeros(n);
ti = zeros(n);
escaped = false(n);
for i = 1:50
  zi = 2 * zr .* zi + ci;
  zr = tr - ti + cr;
  tr = zr .* zr;
  ti = zi .* zi;
  escaped = escaped | (tr + ti > 4);
end
points = ~escaped;

% Eight points to a byte, rows padded with zeros to whole bytes.
width = 8 * ceil(n / 8);
padded = zeros(n, width);
padded(:, 1:n) = points;
bytes = [128 64 32 16 8 4 2 1] * reshape(padded', 8, []);
checksum = 0;
for byte = bytes
  checksum = mod(checksum * 31 + byte, 1000000007);
end
fprintf('%d points inside\nchecksum %d\n', sum(points(:)), checksum);
end
