%% error with an identifier and format arguments
try
  error('app:range', 'value %d outside [%d, %d]', 12, 0, 10);
catch err
  fprintf('%s | %s\n', err.identifier, err.message);   % expect: app:range | value 12 outside [0, 10]
end
%% error with one argument takes it literally, even with colons or percents
try
  error('abc:def');
catch err
  fprintf('[%s] %d\n', err.message, isempty(err.identifier));   % expect: [abc:def] 1
end
try
  error('100% sure');
catch err
  disp(err.message)                       % expect: 100% sure
end
%% error with a format but no identifier
try
  error('count is %d', 5);
catch err
  fprintf('%s|%d\n', err.message, isempty(err.identifier));   % expect: count is 5|1
end
%% an identifier needs words joined by colons
try
  error('not an id: %s', 'x');
catch err
  fprintf('%s|%d\n', err.message, isempty(err.identifier));   % expect: not an id: x|1
end
try
  error('a:b:c', 'three parts');
catch err
  disp(err.identifier)                    % expect: a:b:c
end
%% escapes in an error format are translated
try
  error('my:id', 'line1\nline2');
catch err
  disp(numel(strfind(err.message, sprintf('\n'))))   % expect: 1
end
%% rethrow passes an error on unchanged
try
  try
    error('inner:id', 'inner message');
  catch e1
    rethrow(e1);
  end
catch e2
  fprintf('%s %s\n', e2.identifier, e2.message);   % expect: inner:id inner message
end
%% rethrow of a struct with identifier and message
try
  rethrow(struct('identifier', 'made:up', 'message', 'from a struct'));
catch err
  fprintf('%s %s\n', err.identifier, err.message);   % expect: made:up from a struct
end
%% lasterr holds the last error message
try
  error('x:y', 'remember me');
catch
end
disp(lasterr)                             % expect: remember me
%% an error inside a catch block replaces the first
try
  try
    error('first:e', 'first');
  catch
    error('second:e', 'second');
  end
catch err
  disp(err.identifier)                    % expect: second:e
end
%% errors from built-ins carry identifiers
ids = {};
tests = {@() [1 2] + [1 2 3], @() ones(2, 3) * ones(2, 3), @() undefined_name_q + 1, ...
         @() cell2mat(3), @() zeros(2)(3, 3), @() str2func(3), @() [1 2; 3]};
for k = 1:numel(tests)
  try
    tests{k}();
    ids{end + 1} = 'none';
  catch err
    ids{end + 1} = err.identifier;
  end
end
fprintf('%s\n', ids{:});
% expect: Q:sizeMismatch
% expect: Q:innerDimensions
% expect: Q:undefined
% expect: Q:invalidInput
% expect: Q:badsubscript
% expect: Q:invalidInput
% expect: Q:catDimensions
%% error messages of common mistakes
try
  x = [1 2 3];
  x(4)
catch err
  disp(err.identifier)                    % expect: Q:badsubscript
end
try
  q_not_defined_anywhere
catch err
  disp(err.message)                       % expect: Undefined function or variable 'q_not_defined_anywhere'.
end
%% an error in a function called from a loop stops the loop
out = [];
try
  for k = [2 5 0 3]
    out(end + 1) = 10 / pn_nonzero(k);
  end
catch err
  fprintf('%s after %d\n', err.identifier, numel(out));   % expect: pn:zero after 2
end
%% assert with a condition, a message, and an identifier with format
assert(true);
assert(1 == 1, 'never shown');
try
  assert(false, 'plain %s', 'text');
catch err
  disp(err.message)                       % expect: plain text
end
try
  assert(2 > 3, 'chk:cmp', '%d is not above %d', 2, 3);
catch err
  fprintf('%s %s\n', err.identifier, err.message);   % expect: chk:cmp 2 is not above 3
end
%% assert without a message
assert([1 1 0])                           % expect-error: Q:assertionFailed
%% the stack of an error from nested calls lists the frames innermost first
try
  pc_deep_err(2);
catch err
  fprintf('%d %s %d\n', numel(err.stack), err.stack(1).name, err.stack(1).line);   % expect: 4 pc_deep_err 3
  disp(strcmp(err.stack(2).name, err.stack(3).name))   % expect: 1
end
