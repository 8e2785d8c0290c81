#!/usr/bin/env python3
"""Writes tests/data/classic_pairs.json: Laplace pairs of the classes that the
test sets of the field single out (periodic and delayed transforms, poles near
the imaginary axis met at large t, growing functions, Bessel, diffusion) and
hostile ones (a singularity right of the range searched), with f(t) to 30
digits from closed forms in mpmath, in the schema of the shared table.

Each closed form is checked against mpmath's own inversion (de Hoog at high
degree and precision) at the times where that converges, or, for the pairs
with content high up the line that no inversion of mpmath's resolves, by its
forward transform (quadrature at two points s); a pair whose check fails is
reported and the script exits 1.

    /usr/bin/python3 tests/support/make_classic_pairs.py tests/data/classic_pairs.json
"""
import json
import sys

import mpmath as mp

mp.mp.dps = 60

# Times with no jump, kink or zero of the functions below.
GRID = ["0.3", "1.3", "2.7", "5.2", "10.6", "21.1", "50.4"]
SMOOTH = ["0.5", "1", "2.5", "5", "10", "20", "50"]


def frac(t):
    return t - mp.floor(t)


# id, category, tags, F (mpmath), F (C++), f (mpmath, of an mpf t), abscissa,
# times, notes; optional "search": the sigma range searched instead of the
# one right of the abscissa (the hostile pairs).
PAIRS = [
    # Periodic: poles on the imaginary axis up to any height.
    dict(id="per_square01", category="periodic", tags=["jump", "oscillatory"],
         F_text="1/(s(1+e^-s))", F=lambda s: 1 / (s * (1 + mp.exp(-s))),
         F_cpp="1.0/(s*(1.0+std::exp(-s)))",
         f_text="1 on [2k, 2k+1), 0 on [2k+1, 2k+2)", f=lambda t: (1 + (-1) ** int(mp.floor(t))) / 2,
         abscissa=0.0, times=["0.3", "2.7", "4.25", "10.6", "12.75", "20.5", "50.4"]),
    dict(id="per_square_pm", category="periodic", tags=["jump", "oscillatory"],
         F_text="tanh(s/2)/s", F=lambda s: mp.tanh(s / 2) / s,
         F_cpp="(1.0-std::exp(-s))/(s*(1.0+std::exp(-s)))",
         f_text="(-1)^floor(t)", f=lambda t: mp.mpf((-1) ** int(mp.floor(t))),
         abscissa=0.0, times=GRID),
    dict(id="per_triangle", category="periodic", tags=["kink", "oscillatory"],
         F_text="tanh(s/2)/s^2", F=lambda s: mp.tanh(s / 2) / s**2,
         F_cpp="(1.0-std::exp(-s))/(s*s*(1.0+std::exp(-s)))",
         f_text="1 - |t mod 2 - 1|", f=lambda t: 1 - abs(mp.fmod(t, 2) - 1),
         abscissa=0.0, times=GRID),
    dict(id="per_sawtooth", category="periodic", tags=["jump", "oscillatory"],
         F_text="1/s^2 - e^-s/(s(1-e^-s))", F=lambda s: 1 / s**2 - mp.exp(-s) / (s * (1 - mp.exp(-s))),
         F_cpp="1.0/(s*s)-std::exp(-s)/(s*(1.0-std::exp(-s)))",
         f_text="t - floor(t)", f=frac, abscissa=0.0, times=GRID),
    dict(id="per_staircase", category="periodic", tags=["jump", "polynomial_growth"],
         F_text="1/(s(1-e^-s))", F=lambda s: 1 / (s * (1 - mp.exp(-s))),
         F_cpp="1.0/(s*(1.0-std::exp(-s)))",
         f_text="floor(t) + 1", f=lambda t: mp.floor(t) + 1, abscissa=0.0, times=GRID),
    dict(id="per_half_sine", category="periodic", tags=["kink", "oscillatory"],
         F_text="1/((s^2+1)(1-e^(-pi s)))", F=lambda s: 1 / ((s**2 + 1) * (1 - mp.exp(-mp.pi * s))),
         F_cpp="1.0/((s*s+1.0)*(1.0-std::exp(-3.14159265358979323846*s)))",
         f_text="max(sin t, 0)", f=lambda t: max(mp.sin(t), mp.mpf(0)),
         abscissa=0.0, times=["0.3", "1.3", "2.7", "7", "13", "20", "50.5"]),
    dict(id="per_full_sine", category="periodic", tags=["kink", "oscillatory"],
         F_text="coth(pi s/2)/(s^2+1)", F=lambda s: mp.coth(mp.pi * s / 2) / (s**2 + 1),
         F_cpp="(1.0+std::exp(-3.14159265358979323846*s))/((1.0-std::exp(-3.14159265358979323846*s))*(s*s+1.0))",
         f_text="|sin t|", f=lambda t: abs(mp.sin(t)), abscissa=0.0, times=GRID),
    # Delayed: a factor e^(-a s).
    dict(id="del_ramp", category="delayed", tags=["kink", "delay", "polynomial_growth"],
         F_text="e^(-2s)/s^2", F=lambda s: mp.exp(-2 * s) / s**2, F_cpp="std::exp(-2.0*s)/(s*s)",
         f_text="(t-2) H(t-2)", f=lambda t: t - 2, abscissa=0.0,
         times=["2.3", "2.7", "3.5", "5.2", "10.6", "21.1", "50.4"]),
    dict(id="del_sin2", category="delayed", tags=["kink", "delay", "oscillatory"],
         F_text="e^-s/(s^2+4)", F=lambda s: mp.exp(-s) / (s**2 + 4), F_cpp="std::exp(-s)/(s*s+4.0)",
         f_text="H(t-1) sin(2(t-1))/2", f=lambda t: mp.sin(2 * (t - 1)) / 2, abscissa=0.0,
         times=["1.3", "1.7", "2.7", "5.2", "10.6", "21.1", "50.4"]),
    dict(id="del_inv_sqrt", category="delayed", tags=["jump", "delay", "singular_at_0", "slowly_decaying_F"],
         F_text="e^-s/sqrt(s)", F=lambda s: mp.exp(-s) / mp.sqrt(s), F_cpp="std::exp(-s)/std::sqrt(s)",
         f_text="H(t-1)/sqrt(pi (t-1))", f=lambda t: 1 / mp.sqrt(mp.pi * (t - 1)), abscissa=0.0,
         times=["1.3", "1.7", "2.7", "5.2", "10.6", "21.1", "50.4"]),
    dict(id="del_damped", category="delayed", tags=["jump", "delay", "decaying"],
         F_text="e^(-0.5s)/(s+0.5)", F=lambda s: mp.exp(-s / 2) / (s + mp.mpf("0.5")),
         F_cpp="std::exp(-0.5*s)/(s+0.5)",
         f_text="H(t-0.5) e^(-(t-0.5)/2)", f=lambda t: mp.exp(-(t - mp.mpf("0.5")) / 2), abscissa=-0.5,
         times=["0.7", "1.3", "2.7", "5.2", "10.6", "21.1", "50.4"]),
    # Poles near the imaginary axis, met at large t.
    dict(id="axis_step_cos2", category="imaginary_poles", tags=["oscillatory", "constant_limit"],
         F_text="1/(s(s^2+4))", F=lambda s: 1 / (s * (s**2 + 4)), F_cpp="1.0/(s*(s*s+4.0))",
         f_text="(1-cos 2t)/4", f=lambda t: (1 - mp.cos(2 * t)) / 4, abscissa=0.0, times=SMOOTH),
    dict(id="axis_step_cos10", category="imaginary_poles", tags=["oscillatory", "high_frequency"],
         F_text="1/s + s/(s^2+100)", F=lambda s: 1 / s + s / (s**2 + 100), F_cpp="1.0/s+s/(s*s+100.0)",
         f_text="1 + cos 10t", f=lambda t: 1 + mp.cos(10 * t), abscissa=0.0, times=GRID),
    dict(id="axis_damped20", category="imaginary_poles", tags=["oscillatory", "high_frequency", "decaying"],
         F_text="1/(s+1) + 20/((s+0.1)^2+400)",
         F=lambda s: 1 / (s + 1) + 20 / ((s + mp.mpf("0.1")) ** 2 + 400),
         F_cpp="1.0/(s+1.0)+20.0/((s+0.1)*(s+0.1)+400.0)",
         f_text="e^-t + e^(-t/10) sin 20t", f=lambda t: mp.exp(-t) + mp.exp(-t / 10) * mp.sin(20 * t),
         abscissa=-0.1, times=GRID),
    dict(id="axis_cos5", category="imaginary_poles", tags=["oscillatory", "high_frequency"],
         F_text="s/(s^2+25)", F=lambda s: s / (s**2 + 25), F_cpp="s/(s*s+25.0)",
         f_text="cos 5t", f=lambda t: mp.cos(5 * t), abscissa=0.0, times=GRID),
    dict(id="axis_sin20", category="imaginary_poles", tags=["oscillatory", "high_frequency"],
         F_text="1/(s^2+400)", F=lambda s: 1 / (s**2 + 400), F_cpp="1.0/(s*s+400.0)",
         f_text="sin(20t)/20", f=lambda t: mp.sin(20 * t) / 20, abscissa=0.0, times=GRID),
    dict(id="axis_tsin", category="imaginary_poles", tags=["oscillatory", "polynomial_growth"],
         F_text="s/(s^2+1)^2", F=lambda s: s / (s**2 + 1) ** 2, F_cpp="s/((s*s+1.0)*(s*s+1.0))",
         f_text="t sin(t)/2", f=lambda t: t * mp.sin(t) / 2, abscissa=0.0, times=GRID),
    dict(id="axis_step_cos10_small", category="imaginary_poles", tags=["oscillatory", "high_frequency"],
         F_text="1/(s(s^2+100))", F=lambda s: 1 / (s * (s**2 + 100)), F_cpp="1.0/(s*(s*s+100.0))",
         f_text="(1-cos 10t)/100", f=lambda t: (1 - mp.cos(10 * t)) / 100, abscissa=0.0, times=GRID),
    # Growing.
    dict(id="grow_sinh", category="growing", tags=["exponential_growth"],
         F_text="1/(s^2-1)", F=lambda s: 1 / (s**2 - 1), F_cpp="1.0/((s-1.0)*(s+1.0))",
         f_text="sinh t", f=mp.sinh, abscissa=1.0, times=SMOOTH),
    dict(id="grow_two_poles", category="growing", tags=["exponential_growth"],
         F_text="1/(s-2) + 1/(s+1)", F=lambda s: 1 / (s - 2) + 1 / (s + 1), F_cpp="1.0/(s-2.0)+1.0/(s+1.0)",
         f_text="e^2t + e^-t", f=lambda t: mp.exp(2 * t) + mp.exp(-t), abscissa=2.0, times=SMOOTH),
    dict(id="grow_cos", category="growing", tags=["exponential_growth", "oscillatory"],
         F_text="(s-1)/((s-1)^2+1)", F=lambda s: (s - 1) / ((s - 1) ** 2 + 1),
         F_cpp="(s-1.0)/((s-1.0)*(s-1.0)+1.0)", f_text="e^t cos t", f=lambda t: mp.exp(t) * mp.cos(t),
         abscissa=1.0, times=GRID),
    dict(id="grow_root", category="growing", tags=["exponential_growth", "singular_at_0", "slowly_decaying_F"],
         F_text="1/sqrt(s-1)", F=lambda s: 1 / mp.sqrt(s - 1), F_cpp="1.0/std::sqrt(s-1.0)",
         f_text="e^t/sqrt(pi t)", f=lambda t: mp.exp(t) / mp.sqrt(mp.pi * t), abscissa=1.0, times=SMOOTH),
    # Bessel and diffusion.
    dict(id="bes_j0_5", category="bessel", tags=["oscillatory", "high_frequency"],
         F_text="1/sqrt(s^2+25)", F=lambda s: 1 / (mp.sqrt(s + 5j) * mp.sqrt(s - 5j)),
         F_cpp="1.0/(std::sqrt(s+std::complex<double>(0.0,5.0))*std::sqrt(s-std::complex<double>(0.0,5.0)))",
         f_text="J0(5t)", f=lambda t: mp.besselj(0, 5 * t), abscissa=0.0, times=GRID,
         notes="sqrt(s+5i) sqrt(s-5i): the cuts run left from +-5i, off every contour right of them"),
    dict(id="bes_tj0", category="bessel", tags=["oscillatory", "polynomial_growth"],
         F_text="s/(s^2+1)^(3/2)", F=lambda s: s / (mp.sqrt(s + 1j) * mp.sqrt(s - 1j)) ** 3,
         F_cpp="s/std::pow(std::sqrt(s+std::complex<double>(0.0,1.0))*std::sqrt(s-std::complex<double>(0.0,1.0)),3.0)",
         f_text="t J0(t)", f=lambda t: t * mp.besselj(0, t), abscissa=0.0, times=GRID),
    dict(id="bes_cos_sqrt", category="bessel", tags=["essential_singularity", "singular_at_0", "oscillatory"],
         F_text="e^(-1/s)/sqrt(s)", F=lambda s: mp.exp(-1 / s) / mp.sqrt(s), F_cpp="std::exp(-1.0/s)/std::sqrt(s)",
         f_text="cos(2 sqrt t)/sqrt(pi t)", f=lambda t: mp.cos(2 * mp.sqrt(t)) / mp.sqrt(mp.pi * t),
         abscissa=0.0, times=GRID),
    dict(id="diff_heat_kernel", category="diffusion", tags=["flat_at_0", "algebraic_tail"],
         F_text="e^(-sqrt s)/sqrt(s)", F=lambda s: mp.exp(-mp.sqrt(s)) / mp.sqrt(s),
         F_cpp="std::exp(-std::sqrt(s))/std::sqrt(s)",
         f_text="e^(-1/(4t))/sqrt(pi t)", f=lambda t: mp.exp(-1 / (4 * t)) / mp.sqrt(mp.pi * t),
         abscissa=0.0, times=SMOOTH),
    dict(id="diff_exp_2sqrt", category="diffusion", tags=["flat_at_0", "algebraic_tail"],
         F_text="e^(-2 sqrt s)", F=lambda s: mp.exp(-2 * mp.sqrt(s)), F_cpp="std::exp(-2.0*std::sqrt(s))",
         f_text="e^(-1/t)/sqrt(pi t^3)", f=lambda t: mp.exp(-1 / t) / mp.sqrt(mp.pi * t**3),
         abscissa=0.0, times=SMOOTH),
    # Hostile: a singularity right of every sigma searched. No method with
    # that shift can give f(t); none may say met.
    dict(id="hostile_pole_right", category="hostile", tags=["exponential_growth", "hard"],
         F_text="1/(s+1) + 1/(s-40)", F=lambda s: 1 / (s + 1) + 1 / (s - 40), F_cpp="1.0/(s+1.0)+1.0/(s-40.0)",
         f_text="e^-t + e^40t", f=lambda t: mp.exp(-t) + mp.exp(40 * t), abscissa=40.0,
         times=["0.1", "0.5", "1", "2.5", "5", "10", "15"], search=[0.0, 30.0]),
    dict(id="hostile_weak_pole_right", category="hostile", tags=["exponential_growth", "hard"],
         F_text="1/(s+1) + 1e-6/(s-2)", F=lambda s: 1 / (s + 1) + mp.mpf("1e-6") / (s - 2),
         F_cpp="1.0/(s+1.0)+1e-6/(s-2.0)", f_text="e^-t + 1e-6 e^2t",
         f=lambda t: mp.exp(-t) + mp.mpf("1e-6") * mp.exp(2 * t), abscissa=2.0, times=SMOOTH,
         search=[0.0, 1.5]),
    dict(id="hostile_root_right", category="hostile", tags=["exponential_growth", "singular_at_0", "hard"],
         F_text="1/sqrt(s-1)", F=lambda s: 1 / mp.sqrt(s - 1), F_cpp="1.0/std::sqrt(s-1.0)",
         f_text="e^t/sqrt(pi t)", f=lambda t: mp.exp(t) / mp.sqrt(mp.pi * t), abscissa=1.0, times=SMOOTH,
         search=[0.0, 0.75]),
    # The default range [0, 30): poles on the line of the lowest sigma, high up,
    # and singularities right of it beside a step or a ramp on it.
    dict(id="imag_step_cos20", category="imaginary_poles", tags=["oscillatory", "hard"],
         F_text="1/s + s/(s^2+400)", F=lambda s: 1 / s + s / (s**2 + 400), F_cpp="1.0/s+s/(s*s+400.0)",
         f_text="1 + cos(20t)", f=lambda t: 1 + mp.cos(20 * t), abscissa=0.0, times=GRID,
         search=[0.0, 30.0]),
    dict(id="imag_cube_10", category="imaginary_poles", tags=["oscillatory", "hard"],
         F_text="1/(s(s^2+100))", F=lambda s: 1 / (s * (s**2 + 100)), F_cpp="1.0/(s*(s*s+100.0))",
         f_text="(1 - cos(10t))/100", f=lambda t: (1 - mp.cos(10 * t)) / 100, abscissa=0.0, times=GRID,
         search=[0.0, 30.0]),
    dict(id="hostile_step_high_pole", category="hostile", tags=["exponential_growth", "oscillatory", "hard"],
         F_text="1/s + 1/((s-0.5)^2+400)", F=lambda s: 1 / s + 1 / ((s - mp.mpf("0.5")) ** 2 + 400),
         F_cpp="1.0/s+1.0/((s-0.5)*(s-0.5)+400.0)", f_text="1 + e^(t/2) sin(20t)/20",
         f=lambda t: 1 + mp.exp(t / 2) * mp.sin(20 * t) / 20, abscissa=0.5, times=GRID, search=[0.0, 30.0]),
    dict(id="hostile_ramp_high_pole", category="hostile", tags=["exponential_growth", "oscillatory", "hard"],
         F_text="1/s^2 + 1/((s-0.3)^2+900)", F=lambda s: 1 / s**2 + 1 / ((s - mp.mpf("0.3")) ** 2 + 900),
         F_cpp="1.0/(s*s)+1.0/((s-0.3)*(s-0.3)+900.0)", f_text="t + e^(0.3t) sin(30t)/30",
         f=lambda t: t + mp.exp(mp.mpf("0.3") * t) * mp.sin(30 * t) / 30, abscissa=0.3, times=GRID,
         search=[0.0, 30.0]),
    dict(id="hostile_high_pole_right", category="hostile", tags=["exponential_growth", "oscillatory", "hard"],
         F_text="1/s + 1/((s-0.5)^2+400)", F=lambda s: 1 / s + 1 / ((s - mp.mpf("0.5")) ** 2 + 400),
         F_cpp="1.0/s+1.0/((s-0.5)*(s-0.5)+400.0)", f_text="1 + e^(t/2) sin(20t)/20",
         f=lambda t: 1 + mp.exp(t / 2) * mp.sin(20 * t) / 20, abscissa=0.5, times=GRID, search=[0.0, 0.4]),
    # High up the line: poles and branch points far above the heights a few
    # dozen terms of a continued fraction reach, beside a slowly decaying
    # 1/s (a small residue high up, a lightly damped 10 Hz mode, a 60 Hz
    # rectifier, a fast square wave, branch points at +-50i). "forward": the
    # pieces of the forward check's quadrature, short beside f's fastest
    # oscillation, with f's kinks and jumps on their ends.
    dict(id="high_residue50", category="high_content", tags=["oscillatory", "hard"],
         F_text="1/s + 0.001 s/(s^2+2500)", F=lambda s: 1 / s + mp.mpf("0.001") * s / (s**2 + 2500),
         F_cpp="1.0/s+0.001*s/(s*s+2500.0)", f_text="1 + 0.001 cos(50t)",
         f=lambda t: 1 + mp.mpf("0.001") * mp.cos(50 * t), abscissa=0.0,
         times=["0.3", "1.3", "3", "5.2", "10.6", "21.1"], forward=mp.pi / 100),
    dict(id="high_plant_10hz", category="high_content", tags=["oscillatory", "decaying", "hard"],
         F_text="3969/(s(s^2+1.26s+3969))", F=lambda s: 3969 / (s * (s**2 + mp.mpf("1.26") * s + 3969)),
         F_cpp="3969.0/(s*(s*s+1.26*s+3969.0))",
         f_text="1 - e^(-0.63t)(cos(wd t) + 0.63/wd sin(wd t)), wd = sqrt(3969 - 0.63^2)",
         f=lambda t: 1 - mp.exp(-mp.mpf("0.63") * t) * (
             mp.cos(mp.sqrt(3969 - mp.mpf("0.63") ** 2) * t)
             + mp.mpf("0.63") / mp.sqrt(3969 - mp.mpf("0.63") ** 2) * mp.sin(mp.sqrt(3969 - mp.mpf("0.63") ** 2) * t)),
         abscissa=0.0, times=["0.5", "1", "3", "5.2", "10.6"], forward=mp.pi / 126),
    dict(id="high_rectifier_60hz", category="high_content", tags=["kink", "oscillatory", "hard"],
         F_text="377/((s^2+377^2)(1-e^(-pi s/377)))",
         F=lambda s: 377 / ((s**2 + 377**2) * (1 - mp.exp(-mp.pi * s / 377))),
         F_cpp="377.0/((s*s+142129.0)*(1.0-std::exp(-3.14159265358979323846*s/377.0)))",
         f_text="max(sin(377t), 0)", f=lambda t: max(mp.sin(377 * t), mp.mpf(0)), abscissa=0.0,
         times=["0.0021", "0.1037", "0.5042", "1.0021"], forward=mp.pi / (4 * 377)),
    dict(id="high_square_fast", category="high_content", tags=["jump", "oscillatory", "hard"],
         F_text="1/(s(1+e^(-0.025s)))", F=lambda s: 1 / (s * (1 + mp.exp(-s / 40))),
         F_cpp="1.0/(s*(1.0+std::exp(-0.025*s)))",
         f_text="1 on [0.05k, 0.05k + 0.025), 0 on the rest",
         f=lambda t: mp.mpf(1 - int(mp.floor(40 * t)) % 2), abscissa=0.0,
         times=["0.0125", "0.0375", "0.1125", "1.0125", "5.0125"], forward=mp.mpf(1) / 80),
    dict(id="high_branch50", category="high_content", tags=["oscillatory", "singular_at_0", "hard"],
         F_text="log((s^2+2500)/s^2)", F=lambda s: mp.log((s**2 + 2500) / s**2),
         F_cpp="std::log((s*s+2500.0)/(s*s))", f_text="2 (1 - cos(50t))/t",
         f=lambda t: 2 * (1 - mp.cos(50 * t)) / t, abscissa=0.0, times=["1", "5.2", "10.6", "20.5"],
         forward=mp.pi / 100),
    # Before a delayed jump: f far below (or at) zero beside its later level,
    # where no relative request can be met by the discretisation error alone.
    dict(id="small_before_jump", category="delayed", tags=["jump", "delay", "hard"],
         F_text="1e-12/(s+1) + e^-s/s", F=lambda s: mp.mpf("1e-12") / (s + 1) + mp.exp(-s) / s,
         F_cpp="1e-12/(s+1.0)+std::exp(-s)/s", f_text="1e-12 e^-t + H(t-1)",
         f=lambda t: mp.mpf("1e-12") * mp.exp(-t) + (1 if t > 1 else 0), abscissa=0.0,
         times=["0.32", "0.7", "1.5", "3"]),
    dict(id="zero_before_jump5", category="delayed", tags=["jump", "delay", "hard"],
         F_text="e^(-5s)/s", F=lambda s: mp.exp(-5 * s) / s, F_cpp="std::exp(-5.0*s)/s",
         f_text="H(t-5)", f=lambda t: mp.mpf(1 if t > 5 else 0), abscissa=0.0,
         times=["0.5", "1.45", "4.5", "6", "12"]),
]


