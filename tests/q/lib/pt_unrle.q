function s = pt_unrle(code)
% Decodes the output of pt_rle.
parts = regexp(code, '(\d+)(\D)', 'tokens');
s = '';
for k = 1:numel(parts)
  s = [s, repmat(parts{k}{2}, 1, str2double(parts{k}{1}))];
end
