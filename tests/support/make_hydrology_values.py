#!/usr/bin/env python3
"""Writes tests/data/hydrology_values.txt: transforms of well hydraulics and heat conduction
written with the special functions of the formula grammar, with f(t) to 30 digits from mpmath.

    /usr/bin/python3 tests/support/make_hydrology_values.py > tests/data/hydrology_values.txt

Each f is exact where a closed form exists (Theis: f = E1(r^2/(4 D t))/2; the Gaussian:
f = 2 exp(-t^2)/sqrt(pi)), the pair checked by its forward transform at s = 3/2; the leaky aquifer is Hantush's integral
f = int_0^t exp(-c u - 1/(4u))/(2u) du by quadrature; the finite-radius well is inverted by
mpmath's Talbot at 40 digits and kept only where its de Hoog agrees to 25.
"""
import mpmath as mp

mp.mp.dps = 40

CASES = [
    # id, formula, parameters, f(t) (a function of mp numbers) or None, times
    ("theis_r1", "K0(r*sqrt(s/D))/s", {"r": 1.0, "D": 1.0},
     lambda t, p: mp.e1(p["r"] ** 2 / (4 * p["D"] * t)) / 2, [0.01, 0.03, 0.1, 0.3, 1, 3, 10, 30, 100]),
    ("theis_r100", "K0(r*sqrt(s/D))/s", {"r": 100.0, "D": 1000.0},
     lambda t, p: mp.e1(p["r"] ** 2 / (4 * p["D"] * t)) / 2, [0.3, 1, 3, 10, 30, 100]),
    ("leaky_c01", "K0(sqrt(s+c))/s", {"c": 0.1},
     lambda t, p: mp.quad(lambda u: mp.exp(-p["c"] * u - 1 / (4 * u)) / (2 * u), [0, mp.mpf(t) / 4, t]),
     [0.01, 0.1, 1, 10, 100]),
    ("finite_well", "K0(r*sqrt(s))/(s*sqrt(s)*K1(sqrt(s)))", {"r": 2.0}, None, [0.1, 0.5, 1, 5, 10, 50]),
    ("gauss_erfc", "exp(s^2/4)*erfc(s/2)", {}, lambda t, p: 2 * mp.exp(-mp.mpf(t) ** 2) / mp.sqrt(mp.pi),
     [0.1, 0.5, 1, 1.5, 2, 3]),
    ("gauss_erfcx", "erfcx(s/2)", {}, lambda t, p: 2 * mp.exp(-mp.mpf(t) ** 2) / mp.sqrt(mp.pi),
     [0.1, 0.5, 1, 1.5, 2, 3]),
]


def transform(formula, params):
    def F(s):
        r = params.get("r", 1.0)
        if formula.startswith("K0(r*sqrt(s/D))"):
            return mp.besselk(0, r * mp.sqrt(s / params["D"])) / s
        if formula.startswith("K0(sqrt(s+c))"):
            return mp.besselk(0, mp.sqrt(s + params["c"])) / s
        if formula.startswith("K0(r*sqrt(s))"):
            return mp.besselk(0, r * mp.sqrt(s)) / (s * mp.sqrt(s) * mp.besselk(1, mp.sqrt(s)))
        return mp.exp(s * s / 4) * mp.erfc(s / 2)
    return F


def main():
    print("# id formula params t f  (f to 30 digits; made by tests/support/make_hydrology_values.py)")
    for cid, formula, params, exact, times in CASES:
        F = transform(formula, params)
        text = ",".join(f"{k}={v!r}" for k, v in params.items()) or "-"
        for k, t in enumerate(times):
            if exact is not None:
                f = exact(t, params)
                if k == 0:  # the pair itself: the forward transform of f at s = 3/2
                    with mp.workdps(25):
                        forward = mp.quad(lambda u: mp.exp(-1.5 * u) * exact(u, params), [0, 1, 10, mp.inf])
                        assert abs(forward - F(mp.mpf(1.5))) <= mp.mpf(10) ** -15 * abs(forward), (cid, forward)
            else:
                f = mp.invertlaplace(F, t, method="talbot")
                other = mp.invertlaplace(F, t, method="dehoog")
                assert abs(other - f) <= mp.mpf(10) ** -25 * abs(f), (cid, t, f, other)
            print(f"{cid} {formula} {text} {t!r} {mp.nstr(f, 30)}", flush=True)


if __name__ == "__main__":
    main()
