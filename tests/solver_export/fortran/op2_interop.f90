! A Fortran caller of the OUTPUT2 writer: calls ZEL_OP2_WMC through an
! explicit bind(C) interface (arguments by reference, the file name's length
! by value at the end), then writes the file it expects with its own
! unformatted sequential WRITE statements and compares the two byte for byte.
program op2_interop
  use, intrinsic :: iso_c_binding
  implicit none

  interface
    subroutine zel_op2_wmc(num_modes, num_steps, num_dropped_steps, name_list, &
                           column_1, column_2, column_3, step_values, uh_disp, bh_disp, &
                           uh_vel, bh_vel, uh_acc, bh_acc, frequency_domain, file_name, &
                           file_name_length) bind(C, name='ZEL_OP2_WMC')
      import :: c_int32_t, c_int64_t, c_double, c_char
      integer(c_int32_t), intent(inout) :: num_modes, num_steps, num_dropped_steps
      integer(c_int32_t), intent(inout) :: name_list(*)
      real(c_double), intent(inout) :: column_1(*), column_2(*), column_3(*)
      real(c_double), intent(in) :: step_values(*), uh_disp(*), bh_disp(*)
      real(c_double), intent(in) :: uh_vel(*), bh_vel(*), uh_acc(*), bh_acc(*)
      integer(c_int32_t), intent(in) :: frequency_domain
      character(kind=c_char), intent(in) :: file_name(*)
      integer(c_int64_t), value :: file_name_length
    end subroutine zel_op2_wmc
  end interface

  integer, parameter :: u = 10
  integer(c_int32_t) :: m, n0, k, fd, names(8), s
  real(c_double) :: col1(12), col2(12), col3(12)
  real(c_double) :: t(3), uh(3, 2), uv(3, 2), ua(3, 2), bd(3, 6), bv(3, 6), ba(3, 6)
  real(c_double) :: ft(2), uf(2, 4), bf(2, 12)
  character(len=40) :: fname

  ! ---- time output: M = 2, N0 = 3, K = 1 ----
  t = [0.5d0, 1.0d0, 1.5d0]
  uh = reshape([0d0, 1.5d0, -2d0, 3d0, 0d0, 7d0], [3, 2])
  uv = 0; uv(2, 2) = -0.5d0
  ua = 0
  bd = 0; bd(1, 3) = 2.5d0; bd(2, 6) = 1d100
  bv = 0
  ba = 0; ba(1, 1) = -1d0
  m = 2; n0 = 3; k = 1; fd = 0
  fname = 'zel_time.op2'   ! passed with its trailing blanks, as Fortran does
  call zel_op2_wmc(m, n0, k, names, col1, col2, col3, t, uh, bd, uv, bv, ua, ba, fd, &
                   fname, int(len(fname), c_int64_t))
  if (n0 /= 2 .or. m /= 2 .or. k /= 1) error stop 'num_steps not reduced to N0 - K'

  open(u, file='gfortran_time.op2', form='unformatted', access='sequential', status='replace')
  call table_block('TOL     ', 2, t)
  call matrix_head('UHT     ', [101, 6, 2, 2, 2, 2, 10000])
  do s = 1, 2
    call real_column(uh(s, :)); call real_column(uv(s, :)); call real_column(ua(s, :))
  end do
  call block_end()
  call matrix_head('BHT     ', [101, 6, 6, 2, 2, 6, 10000])
  do s = 1, 2
    call real_column(bd(s, :)); call real_column(bv(s, :)); call real_column(ba(s, :))
  end do
  call block_end()
  write(u) 0_c_int32_t
  close(u)
  call compare('zel_time.op2', 'gfortran_time.op2')

  ! ---- frequency output: M = 2, N0 = 2; velocity and acceleration unused ----
  ft = [10d0, 20d0]
  uf = 0; uf(1, 2) = 1.5d0; uf(2, 3) = -4d0     ! (s, 2j-1) real part, (s, 2j) imaginary
  bf = 0; bf(1, 4) = 2d0; bf(2, 1) = 1d0
  m = 2; n0 = 2; k = 1; fd = 1
  fname = 'zel_freq.op2'
  call zel_op2_wmc(m, n0, k, names, col1, col2, col3, ft, uf, bf, uv, bv, ua, ba, fd, &
                   fname, int(len_trim(fname), c_int64_t))
  if (n0 /= 2) error stop 'num_steps changed in frequency output'

  open(u, file='gfortran_freq.op2', form='unformatted', access='sequential', status='replace')
  call table_block('FOL     ', 2, ft)
  call matrix_head('UHF     ', [101, 2, 2, 2, 4, 2, 10000])
  do s = 1, 2
    write(u) 1_c_int32_t
    write(u) 1_c_int32_t
    write(u) 8_c_int32_t
    write(u) 1_c_int32_t, uf(s, :)
    write(u) -3_c_int32_t
  end do
  call block_end()
  call matrix_head('BHF     ', [101, 2, 6, 2, 4, 12, 10000])
  do s = 1, 2
    call complex_column(bf(s, :))
  end do
  call block_end()
  write(u) 0_c_int32_t
  close(u)
  call compare('zel_freq.op2', 'gfortran_freq.op2')

  print '(a)', 'OUTPUT2 files written through the bind(C) interface match'

