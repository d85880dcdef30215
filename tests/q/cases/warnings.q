%% a warning prints through the error handler
warning('my:warn', 'careful with %d', 3)     % expect: Warning: careful with 3
%% a warning that is off prints nothing
warning('off', 'my:quiet');
warning('my:quiet', 'not shown');
disp('done')                                 % expect: done
%% turning it on again
warning('off', 'my:toggle');
warning('on', 'my:toggle');
warning('my:toggle', 'shown again')          % expect: Warning: shown again
%% query gives a struct with identifier and state
warning('off', 'my:q');
s = warning('query', 'my:q');
s.identifier                                 % expect: ans = my:q
s.state                                      % expect: ans = off
%% query of a warning never set is on
s = warning('query', 'never:set');
s.state                                      % expect: ans = on
%% restoring a saved state
saved = warning('query', 'my:r');
warning('off', 'my:r');
warning('my:r', 'hidden');
warning(saved);
warning('my:r', 'visible')                   % expect: Warning: visible
%% warning off returns the previous state
old = warning('off', 'my:prev');
old.state                                    % expect: ans = on
warning(old);
s = warning('query', 'my:prev');
s.state                                      % expect: ans = on
%% all turns every warning off
warning('off', 'all');
warning('any:thing', 'silent');
warning('on', 'all');
warning('any:thing', 'loud')                 % expect: Warning: loud
%% command syntax for warnings
warning off cmd:id
s = warning('query', 'cmd:id');
s.state                                      % expect: ans = off
%% a warning without an identifier
warning('just a message')                    % expect: Warning: just a message
%% lastwarn
warning('last:one', 'the last');
[msg, id] = lastwarn();
disp(id)                                     % expect: Warning: the last
% expect: last:one
%% the state is the process-wide warning context
warning('off', 'shared:ctx');
s = warning('query', 'shared:ctx');
s.state                                      % expect: ans = off
