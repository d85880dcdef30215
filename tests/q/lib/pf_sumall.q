function total = pf_sumall(varargin)
% Sums every numeric argument, descending into cells.
total = 0;
for k = 1:nargin
  v = varargin{k};
  if iscell(v)
    total = total + pf_sumall(v{:});
  else
    total = total + sum(v(:));
  end
end
