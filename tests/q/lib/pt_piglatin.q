function out = pt_piglatin(sentence)
% Pig latin: a word starting with a vowel gets 'way', else its leading consonants move back + 'ay'.
words = strsplit(sentence, ' ');
for k = 1:numel(words)
  w = words{k};
  t = regexp(w, '^([^aeiou]*)(.*)$', 'tokens', 'once');
  if isempty(t{1})
    words{k} = [w, 'way'];
  else
    words{k} = [t{2}, t{1}, 'ay'];
  end
end
out = strjoin(words, ' ');
