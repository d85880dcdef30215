function nbody_vec(n)
% nbody, written with whole-array operations: the bodies are column vectors, the pairwise
% differences 5 by 5 matrices, and the velocity change of a step one matrix-vector product per
% coordinate. Prints what nbody.q prints.
if nargin < 1
  n = 500000;
end
solarMass = 4 * pi * pi;
daysPerYear = 365.24;
x = [0; 4.84143144246472090e+00; 8.34336671824457987e+00; 1.28943695621391310e+01; ...
     1.53796971148509165e+01];
y = [0; -1.16032004402742839e+00; 4.12479856412430479e+00; -1.51111514016986312e+01; ...
     -2.59193146099879641e+01];
z = [0; -1.03622044471123109e-01; -4.03523417114321381e-01; -2.23307578892655734e-01; ...
     1.79258772950371181e-01];
vx = daysPerYear * [0; 1.66007664274403694e-03; -2.76742510726862411e-03; ...
                    2.96460137564761618e-03; 2.68067772490389322e-03];
vy = daysPerYear * [0; 7.69901118419740425e-03; 4.99852801234917238e-03; ...
                    2.37847173959480950e-03; 1.62824170038242295e-03];
vz = daysPerYear * [0; -6.90460016972063023e-05; 2.30417297573763929e-05; ...
                    -2.96589568540237556e-05; -9.51592254519715870e-05];
m = solarMass * [1; 9.54791938424326609e-04; 2.85885980666130812e-04; ...
                 4.36624404335156298e-05; 5.15138902046611451e-05];
self = logical(eye(numel(m)));

% The sun moves so that the total momentum is zero.
vx(1) = -sum(vx .* m) / solarMass;
vy(1) = -sum(vy .* m) / solarMass;
vz(1) = -sum(vz .* m) / solarMass;

fprintf('%.9f\n', energy(x, y, z, vx, vy, vz, m, self));
dt = 0.01;
for step = 1:n
  dx = x - x';
  dy = y - y';
  dz = z - z';
  distanceSquared = dx .* dx + dy .* dy + dz .* dz;
  magnitude = dt ./ (distanceSquared .* sqrt(distanceSquared));
  magnitude(self) = 0;
  vx = vx - (dx .* magnitude) * m;
  vy = vy - (dy .* magnitude) * m;
  vz = vz - (dz .* magnitude) * m;
  x = x + dt * vx;
  y = y + dt * vy;
  z = z + dt * vz;
end
fprintf('%.9f\n', energy(x, y, z, vx, vy, vz, m, self));
end

function e = energy(x, y, z, vx, vy, vz, m, self)
dx = x - x';
dy = y - y';
dz = z - z';
pairs = (m * m') ./ sqrt(dx .* dx + dy .* dy + dz .* dz);
pairs(self) = 0;
e = 0.5 * sum(m .* (vx .* vx + vy .* vy + vz .* vz)) - sum(pairs(:)) / 2;
end
