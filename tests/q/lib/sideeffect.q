function r = sideeffect(x)
% Prints that it ran, so tests can see whether it was called.
disp('sideeffect ran');
r = x;
