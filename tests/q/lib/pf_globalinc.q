function v = pf_globalinc(step)
% Adds step to the global PF_TOTAL and returns it.
global PF_TOTAL
if isempty(PF_TOTAL)
  PF_TOTAL = 0;
end
PF_TOTAL = PF_TOTAL + step;
v = PF_TOTAL;
