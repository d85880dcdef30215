function [accts, log] = pd_bank(accts, ops)
% Runs banking operations (rows of {op, account, amount}) on a struct of balances; a failure is
% logged with its identifier and message, and bank:fatal is passed on.
log = {};
for k = 1:size(ops, 1)
  [op, who, amt] = ops{k, :};
  try
    switch op
      case 'open'
        if isfield(accts, who)
          error('bank:exists', 'account %s already exists', who);
        end
        accts.(who) = 0;
        accts = deposit(accts, who, amt);
      case {'deposit', 'pay'}
        accts = deposit(accts, need(accts, who), amt);
      case 'withdraw'
        who = need(accts, who);
        if accts.(who) < amt
          error('bank:funds', '%s has %.2f, needs %.2f', who, accts.(who), amt);
        end
        accts.(who) = accts.(who) - amt;
      case 'halt'
        error('bank:fatal', 'halted at operation %d', k);
      otherwise
        error('bank:op', 'unknown operation %s', op);
    end
    log{end + 1} = sprintf('%s %s ok', op, who);
  catch err
    log{end + 1} = sprintf('%s failed: %s (%s)', op, err.identifier, err.message);
    if strcmp(err.identifier, 'bank:fatal')
      rethrow(err);
    end
  end
end
end

function accts = deposit(accts, who, amt)
if amt <= 0
  error('bank:amount', 'amount must be positive, got %g', amt);
end
accts.(who) = accts.(who) + amt;
end

function who = need(accts, who)
if ~isfield(accts, who)
  error('bank:noaccount', 'no account %s', who);
end
end
