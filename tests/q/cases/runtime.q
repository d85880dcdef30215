%% exist codes
x = 1;
exist('x')                                    % expect: ans = 1
exist('fib')                                  % expect: ans = 2
exist('sin')                                  % expect: ans = 5
exist('nothingByThisName')                    % expect: ans = 0
exist('fib', 'file')                          % expect: ans = 2
exist('x', 'var')                             % expect: ans = 1
exist('fib', 'var')                           % expect: ans = 0
exist('/tmp', 'dir')                          % expect: ans = 7
%% the start-up script text runs
if (exist('startup','file') == 2) ||...
   (exist('startup','file') == 6)
  startup
end
disp('no startup')                            % expect: no startup
%% which
w = which('fib');
[~, name] = fileparts2(w);
name                                          % expect: name = fib.q
which('max')                                  % expect: built-in (max)
isempty(which('nothingByThisName'))           % expect: ans = 1
%% which of a variable
v = 3;
which('v')                                    % expect: v is a variable.
%% help gives the comment block after the declaration
help('fib')                                   % expect: fib(n): the n-th Fibonacci number, by plain recursion.
%% help of a script gives its leading comments
h = help('setupvars');
strtrim(h)                                    % expect: ans = A script: it works in the workspace of whoever runs it.
%% eval in the caller workspace
eval('q = 5;');
q                                             % expect: q = 5
%% eval with an output
r = eval('3 * 4')                             % expect: r = 12
%% eval displays what is not suppressed
eval('z = 1')                                 % expect: z = 1
%% isdeployed and ctfroot
isdeployed                                    % expect: ans = 0
ischar(ctfroot)                               % expect: ans = 1
%% rtksetcomponentdata sets ctfroot
rtksetcomponentdata('blob a', 'blob b', '/opt/component');
ctfroot                                       % expect: ans = /opt/component
%% javaaddpath adds entries at the end
javaaddpath({'/a.jar', '/b'}, '-end');
javaaddpath('/first.jar', '-begin');
javaclasspath()'                              % expect: ans = {'/first.jar'} {'/a.jar'} {'/b'}
%% javaaddpath warns about an entry already there
javaaddpath('/a.jar');
javaaddpath('/a.jar')                         % expect: Warning: '/a.jar' is already on the dynamic Java class path.
%% the warning is silenced the way the start-up step does it
javaaddpath('/a.jar');
saved = warning('query', 'Sorvel:javaclasspath:jarAlreadySpecified');
warning('off', 'Sorvel:javaclasspath:jarAlreadySpecified');
javaaddpath({'/a.jar'}, '-end');
warning(saved);
disp('quiet')                                 % expect: quiet
%% tic and toc
tic;
t = toc;
t >= 0                                        % expect: ans = 1
%% pause of zero seconds
pause(0);
disp('resumed')                               % expect: resumed
%% rand is reproducible per instance and in range
r = rand(1, 1000);
all(r >= 0 & r < 1)                           % expect: ans = 1
size(rand(2, 3))                              % expect: ans = 2 3
rng(7); a = rand(); rng(7); b = rand();
a == b                                        % expect: ans = 1
%% randn has roughly unit spread
r = randn(1, 20000);
abs(mean(r)) < 0.05                           % expect: ans = 1
abs(std2(r) - 1) < 0.05                       % expect: ans = 1
%% random arrays of a size no array can have are refused
randn(2, 7.7e87)                              % expect-error: Q:outOfMemory
%% nargin outside a function
nargin                                        % expect-error: Q:notInFunction
%% clear a variable
a = 1; b = 2;
clear a
exist('a')                                    % expect: ans = 0
exist('b')                                    % expect: ans = 1
%% isequal across classes and containers
isequal([1 2], [1 2])                         % expect: ans = 1
isequal(1, true)                              % expect: ans = 1
isequal({1, 'a'}, {1, 'a'})                   % expect: ans = 1
isequal({1, 'a'}, {1, 'b'})                   % expect: ans = 0
s.a = 1; t.a = 1;
isequal(s, t)                                 % expect: ans = 1
