function v = pf_thunk(x)
% Returns x squared and counts its calls in a global.
global PF_THUNK_CALLS
if isempty(PF_THUNK_CALLS)
  PF_THUNK_CALLS = 0;
end
PF_THUNK_CALLS = PF_THUNK_CALLS + 1;
v = x^2;
