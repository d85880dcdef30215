# nbody: five planets under gravity, stepped with a fixed time step; prints the total energy
# before and after. Bodies are kept in parallel lists.
import math
import sys


def energy(x, y, z, vx, vy, vz, m, count):
    e = 0.0
    for i in range(count):
        e = e + 0.5 * m[i] * (vx[i] * vx[i] + vy[i] * vy[i] + vz[i] * vz[i])
        for j in range(i + 1, count):
            dx = x[i] - x[j]
            dy = y[i] - y[j]
            dz = z[i] - z[j]
            e = e - (m[i] * m[j]) / math.sqrt(dx * dx + dy * dy + dz * dz)
    return e


def main(n):
    solar_mass = 4 * math.pi * math.pi
    days_per_year = 365.24
    x = [0.0, 4.84143144246472090e+00, 8.34336671824457987e+00, 1.28943695621391310e+01,
         1.53796971148509165e+01]
    y = [0.0, -1.16032004402742839e+00, 4.12479856412430479e+00, -1.51111514016986312e+01,
         -2.59193146099879641e+01]
    z = [0.0, -1.03622044471123109e-01, -4.03523417114321381e-01, -2.23307578892655734e-01,
         1.79258772950371181e-01]
    vx = [0.0, 1.66007664274403694e-03, -2.76742510726862411e-03, 2.96460137564761618e-03,
          2.68067772490389322e-03]
    vy = [0.0, 7.69901118419740425e-03, 4.99852801234917238e-03, 2.37847173959480950e-03,
          1.62824170038242295e-03]
    vz = [0.0, -6.90460016972063023e-05, 2.30417297573763929e-05, -2.96589568540237556e-05,
          -9.51592254519715870e-05]
    m = [1.0, 9.54791938424326609e-04, 2.85885980666130812e-04, 4.36624404335156298e-05,
         5.15138902046611451e-05]
    count = 5
    for i in range(count):
        vx[i] = vx[i] * days_per_year
        vy[i] = vy[i] * days_per_year
        vz[i] = vz[i] * days_per_year
        m[i] = m[i] * solar_mass

    # The sun moves so that the total momentum is zero.
    px = py = pz = 0.0
    for i in range(count):
        px = px + vx[i] * m[i]
        py = py + vy[i] * m[i]
        pz = pz + vz[i] * m[i]
    vx[0] = -px / solar_mass
    vy[0] = -py / solar_mass
    vz[0] = -pz / solar_mass

    print("%.9f" % energy(x, y, z, vx, vy, vz, m, count))
    dt = 0.01
    for step in range(n):
        for i in range(count):
            for j in range(i + 1, count):
                dx = x[i] - x[j]
                dy = y[i] - y[j]
                dz = z[i] - z[j]
                distance_squared = dx * dx + dy * dy + dz * dz
                magnitude = dt / (distance_squared * math.sqrt(distance_squared))
                mass_j = m[j] * magnitude
                vx[i] = vx[i] - dx * mass_j
                vy[i] = vy[i] - dy * mass_j
                vz[i] = vz[i] - dz * mass_j
                mass_i = m[i] * magnitude
                vx[j] = vx[j] + dx * mass_i
                vy[j] = vy[j] + dy * mass_i
                vz[j] = vz[j] + dz * mass_i
        for i in range(count):
            x[i] = x[i] + dt * vx[i]
            y[i] = y[i] + dt * vy[i]
            z[i] = z[i] + dt * vz[i]
    print("%.9f" % energy(x, y, z, vx, vy, vz, m, count))


main(int(sys.argv[1]) if len(sys.argv) > 1 else 500000)
