-- fannkuch-redux: for every permutation of 0..n-1, counts the prefix reversals ("flips") that
-- bring 0 to the front; prints a checksum of the counts and the largest count.
local n = tonumber(arg and arg[1]) or 10

local function main()
  local perm, perm1, count = {}, {}, {}
  for i = 1, n do
    perm1[i] = i - 1
    perm[i] = 0
    count[i] = 0
  end
  local maxFlips, checksum, permutationCount = 0, 0, 0
  local r = n
  while true do
    while r ~= 1 do
      count[r] = r
      r = r - 1
    end

    for i = 1, n do
      perm[i] = perm1[i]
    end
    local flips = 0
    local k = perm[1]
    while k ~= 0 do
      local i, j = 1, k + 1
      while i < j do
        perm[i], perm[j] = perm[j], perm[i]
        i = i + 1
        j = j - 1
      end
      flips = flips + 1
      k = perm[1]
    end
    if flips > maxFlips then
      maxFlips = flips
    end
    if permutationCount % 2 == 0 then
      checksum = checksum + flips
    else
      checksum = checksum - flips
    end

    -- The next permutation: rotate the first r + 1 elements until a counter runs out.
    while true do
      if r == n then
        print(string.format("%d\nPfannkuchen(%d) = %d", checksum, n, maxFlips))
        return
      end
      local first = perm1[1]
      for i = 1, r do
        perm1[i] = perm1[i + 1]
      end
      perm1[r + 1] = first
      count[r + 1] = count[r + 1] - 1
      if count[r + 1] > 0 then
        break
      end
      r = r + 1
    end
    permutationCount = permutationCount + 1
  end
end

main()
