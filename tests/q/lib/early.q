function r = early(x)
r = 'small';
if x < 10
  return
end
r = 'large';
