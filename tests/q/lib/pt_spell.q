function s = pt_spell(n)
% An integer below a million in English words.
small = {'one', 'two', 'three', 'four', 'five', 'six', 'seven', 'eight', 'nine', 'ten', ...
         'eleven', 'twelve', 'thirteen', 'fourteen', 'fifteen', 'sixteen', 'seventeen', ...
         'eighteen', 'nineteen'};
tens = {'', 'twenty', 'thirty', 'forty', 'fifty', 'sixty', 'seventy', 'eighty', 'ninety'};
if n == 0
  s = 'zero';
elseif n < 20
  s = small{n};
elseif n < 100
  s = tens{floor(n / 10)};
  if mod(n, 10)
    s = [s, '-', small{mod(n, 10)}];
  end
elseif n < 1000
  s = [small{floor(n / 100)}, ' hundred'];
  if mod(n, 100)
    s = [s, ' ', pt_spell(mod(n, 100))];
  end
else
  s = [pt_spell(floor(n / 1000)), ' thousand'];
  if mod(n, 1000)
    s = [s, ' ', pt_spell(mod(n, 1000))];
  end
end
