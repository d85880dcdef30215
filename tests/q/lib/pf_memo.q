function [v, computed] = pf_memo(f, x)
% Calls f(x) once per function text and integer argument, remembering results in a persistent
% struct; computed counts the real calls so far.
persistent cache calls
if isempty(cache)
  cache = struct();
  calls = 0;
end
key = sprintf('k%s_%d', regexprep(func2str(f), '\W', '_'), x);
if ~isfield(cache, key)
  cache.(key) = f(x);
  calls = calls + 1;
end
v = cache.(key);
computed = calls;
