function pq = pd_pqpush(pq, name, pri)
% Inserts into a struct array kept in falling priority; equal priorities keep arrival order.
k = find([pq.pri] < pri, 1);
if isempty(k)
  k = numel(pq) + 1;
end
item = struct('name', name, 'pri', pri);
pq = [pq(1:k - 1), item, pq(k:end)];
