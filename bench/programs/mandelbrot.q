function mandelbrot(n)
% mandelbrot: the n by n bitmap of the Mandelbrot set over [-1.5, 0.5] x [-1, 1], 50 iterations
% at most; prints how many points are inside and a checksum of the bitmap packed eight points to
% a byte, rows in order. One point at a time.
if nargin < 1
  n = 1200;
end
inside = 0;
checksum = 0;
for y = 0:n - 1
  ci = 2 * y / n - 1;
  bits = 0;
  bitCount = 0;
  for x = 0:n - 1
    cr = 2 * x / n - 1.5;
    zr = 0;
    zi = 0;
    tr = 0;
    ti = 0;
    point = 1;
    for i = 1:50
      zi = 2 * zr * zi + ci;
      zr = tr - ti + cr;
      tr = zr * zr;
      ti = zi * zi;
      if tr + ti > 4
        point = 0;
        break;
      end
    end
    inside = inside + point;
    bits = bits * 2 + point;
    bitCount = bitCount + 1;
    if bitCount == 8
      checksum = mod(checksum * 31 + bits, 1000000007);
      bits = 0;
      bitCount = 0;
    end
  end
  if bitCount > 0
    bits = bits * 2 ^ (8 - bitCount);
    checksum = mod(checksum * 31 + bits, 1000000007);
  end
end
fprintf('%d points inside\nchecksum %d\n', inside, checksum);
end
