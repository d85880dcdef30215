-- spectral-norm: the largest singular value of the infinite matrix A(i,j) = 1/((i+j)(i+j+1)/2+i+1)
-- cut to n by n, by ten rounds of the power method on A'A.
local n = tonumber(arg and arg[1]) or 800

local function a(i, j)
  local ij = i + j - 2
  return 1.0 / (ij * (ij + 1) / 2 + i)
end

local function multiplyAv(v, av, count)
  for i = 1, count do
    local total = 0.0
    for j = 1, count do
      total = total + a(i, j) * v[j]
    end
    av[i] = total
  end
end

local function multiplyAtv(v, atv, count)
  for i = 1, count do
    local total = 0.0
    for j = 1, count do
      total = total + a(j, i) * v[j]
    end
    atv[i] = total
  end
end

local function multiplyAtAv(v, atav, temporary, count)
  multiplyAv(v, temporary, count)
  multiplyAtv(temporary, atav, count)
end

local function main()
  local u, v, temporary = {}, {}, {}
  for i = 1, n do
    u[i] = 1.0
    v[i] = 0.0
    temporary[i] = 0.0
  end
  for round = 1, 10 do
    multiplyAtAv(u, v, temporary, n)
    multiplyAtAv(v, u, temporary, n)
  end
  local vBv, vv = 0.0, 0.0
  for i = 1, n do
    vBv = vBv + u[i] * v[i]
    vv = vv + v[i] * v[i]
  end
  print(string.format("%.9f", math.sqrt(vBv / vv)))
end

main()
