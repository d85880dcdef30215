function out = pt_lz78(mode, in)
% LZ78: 'encode' turns a text into pairs [index; char code] (index 0: the empty prefix);
% 'decode' turns them back. The dictionary is a cell of texts.
dict = {};
switch mode
  case 'encode'
    out = zeros(2, 0);
    cur = '';
    for c = in
      if any(strcmp(dict, [cur, c]))
        cur = [cur, c];
      else
        idx = find(strcmp(dict, cur));
        if isempty(idx)
          idx = 0;
        end
        out(:, end + 1) = [idx; double(c)];
        dict{end + 1} = [cur, c];
        cur = '';
      end
    end
    if ~isempty(cur)
      out(:, end + 1) = [find(strcmp(dict, cur)); 0];
    end
  case 'decode'
    out = '';
    for pair = in
      if pair(1) == 0
        prefix = '';
      else
        prefix = dict{pair(1)};
      end
      if pair(2) == 0
        piece = prefix;
      else
        piece = [prefix, char(pair(2))];
      end
      dict{end + 1} = piece;
      out = [out, piece];
    end
end
