function h = pf_gethandle()
% A handle to a local function, called from outside its file.
h = @triple;
end

function y = triple(x)
y = 3 * x;
end
