// Ends the single-precision naming begun by demote_begin.h.
#undef double
#undef double2
#undef make_cuDoubleComplex
#undef make_double2
#undef cuCabs
#undef cuCdiv
#undef cuCmul
#undef cuCadd
#undef cuCsub
#undef cuConj
#undef cuCreal
#undef cuCimag
