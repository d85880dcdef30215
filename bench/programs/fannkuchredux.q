function fannkuchredux(n)
% fannkuch-redux: for every permutation of 0..n-1, counts the prefix reversals ("flips") that
% bring 0 to the front; prints a checksum of the counts and the largest count.
if nargin < 1
  n = 10;
end
perm1 = 0:n - 1;
count = zeros(1, n);
maxFlips = 0;
checksum = 0;
permutationCount = 0;
r = n;
while true
  while r ~= 1
    count(r) = r;
    r = r - 1;
  end

  perm = perm1;
  flips = 0;
  k = perm(1);
  while k ~= 0
    i = 1;
    j = k + 1;
    while i < j
      t = perm(i);
      perm(i) = perm(j);
      perm(j) = t;
      i = i + 1;
      j = j - 1;
    end
    flips = flips + 1;
    k = perm(1);
  end
  if flips > maxFlips
    maxFlips = flips;
  end
  if mod(permutationCount, 2) == 0
    checksum = checksum + flips;
  else
    checksum = checksum - flips;
  end

  % The next permutation: rotate the first r + 1 elements until a counter runs out.
  while true
    if r == n
      fprintf('%d\nPfannkuchen(%d) = %d\n', checksum, n, maxFlips);
      return;
    end
    first = perm1(1);
    for i = 1:r
      perm1(i) = perm1(i + 1);
    end
    perm1(r + 1) = first;
    count(r + 1) = count(r + 1) - 1;
    if count(r + 1) > 0
      break;
    end
    r = r + 1;
  end
  permutationCount = permutationCount + 1;
end
end
