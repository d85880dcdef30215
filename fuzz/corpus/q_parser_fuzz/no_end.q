function f
x = 1
function g
y = @() x;
