function v = pn_convert(value, from, to)
% Converts a length between units through metres.
metres = struct('m', 1, 'km', 1000, 'cm', 0.01, 'inch', 0.0254, 'ft', 0.3048);
for u = {from, to}
  if ~isfield(metres, u{1})
    error('units:unknown', 'unknown unit ''%s''', u{1});
  end
end
v = value * metres.(from) / metres.(to);
