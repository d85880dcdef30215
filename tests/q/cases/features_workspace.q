%% a global shared by two calls and the script
disp(pf_globalinc(2))                     % expect: 2
disp(pf_globalinc(3))                     % expect: 5
global PF_TOTAL
disp(PF_TOTAL)                            % expect: 5
PF_TOTAL = 100;
disp(pf_globalinc(1))                     % expect: 101
%% a variable of the same name without a global declaration is local
pf_globalinc(1);
disp(pf_localshadow())                    % expect: -1
global PF_TOTAL
disp(PF_TOTAL)                            % expect: 1
%% an undeclared global reads as empty
global PF_NEVER_SET
disp(isempty(PF_NEVER_SET))               % expect: 1
%% clear global removes the globals
pf_globalinc(5);
clear global
global PF_TOTAL
disp(isempty(PF_TOTAL))                   % expect: 1
%% persistent state survives between calls and starts empty
a = counter();
b = counter();
fprintf('%d %d\n', a, b);                 % expect: 1 2
%% exist reports variables, files, built-ins and nothing
x = 1;
fprintf('%d %d %d %d\n', exist('x'), exist('counter'), exist('max'), exist('no_such_thing_here'));   % expect: 1 2 5 0
fprintf('%d %d\n', exist('x', 'var'), exist('counter', 'var'));   % expect: 1 0
%% which names files and built-ins
w = which('max');
disp(w)                                   % expect: built-in (max)
p = which('counter');
disp(p(end - 8:end))                      % expect: counter.q
x = 3;
disp(which('x'))                          % expect: x is a variable.
disp(isempty(which('no_such_thing_here')))   % expect: 1
%% eval runs statements in the current workspace
eval('e1 = 6;');
disp(e1 * 2)                              % expect: 12
eval('e2 = e1 + 1');                      % expect: e2 = 7
%% eval of an expression with an output
v = eval('3 * 4');
disp(v)                                   % expect: 12
%% eval with a catch text runs it when the first text fails
eval('error(''q:e'', ''no'')', 'caught = 1;');
disp(caught)                              % expect: 1
%% eval of a syntax error raises it
eval('x = (1 + ;')                        % expect-error: Q:syntaxError
%% eval inside a function sees that function's variables
disp(pf_evalin(4))                        % expect: 16
%% ans holds the last unassigned value
3 + 4;
disp(ans)                                 % expect: 7
max([1 8 2]);
disp(ans)                                 % expect: 8
disp(pf_ansuser())                        % expect: 14
%% clear removes named variables and leaves others
a = 1;
b = 2;
clear a
fprintf('%d %d\n', exist('a'), exist('b'));   % expect: 0 1
clear
disp(exist('b'))                          % expect: 0
%% warnings print once when on and not when off
warning('tst:w', 'first %d', 1);         % expect: Warning: first 1
warning('off', 'tst:w');
warning('tst:w', 'silent');
warning('on', 'tst:w');
warning('tst:w', 'again');                % expect: Warning: again
%% lastwarn keeps the last warning even when it is off
warning('off', 'tst:quiet');
warning('tst:quiet', 'hidden text');
[msg, id] = lastwarn();
fprintf('%s|%s\n', msg, id);              % expect: hidden text|tst:quiet
%% lastwarn can be cleared and set, to detect a warning that is turned off
warning('off', 'tst:silent');
lastwarn('');
warning('tst:silent', 'it happened at %d', 3);
[msg, id] = lastwarn();
fprintf('%d %s %s\n', isempty(msg), id, msg);   % expect: 0 tst:silent it happened at 3
lastwarn('set by hand', 'my:id');
[msg, id] = lastwarn();
fprintf('%s|%s\n', msg, id);              % expect: set by hand|my:id
old = lastwarn('');
disp(old)                                 % expect: set by hand
disp(isempty(lastwarn()))                 % expect: 1
%% warning query reports the state
warning('off', 'tst:q');
s = warning('query', 'tst:q');
fprintf('%s %s\n', s.identifier, s.state);   % expect: tst:q off
%% tic and toc measure elapsed time
t0 = tic;
e = toc(t0);
fprintf('%d %d\n', isnumeric(e), e >= 0);   % expect: 1 1
%% isdeployed answers false outside a deployed component
disp(isdeployed())                        % expect: 0
%% scripts share the caller's workspace
existing = 10;
setupvars
fprintf('%d %d\n', scriptValue, doubled);   % expect: 7 20
