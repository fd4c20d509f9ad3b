! gfortran's own records (framing.bin) and ZEL_OP2_WMC called through the zel module (from_fortran.op2).
program interop
  use zel
  implicit none
  integer(c_int32_t) :: m = 2, n0 = 3, k = 1, fd = 0, names(5), i
  real(c_double) :: c1(6), c2(6), c3(6), t(3) = [0.5d0, 1d0, 1.5d0], u(6) = [(0.5d0 * i, i = 0, 5)], b(18) = [(1d0 - i, i = 1, 18)]
  character(len=24) :: file_name = 'from_fortran.op2'
  call ZEL_OP2_WMC(m, n0, k, names, c1, c2, c3, t, u, b, u, b, u, b, fd, file_name, int(len(file_name), c_int64_t))
  if (n0 /= 2) error stop 'num_steps not reduced to N0 - K'
  open(10, file='framing.bin', form='unformatted', access='sequential', status='replace')
  write(10)
  write(10) -3_c_int32_t, 2.5d0, 'AB'
  write(10) (i, i = 1, 10)
  close(10)
end program interop
