function order = pd_toposort(tasks)
% Orders a struct array of tasks (fields name, after) so that each task follows those it names
% in 'after'; a cycle is the error pd:cycle.
n = numel(tasks);
names = {tasks.name};
state = zeros(1, n);
order = {};
for k = 1:n
  [state, order] = visit(k, tasks, names, state, order);
end
end

function [state, order] = visit(k, tasks, names, state, order)
if state(k) == 2
  return
end
if state(k) == 1
  error('pd:cycle', 'cycle through %s', names{k});
end
state(k) = 1;
for d = tasks(k).after
  j = find(strcmp(names, d{1}));
  [state, order] = visit(j, tasks, names, state, order);
end
state(k) = 2;
order{end + 1} = names{k};
end
