function r = pf_runscript()
% Runs a script that reads and sets variables of this function's workspace.
existing = 7;
setupvars
r = doubled;
