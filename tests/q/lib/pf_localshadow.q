function v = pf_localshadow()
% A local variable named like a global elsewhere, without a global declaration.
PF_TOTAL = -1;
v = PF_TOTAL;
