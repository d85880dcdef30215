-- binary-trees: builds many complete binary trees bottom up, counts their nodes, and keeps one
-- long-lived tree meanwhile. A node is a table {left, right}; a leaf is an empty table.
local n = tonumber(arg and arg[1]) or 15

local function bottomUpTree(depth)
  if depth > 0 then
    depth = depth - 1
    return {bottomUpTree(depth), bottomUpTree(depth)}
  else
    return {}
  end
end

local function itemCheck(tree)
  if tree[1] then
    return 1 + itemCheck(tree[1]) + itemCheck(tree[2])
  else
    return 1
  end
end

local function main()
  local minDepth = 4
  local maxDepth = math.max(minDepth + 2, n)
  local stretchDepth = maxDepth + 1
  print(string.format("stretch tree of depth %d\t check: %d", stretchDepth,
                      itemCheck(bottomUpTree(stretchDepth))))
  local longLivedTree = bottomUpTree(maxDepth)
  for depth = minDepth, maxDepth, 2 do
    local iterations = 2 ^ (maxDepth - depth + minDepth)
    local check = 0
    for i = 1, iterations do
      check = check + itemCheck(bottomUpTree(depth))
    end
    print(string.format("%d\t trees of depth %d\t check: %d", iterations, depth, check))
  end
  print(string.format("long lived tree of depth %d\t check: %d", maxDepth,
                      itemCheck(longLivedTree)))
end

main()
