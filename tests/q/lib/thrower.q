function thrower(id)
% Raises an error two calls deep, for the stack.
inner(id);
end

function inner(id)
error(id, 'raised by inner with %d', 42);
end