contains

  subroutine head(name, trailer)
    character(len=8), intent(in) :: name
    integer, intent(in) :: trailer(7)
    write(u) 2_c_int32_t
    write(u) name
    write(u) -1_c_int32_t
    write(u) 7_c_int32_t
    write(u) int(trailer, c_int32_t)
    write(u) -2_c_int32_t
  end subroutine head

  ! Block head and the header record of a matrix: its name.
  subroutine matrix_head(name, trailer)
    character(len=8), intent(in) :: name
    integer, intent(in) :: trailer(7)
    call head(name, trailer)
    write(u) 1_c_int32_t
    write(u) 0_c_int32_t
    write(u) 2_c_int32_t
    write(u) name
    write(u) -3_c_int32_t
  end subroutine matrix_head

  subroutine block_end()
    write(u) 1_c_int32_t
    write(u) 0_c_int32_t
    write(u) 0_c_int32_t
  end subroutine block_end

  subroutine table_block(name, n, values)
    character(len=8), intent(in) :: name
    integer, intent(in) :: n
    real(c_double), intent(in) :: values(:)
    real :: ratio
    integer :: i
    ratio = real(n + 1) / real(n + 2)
    call head(name, [101, n, 1, 2, 1, 1, int(ratio * 10000.)])
    write(u) 1_c_int32_t
    write(u) 0_c_int32_t
    write(u) int(n + 2, c_int32_t)
    write(u) name, (real(values(i), c_float), i = 1, n)
    write(u) -3_c_int32_t
    call block_end()
  end subroutine table_block

  subroutine real_column(values)
    real(c_double), intent(in) :: values(:)
    integer :: f, last
    last = size(values)
    f = 1
    do while (f < last)
      if (values(f) /= 0d0) exit
      f = f + 1
    end do
    write(u) 1_c_int32_t
    write(u) 1_c_int32_t
    write(u) int(2 * (last - f + 1), c_int32_t)
    write(u) int(f, c_int32_t), values(f:last)
    write(u) -3_c_int32_t
  end subroutine real_column

  subroutine complex_column(values)
    real(c_double), intent(in) :: values(:)   ! real, imaginary, real, ...
    integer :: f, last
    last = size(values) / 2
    f = 1
    do while (f < last)
      if (values(2 * f - 1) /= 0d0 .or. values(2 * f) /= 0d0) exit
      f = f + 1
    end do
    write(u) 1_c_int32_t
    write(u) 1_c_int32_t
    write(u) int(4 * (last - f + 1), c_int32_t)
    write(u) int(f, c_int32_t), values(2 * f - 1:2 * last)
    write(u) -3_c_int32_t
  end subroutine complex_column

  subroutine compare(ours, theirs)
    character(len=*), intent(in) :: ours, theirs
    integer(c_int8_t), allocatable :: a(:), b(:)
    call slurp(ours, a)
    call slurp(theirs, b)
    if (size(a) /= size(b)) then
      print '(a,i0,a,i0)', ours // ' has ', size(a), ' bytes, expected ', size(b)
      error stop 1
    end if
    if (any(a /= b)) then
      print '(a,i0)', ours // ' differs first at byte ', findloc(a /= b, .true., dim=1) - 1
      error stop 1
    end if
  end subroutine compare

  subroutine slurp(path, bytes)
    character(len=*), intent(in) :: path
    integer(c_int8_t), allocatable, intent(out) :: bytes(:)
    integer :: n
    inquire(file=path, size=n)
    if (n < 0) then
      print '(a)', 'missing file ' // path
      error stop 1
    end if
    allocate(bytes(n))
    open(11, file=path, access='stream', form='unformatted', status='old')
    if (n > 0) read(11) bytes
    close(11)
  end subroutine slurp

end program op2_interop
