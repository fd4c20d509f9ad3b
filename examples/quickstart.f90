! zel from Fortran: write an RPC III file through the C functions and a
! punch file of modal results through the upper-case export routine.
program quickstart
  use, intrinsic :: iso_c_binding
  use zel
  implicit none
  integer, parameter :: n = 500, modes = 2
  real(c_double) :: signal(n), dt, steps(n), uh(n * modes), bh(n * 6)
  real(c_double), allocatable :: back(:)
  integer(c_int) :: status, rc, points, i
  integer(c_int32_t) :: nm, ns, nd, freq
  type(c_ptr) :: handle
  character(len=*), parameter :: rsp = 'quickstart_f.rsp', pch = 'quickstart_f.pch'

  do i = 1, n
    signal(i) = 100.0d0 * sin(0.05d0 * i)
    steps(i) = 0.01d0 * (i - 1)
  end do
  uh = 0.001d0
  bh = 0.5d0

  handle = zel_rpc_create(rsp // c_null_char, 1, n, 0.01d0, status)
  if (.not. c_associated(handle)) stop 1
  rc = zel_rpc_putchannel(handle, 1, n, signal, 'sine' // c_null_char, 'N' // c_null_char)
  rc = zel_rpc_writeclose(handle)

  ! First call: the size (the file holds whole frames, so points >= n).
  rc = zel_rpc_data(rsp // c_null_char, 1, points, dt)
  if (rc /= 0 .or. points < n) stop 2
  allocate(back(points))
  rc = zel_rpc_data(rsp // c_null_char, 1, points, dt, back)
  print '(a, i0, a, es10.3)', 'RPC III points: ', points, ', largest error: ', &
      maxval(abs(back(1:n) - signal))

  ! Counts go by reference and may be changed by the routine.
  nm = modes; ns = n; nd = 0; freq = 0
  call ZEL_PCH_WMC(nm, ns, nd, steps, uh, bh, uh, bh, uh, bh, freq, pch, &
                   int(len(pch), c_int64_t))
  print '(a)', 'punch file written: ' // pch
end program quickstart
