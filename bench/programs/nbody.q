function nbody(n)
% nbody: five planets under gravity, stepped with a fixed time step; prints the total energy
% before and after. Bodies are kept in parallel arrays, updated one element at a time.
if nargin < 1
  n = 500000;
end
solarMass = 4 * pi * pi;
daysPerYear = 365.24;

x = [0, 4.84143144246472090e+00, 8.34336671824457987e+00, 1.28943695621391310e+01, ...
     1.53796971148509165e+01];
y = [0, -1.16032004402742839e+00, 4.12479856412430479e+00, -1.51111514016986312e+01, ...
     -2.59193146099879641e+01];
z = [0, -1.03622044471123109e-01, -4.03523417114321381e-01, -2.23307578892655734e-01, ...
     1.79258772950371181e-01];
vx = [0, 1.66007664274403694e-03, -2.76742510726862411e-03, 2.96460137564761618e-03, ...
      2.68067772490389322e-03];
vy = [0, 7.69901118419740425e-03, 4.99852801234917238e-03, 2.37847173959480950e-03, ...
      1.62824170038242295e-03];
vz = [0, -6.90460016972063023e-05, 2.30417297573763929e-05, -2.96589568540237556e-05, ...
      -9.51592254519715870e-05];
m = [1, 9.54791938424326609e-04, 2.85885980666130812e-04, 4.36624404335156298e-05, ...
     5.15138902046611451e-05];
count = 5;
for i = 1:count
  vx(i) = vx(i) * daysPerYear;
  vy(i) = vy(i) * daysPerYear;
  vz(i) = vz(i) * daysPerYear;
  m(i) = m(i) * solarMass;
end

% The sun moves so that the total momentum is zero.
px = 0;
py = 0;
pz = 0;
for i = 1:count
  px = px + vx(i) * m(i);
  py = py + vy(i) * m(i);
  pz = pz + vz(i) * m(i);
end
vx(1) = -px / solarMass;
vy(1) = -py / solarMass;
vz(1) = -pz / solarMass;

fprintf('%.9f\n', energy(x, y, z, vx, vy, vz, m, count));
dt = 0.01;
for step = 1:n
  for i = 1:count
    for j = i + 1:count
      dx = x(i) - x(j);
      dy = y(i) - y(j);
      dz = z(i) - z(j);
      distanceSquared = dx * dx + dy * dy + dz * dz;
      magnitude = dt / (distanceSquared * sqrt(distanceSquared));
      massJ = m(j) * magnitude;
      vx(i) = vx(i) - dx * massJ;
      vy(i) = vy(i) - dy * massJ;
      vz(i) = vz(i) - dz * massJ;
      massI = m(i) * magnitude;
      vx(j) = vx(j) + dx * massI;
      vy(j) = vy(j) + dy * massI;
      vz(j) = vz(j) + dz * massI;
    end
  end
  for i = 1:count
    x(i) = x(i) + dt * vx(i);
    y(i) = y(i) + dt * vy(i);
    z(i) = z(i) + dt * vz(i);
  end
end
fprintf('%.9f\n', energy(x, y, z, vx, vy, vz, m, count));
end

function e = energy(x, y, z, vx, vy, vz, m, count)
e = 0;
for i = 1:count
  e = e + 0.5 * m(i) * (vx(i) * vx(i) + vy(i) * vy(i) + vz(i) * vz(i));
  for j = i + 1:count
    dx = x(i) - x(j);
    dy = y(i) - y(j);
    dz = z(i) - z(j);
    e = e - (m(i) * m(j)) / sqrt(dx * dx + dy * dy + dz * dz);
  end
end
end
