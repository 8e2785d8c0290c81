// Single-precision build: the user's statements are written in double and
// double2, as for a device with double arithmetic. On a device without it every
// double operation runs in single precision; these names map the user's types
// and complex helpers to their single-precision twins so the host and CUDA
// builds compute the same way. demote_end.h restores the names.
#define double float
#define double2 float2
#define make_cuDoubleComplex make_cuFloatComplex
#define make_double2 make_float2
#define cuCabs cuCabsf
#define cuCdiv cuCdivf
#define cuCmul cuCmulf
#define cuCadd cuCaddf
#define cuCsub cuCsubf
#define cuConj cuConjf
#define cuCreal cuCrealf
#define cuCimag cuCimagf
