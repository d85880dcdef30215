-- mandelbrot: the n by n bitmap of the Mandelbrot set over [-1.5, 0.5] x [-1, 1], 50 iterations
-- at most; prints how many points are inside and a checksum of the bitmap packed eight points to a
-- byte, rows in order.
local n = tonumber(arg and arg[1]) or 1200

local function main()
  local inside, checksum = 0, 0
  for y = 0, n - 1 do
    local ci = 2 * y / n - 1
    local bits, bitCount = 0, 0
    for x = 0, n - 1 do
      local cr = 2 * x / n - 1.5
      local zr, zi, tr, ti = 0.0, 0.0, 0.0, 0.0
      local point = 1
      for i = 1, 50 do
        zi = 2 * zr * zi + ci
        zr = tr - ti + cr
        tr = zr * zr
        ti = zi * zi
        if tr + ti > 4 then
          point = 0
          break
        end
      end
      inside = inside + point
      bits = bits * 2 + point
      bitCount = bitCount + 1
      if bitCount == 8 then
        checksum = (checksum * 31 + bits) % 1000000007
        bits, bitCount = 0, 0
      end
    end
    if bitCount > 0 then
      bits = bits * 2 ^ (8 - bitCount)
      checksum = (checksum * 31 + bits) % 1000000007
    end
  end
  print(string.format("%d points inside\nchecksum %d", inside, checksum))
end

main()
