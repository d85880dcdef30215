function n = counter()
% Counts its calls in a persistent variable.
persistent calls
if isempty(calls)
  calls = 0;
end
calls = calls + 1;
n = calls;
