function [passed, report] = pf_runtests(tests)
% Runs a struct array of tests (fields name, fn); a test fails when fn raises an error.
passed = 0;
report = {};
for t = tests
  try
    t.fn();
    passed = passed + 1;
  catch err
    report{end + 1} = sprintf('%s: %s [%s]', t.name, err.message, err.identifier);
  end
end
