function [h, out] = pd_heap(op, h, x)
% A binary min-heap in a vector: 'push' adds x, 'pop' takes the smallest out into out.
out = [];
switch op
  case 'push'
    h(end + 1) = x;
    k = numel(h);
    while k > 1 && h(floor(k / 2)) > h(k)
      p = floor(k / 2);
      h([p k]) = h([k p]);
      k = p;
    end
  case 'pop'
    if isempty(h)
      error('heap:empty', 'pop from an empty heap');
    end
    out = h(1);
    h(1) = h(end);
    h(end) = [];
    k = 1;
    n = numel(h);
    while 2 * k <= n
      c = 2 * k;
      if c + 1 <= n && h(c + 1) < h(c)
        c = c + 1;
      end
      if h(k) <= h(c)
        break
      end
      h([k c]) = h([c k]);
      k = c;
    end
end
