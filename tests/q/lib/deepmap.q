function r = deepmap(n)
% Recurses without end through cellfun and an anonymous function.
r = cellfun(@(k) deepmap(k + 1), {n});
