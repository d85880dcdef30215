function name = pt_weekday(y, m, d)
% The day of the week of a Gregorian date by Zeller's congruence.
names = {'Saturday', 'Sunday', 'Monday', 'Tuesday', 'Wednesday', 'Thursday', 'Friday'};
if m < 3
  m = m + 12;
  y = y - 1;
end
K = mod(y, 100);
J = floor(y / 100);
h = mod(d + floor(13 * (m + 1) / 5) + K + floor(K / 4) + floor(J / 4) + 5 * J, 7);
name = names{h + 1};
