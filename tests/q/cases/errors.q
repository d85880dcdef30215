%% error with an identifier and a format
error('my:id', 'value %d is too large', 7)   % expect-error: my:id
%% error with a message only
error('plain message')                       % expect-error:
%% try/catch gives identifier and message
try
  error('pkg:thing', 'bad %s', 'input');
catch err
  disp(err.identifier)                       % expect: pkg:thing
  disp(err.message)                          % expect: bad input
end
%% try/catch of a built-in error
try
  x = [1 2 3];
  y = x(5);
catch err
  disp(err.identifier)                       % expect: Q:badsubscript
end
%% try/catch of an undefined name names it
try
  notAFunctionAnywhere(1);
catch err
  disp(err.identifier)                       % expect: Q:undefined
  disp(err.message)                          % expect: Undefined function or variable 'notAFunctionAnywhere'.
end
%% the stack of an error lists file, function and line, innermost first
try
  thrower('deep:err');
catch err
  disp(err.stack(1).name)                    % expect: inner
  disp(err.stack(1).line)                    % expect: 7
  disp(err.stack(2).name)                    % expect: thrower
  disp(err.stack(2).line)                    % expect: 3
  [~, file] = fileparts2(err.stack(1).file);
  disp(file)                                 % expect: thrower.q
end
%% the message of an error raised in a function
try
  thrower('deep:err');
catch err
  disp(err.message)                          % expect: raised by inner with 42
end
%% catch without a variable
try
  error('x:y', 'z');
catch
  disp('caught')                             % expect: caught
end
%% try without an error skips the catch
try
  a = 1;
catch
  disp('never')
end
a                                            % expect: a = 1
%% rethrow keeps the identifier
try
  try
    error('first:id', 'original');
  catch inner
    rethrow(inner);
  end
catch outer
  disp(outer.identifier)                     % expect: first:id
  disp(outer.message)                        % expect: original
end
%% rethrow of an uncaught error leaves the call
try
  error('a:b', 'c');
catch e
end
rethrow(e)                                   % expect-error: a:b
%% error from a struct
s.identifier = 'from:struct';
s.message = 'made by hand';
error(s)                                     % expect-error: from:struct
%% lasterr holds the last message
try
  error('q:r', 'remember me');
catch
end
lasterr                                      % expect: ans = remember me
%% assert
assert(true);
assert(1 == 1, 'never shown');
disp('passed')                               % expect: passed
assert(false)                                % expect-error: Q:assertionFailed
%% assert with an identifier and a format
assert(2 > 3, 'check:order', 'order %d wrong', 5)   % expect-error: check:order
%% error with a percent sign and no values is formatted
try
  error('my:pct', '100%% done');
catch e
  disp(e.message)                            % expect: 100% done
end
%% an error inside a loop leaves the loop
for k = 1:5
  if k == 3
    error('loop:stop', 'stopped at %d', k);
  end
  disp(k)
end
% expect: 1
% expect: 2
% expect-error: loop:stop
%% errors in anonymous functions
f = @(x) x(10);
try
  f([1 2]);
catch err
  disp(err.identifier)                       % expect: Q:badsubscript
end
%% too many outputs from a built-in
[a, b] = numel([1 2])                        % expect-error: Q:TooManyOutputs
%% an error in a nested try is caught by the inner catch only
try
  try
    error('in:ner', 'x');
  catch
    disp('inner caught')                     % expect: inner caught
  end
  disp('after inner')                        % expect: after inner
catch
  disp('outer caught')
end
%% a syntax error in eval names the place
try
  eval('y = [1 2');
catch err
  disp(err.identifier)                       % expect: Q:syntaxError
end
%% eval with a catch text
eval('error(''e:v'', ''boom'')', 'disp(''recovered'')')   % expect: recovered
