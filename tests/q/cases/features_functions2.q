%% an input the caller did not pass is reported as missing
try
  pf_twoargs(1);
catch err
  fprintf('%s | %s\n', err.identifier, err.message);   % expect: Q:NotEnoughInputs | Not enough input arguments.
end
disp(pf_twoargs(1, 2))                    % expect: 3
%% a missing input inside an expression or an index is reported the same way
pf_missingidx(5)                          % expect-error: Q:NotEnoughInputs
%% a local variable read before assignment is still undefined
pf_readlocal()                            % expect-error: Q:undefined
%% nargin decides the defaults
disp(pf_defaults(1))                      % expect: 1:1:10:none
disp(pf_defaults(1, [], 'x'))             % expect: 3:1:10:x
disp(pf_defaults(1, 2))                   % expect: 2:1:2:none
%% nargout tells a function how many outputs to compute
a = pf_outs();
[a, b] = pf_outs();
[a, b, c] = pf_outs();
disp([a b c])                             % expect: 1 2 3
%% asking for an output the function did not set is an error
[p, q] = pf_half(-1);                     % expect-error: Q:undefinedOutput
%% asking for more outputs than declared is an error
[a, b, c] = pf_half(4);                   % expect-error: Q:TooManyOutputs
%% calling a function with more inputs than declared is an error
pf_half(1, 2)                             % expect-error: Q:TooManyInputs
%% a function without outputs used as a value is an error
x = pc_setlevel(1);                       % expect-error: Q:TooManyOutputs
%% varargin takes the arguments after the named ones
disp(pf_sumall(1, [2 3], {4, {5, 6}}))    % expect: 21
disp(pf_sumall())                         % expect: 0
%% nargout seen by a function in different call positions
[~] = pf_report();                        % expect: nargout=1
[~, ~] = pf_report();                     % expect: nargout=2
pf_report();                              % expect: nargout=0
v = [pf_report(), 5];                     % expect: nargout=1
%% persistent variables of two local functions are separate
[x, y] = pf_twocounters();
[x, y] = pf_twocounters();
fprintf('%d %d\n', x, y);                 % expect: 2 120
%% clear all resets persistent variables
counter();
counter();
clear all
disp(counter())                           % expect: 1
%% clear functions resets persistent variables
counter();
clear functions
disp(counter())                           % expect: 1
%% clear with a function name resets that function's persistent variables only
counter();
counter();
pf_twocounters();
clear counter
disp(counter())                           % expect: 1
[x, y] = pf_twocounters();
fprintf('%d %d\n', x, y);                 % expect: 2 120
%% clear with a variable name keeps persistent variables of other functions
counter();
v = 1;
clear v
disp(counter())                           % expect: 2
disp(exist('v'))                          % expect: 0
%% return from inside nested loops
disp(pf_earlyret([1 2; 3 -4]))            % expect: -4
disp(pf_earlyret([1 2; 3 4]))             % expect: 0
