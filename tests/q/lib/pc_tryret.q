function r = pc_tryret(x)
r = 0;
for k = 1:5
  try
    if k == x
      r = k;
      return
    end
    if k == 2
      continue
    end
    r = r + 10;
  catch
    r = -1;
  end
end
