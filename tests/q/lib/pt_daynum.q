function n = pt_daynum(y, m, d)
% A day number of a Gregorian date; differences of day numbers count days.
if m < 3
  y = y - 1;
  m = m + 12;
end
n = 365 * y + floor(y / 4) - floor(y / 100) + floor(y / 400) + floor((153 * (m - 3) + 2) / 5) + d;
