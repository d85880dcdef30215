function varargout = pf_report()
% Prints the nargout it was called with and returns that many values.
fprintf('nargout=%d\n', nargout);
for k = 1:max(nargout, 1)
  varargout{k} = k;
end
