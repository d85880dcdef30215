function [total, frames] = pn_bowling(rolls)
% Ten-pin bowling: the running score after each frame.
frames = zeros(1, 10);
i = 1;
total = 0;
for f = 1:10
  if rolls(i) == 10
    total = total + 10 + rolls(i + 1) + rolls(i + 2);
    i = i + 1;
  elseif rolls(i) + rolls(i + 1) == 10
    total = total + 10 + rolls(i + 2);
    i = i + 2;
  else
    total = total + rolls(i) + rolls(i + 1);
    i = i + 2;
  end
  frames(f) = total;
end
