// F(s) = w / ((s + d)^2 + w^2): f(t) = exp(-d t) sin(w t).
// Statements read the sample point `s` and assign `Fs`; d and w come from --param.
double2 q = make_cuDoubleComplex(s.x + d, s.y);
double2 q2 = cuCmul(q, q);
q2.x = q2.x + w * w;
Fs = cuCdiv(make_cuDoubleComplex(w, 0.0), q2);
