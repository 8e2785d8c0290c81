#!/usr/bin/env python3
"""Writes tests/data/special_values.txt: reference values of the special
functions of complex argument (src/jit/special_functions.h), by mpmath at 30
significant digits, at points z spread over the plane where the inversion
methods sample: moduli from 1e-8 to 1e6, every argument, the real and
imaginary axes and both sides of the negative real axis included.

Each line: function, order nu, Re z, Im z, Re f, Im f, scale. The arguments
are written with 17 digits, so they are the doubles the values belong to.
`scale` is the modulus against which an error is measured where f is near a
zero: the size of the function's other solution there (|Y| for J, |J| for Y,
|K| for I, |pi I| for K in the left half plane, |erfc| for erf, and so on),
or |f| itself. A value beyond the double range is written as it is; the test
then asks for an infinite or a zero result.

Usage: python3 tests/support/make_special_values.py [OUTPUT]
"""
import os
import sys

import mpmath as mp

mp.mp.dps = 30

MODULI = [1e-8, 1e-3, 0.1, 0.7, 1.0, 1.9, 2.1, 4.0, 9.5, 17.0, 30.0, 55.0, 140.0, 1e3, 3e4, 1e6]
# Fractions of pi; 1 gives the upper side of the cut, -1 its lower side.
ANGLES = [0.0, 0.1, 0.25, 0.4, 0.5, 0.62, 0.75, 0.9, 0.97, 1.0, -0.2, -0.5, -0.8, -0.97, -1.0]
BESSEL_MODULI = [1e-8, 0.1, 1.0, 1.9, 2.1, 5.0, 12.0, 25.0, 55.0, 140.0, 3e3, 1e6]
BESSEL_ORDERS = [0.0, 1.0, 0.5, 2.5, 3.0, 10.0]


def points(moduli, angles):
    out = []
    for r in moduli:
        for a in angles:
            if a == 0.0:
                z = complex(r, 0.0)
            elif a == 0.5:
                z = complex(0.0, r)
            elif a == -0.5:
                z = complex(0.0, -r)
            elif a == 1.0:
                z = complex(-r, 0.0)
            elif a == -1.0:
                # Just below the cut, a tiny negative imaginary part.
                z = complex(-r, -r * 1e-12)
            else:
                w = mp.mpf(r) * mp.expjpi(a)
                z = complex(float(w.real), float(w.imag))
            out.append(z)
    return out


def fmt(v):
    return repr(float(v))


def value_line(name, nu, z, f, scale):
    return "%s %s %s %s %s %s %s" % (name, fmt(nu), fmt(z.real), fmt(z.imag),
                                     mp.nstr(mp.re(f), 20, min_fixed=1, max_fixed=0),
                                     mp.nstr(mp.im(f), 20, min_fixed=1, max_fixed=0),
                                     mp.nstr(scale, 6, min_fixed=1, max_fixed=0))


def main():
    out_path = sys.argv[1] if len(sys.argv) > 1 else os.path.normpath(os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "data", "special_values.txt"))
    lines = []
    # The Bessel functions on a sparser set of angles, six orders each.
    def bessel_lines(nu, z):
        """J, Y, I and K of order nu at z, each with the scale of its pair as the floor."""
        zz = mp.mpc(z)
        j, y = mp.besselj(nu, zz), mp.bessely(nu, zz)
        i, k = mp.besseli(nu, zz), mp.besselk(nu, zz)
        return [value_line("besselj", nu, z, j, max(abs(j), abs(y))),
                value_line("bessely", nu, z, y, max(abs(j), abs(y))),
                value_line("besseli", nu, z, i, max(abs(i), abs(k))),
                value_line("besselk", nu, z, k, max(abs(k), abs(mp.pi * i)))]

    bessel_points = points(BESSEL_MODULI, [0.0, 0.25, 0.5, 0.75, 0.97, 1.0, -0.3, -1.0])
    for nu in BESSEL_ORDERS:
        for z in bessel_points:
            lines += bessel_lines(nu, z)
    # Large orders: near overflow at small |z|, and where the Hankel
    # expansions' terms grow before they fall.
    for nu in [20.5, 45.0]:
        for z in points([1e-5, 30.0, 58.0, 300.0], [0.0, 0.47, 0.5, -0.55, 0.9]):
            lines += bessel_lines(nu, z)
    for z in points(MODULI, ANGLES):
        zz = mp.mpc(z)
        erf = mp.erf(zz)
        erfc = mp.erfc(zz)
        lines.append(value_line("erf", 0, z, erf, max(abs(erf), min(abs(erfc), 1))))
        lines.append(value_line("erfc", 0, z, erfc, max(abs(erfc), min(abs(erf), 1))))
        ez2 = mp.exp(zz * zz)
        erfcx = ez2 * erfc
        lines.append(value_line("erfcx", 0, z, erfcx, max(abs(erfcx), abs(ez2) * min(abs(erf), 1))))
        lines.append(value_line("expint", 0, z, mp.e1(zz), abs(mp.e1(zz))))
        if not (zz.imag == 0 and zz.real < 0 and zz.real == int(zz.real)):
            g = mp.gamma(zz)
            lines.append(value_line("gamma", 0, z, g, abs(g)))
            lg = mp.loggamma(zz)
            lines.append(value_line("lgamma", 0, z, lg, abs(lg)))
    # lgamma next to its zeros at 1 and 2 and gamma near its poles.
    for c in [1.0, 2.0]:
        for d in [1e-8, -3e-6, 1e-3, 0.05]:
            for z in [complex(c + d, 0.0), complex(c, d), complex(c + d, d)]:
                lg = mp.loggamma(mp.mpc(z))
                lines.append(value_line("lgamma", 0, z, lg, abs(lg)))
    for z in [complex(-3 + 1e-9, 0.0), complex(-0.5, 0.0), complex(-170.5, 0.0), complex(-20.3, 0.4),
              complex(0.5, 0.0), complex(171.0, 0.0), complex(100.0, 80.0)]:
        g = mp.gamma(mp.mpc(z))
        lines.append(value_line("gamma", 0, z, g, abs(g)))
    with open(out_path, "w") as f:
        f.write("# function nu re(z) im(z) re(f) im(f) scale; mpmath %s at %d digits, "
                "written by tests/support/make_special_values.py\n" % (mp.__version__, mp.mp.dps))
        f.write("\n".join(lines) + "\n")
    print("%d values written to %s" % (len(lines), out_path))


if __name__ == "__main__":
    main()