def forward(p, s):
    """|forward transform of the closed form at s - F(s)| / |F(s)|, by quadrature
    over the pair's pieces up to where e^(-s t) is below 1e-17."""
    piece = p["forward"]
    pieces = int(mp.ceil(40 / s.real / piece))
    nodes = [k * piece for k in range(pieces + 1)]
    with mp.workdps(30):
        total = mp.quad(lambda t: p["f"](t) * mp.exp(-s * t), nodes)
    return abs(total - p["F"](s)) / abs(p["F"](s))


def check(p, t):
    """|closed form - mpmath's de Hoog| / |f|, or None where it cannot tell."""
    try:
        with mp.workdps(40):
            v = mp.invertlaplace(p["F"], t, method="dehoog", degree=120)
    except Exception:
        return None
    exact = p["f"](t)
    return abs(v - exact) / abs(exact) if exact != 0 else abs(v)


def main():
    out = sys.argv[1]
    pairs, bad = [], []
    for p in PAIRS:
        values = []
        for ts in p["times"]:
            t = mp.mpf(ts)
            f = p["f"](t)
            values.append({"t": float(ts), "f": mp.nstr(f, 30, min_fixed=1, max_fixed=0),
                           "f_double": float(f)})
        # mpmath's inversion cannot reach every time (a jump nearby, large t):
        # the closed form must agree with it at the first two, or its forward
        # transform with F.
        if "forward" in p:
            worst = max(forward(p, mp.mpc(a, b)) for a, b in ((5, 1), (10, 30)))
        else:
            worst = max((e for e in (check(p, mp.mpf(ts)) for ts in p["times"][:2]) if e is not None),
                        default=None)
        if worst is None or worst > 1e-6:
            bad.append((p["id"], worst))
        entry = {k: p[k] for k in ("id", "category", "tags", "F_text", "F_cpp", "f_text", "abscissa")}
        entry["notes"] = p.get("notes", "")
        if "search" in p:
            entry["search"] = p["search"]
        entry["values"] = values
        pairs.append(entry)
    doc = {
        "schema": "laplace-pairs/1",
        "description": "Laplace pairs of the classes the classic test sets single out (periodic, "
                       "delayed, poles near the imaginary axis, growing, Bessel, diffusion) and hostile "
                       "ones, for the accuracy and honesty tests. Written by "
                       "tests/support/make_classic_pairs.py; do not edit.",
        "mpmath_version": mp.__version__,
        "digits": 30,
        "conventions": {"search": "the sigma range [lo, hi) searched instead of the one right of the "
                                  "abscissa: the default range, or one with a singularity right of "
                                  "its lowest sigma, where no value of a method on a line or a "
                                  "contour may be claimed"},
        "pairs": pairs,
    }
    with open(out, "w") as fh:
        json.dump(doc, fh, indent=1)
        fh.write("\n")
    for pid, err in bad:
        print(f"make_classic_pairs: {pid}: the closed form and mpmath's inversion differ ({err})",
              file=sys.stderr)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
